#pragma once
// The command line: options, then at most one path.
//
//   koru [OPTIONS] [--] [PATH]
//   koru [OPTIONS] --table FILE --firm COL --period COL --outputs A,B --inputs C,D [TABLE OPTIONS]
//
// -h/--help and --version act where they stand (what follows them is not
// looked at); "--" ends the options, so a path after it may start with '-'.

#include <cstdint>
#include <string>

#include "app/RunSequence.h"

// Exit status of a usage error (an unknown option, a missing or bad value).
constexpr int kUsageStatus = 2;

// The largest --bootstrap value accepted.
constexpr uint64_t kMaxReplicates = 1000000;

// The largest --threads value accepted.
constexpr unsigned kMaxThreads = 1024;

struct CommandLine {
  enum class Action { Run, Help, Version, UsageError };
  Action action = Action::Run;
  std::string problem;  // for UsageError: what is wrong, e.g. "unknown option '--bogus'"
  bool hasPath = false;
  std::string path;
  RunOptions options;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The --help text: synopsis, options, files written, exit statuses.
std::string HelpText();

// The --version text: "KORU 3.1" and the build.
std::string VersionText();

// The one line a usage error writes to standard error (with its line end).
std::string UsageErrorLine(const std::string& problem);
