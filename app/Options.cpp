#include "app/Options.h"

#include <cstring>

#include "core/Format.h"
#include "lp/SimplexKernels.h"
#include "lp/WorkerPool.h"

#ifndef KORU_VERSION
#define KORU_VERSION "3.1"
#endif
#ifndef KORU_BUILD_TYPE
#define KORU_BUILD_TYPE "unknown"
#endif

namespace {

CommandLine UsageError(const std::string& problem) {
  CommandLine line;
  line.action = CommandLine::Action::UsageError;
  line.problem = problem;
  return line;
}

// A whole number of worker threads, 1..kMaxThreads, digits only.
bool ParseThreads(const std::string& text, unsigned& threads) {
  if (text.empty() || text.size() > 4) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < 1 || value > kMaxThreads) return false;
  threads = value;
  return true;
}

std::string CompilerName() {
#if defined(__clang__)
  return "clang " __clang_version__;
#elif defined(__GNUC__)
  return "GCC " __VERSION__;
#else
  return "unknown";
#endif
}

}  // namespace

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-';
    if (!isOption) {
      if (line.hasPath) return UsageError("more than one path: '" + line.path + "' and '" + arg + "'");
      line.hasPath = true;
      line.path = arg;
      continue;
    }
    if (line.hasPath) return UsageError("option '" + arg + "' after the path; options come first");
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.compare(0, 2, "--") == 0 ? arg.substr(0, equals) : arg;
    const bool hasValue = name.size() < arg.size();
    if (name == "--threads") {
      std::string value;
      if (hasValue) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < argc) {
        value = argv[++i];
      } else {
        return UsageError("option '--threads' needs a value");
      }
      if (!ParseThreads(value, line.options.threads))
        return UsageError("bad value '" + value + "' for '--threads', which takes a whole number from 1 to " +
                          std::to_string(kMaxThreads));
      continue;
    }
    if (name == "-h" || name == "--help" || name == "--version" || name == "--batch" || name == "--report" ||
        name == "--single-solve" || name == "--peers") {
      if (hasValue) return UsageError("option '" + name + "' takes no value");
      if (name == "-h" || name == "--help") {
        line.action = CommandLine::Action::Help;
        return line;
      }
      if (name == "--version") {
        line.action = CommandLine::Action::Version;
        return line;
      }
      if (name == "--batch") line.options.batch = true;
      if (name == "--report") line.options.report = true;
      if (name == "--single-solve") line.options.singleSolve = true;
      if (name == "--peers") line.options.peers = true;
      continue;
    }
    return UsageError("unknown option '" + arg + "'");
  }
  if (line.options.batch && !line.hasPath) return UsageError("--batch needs a path");
  return line;
}

std::string HelpText() {
  return "Usage: koru [OPTIONS] [--] [PATH]\n"
         "\n"
         "Measures and decomposes the productivity change of a panel of firms. PATH\n"
         "names the input file, name_input.csv; without it KORU asks for one on the\n"
         "console (an empty line cancels).\n"
         "\n"
         "Options:\n"
         "  -h, --help       print this help and exit\n"
         "      --version    print the version and the build and exit\n"
         "      --threads N  solve the linear programs on N worker threads (1 to " +
         std::to_string(kMaxThreads) +
         ";\n"
         "                   default: one per processor the process may use)\n"
         "      --batch      never wait for ENTER and never ask for a path (PATH is\n"
         "                   then required); the run is that of standard input at\n"
         "                   its end\n"
         "      --report     also write name_output_report.html, a page of charts of\n"
         "                   the decomposition by period\n"
         "      --single-solve\n"
         "                   solve every linear program once: a program the solver\n"
         "                   gets wrong is not solved again on a rescaled copy, so\n"
         "                   the files are byte for byte those of earlier versions\n"
         "      --peers      also write name_output_peers.csv: each observation's\n"
         "                   peers with their weights, slacks and targets\n"
         "  --               end of the options: a PATH after it may start with '-'\n"
         "\n"
         "Files a run writes beside name_input.csv:\n"
         "  name_output_indexes.csv       the index numbers of every observation\n"
         "  name_output_levels.csv        the levels (Q, X, TFP, TFP*, efficiencies)\n"
         "  name_output_shadowprices.csv  revenue- and cost-deflated shadow prices\n"
         "  name_output_xtras.csv         intermediate values\n"
         "  name_output_xxerrors.txt      one entry per linear program that failed\n"
         "  name_output_report.html       with --report only\n"
         "  name_output_peers.csv         with --peers only\n"
         "\n"
         "Exit status:\n"
         "  0  the run finished (failed programs are listed in the error log), or\n"
         "     the path question was cancelled\n"
         "  1  the run stopped without its results: an input file that cannot be\n"
         "     read or is malformed, a READ ERROR, the observation limit, a result\n"
         "     file that cannot be written, a critical exit\n"
         "  2  a usage error: an unknown option, a missing or bad value\n"
         "  130, 143, 129  interrupted by SIGINT, SIGTERM or SIGHUP\n"
         "A run replaces its files only when it finishes; until then the earlier\n"
         "ones stay as they were.\n"
         "\n"
         "Environment:\n"
         "  KORU_STATS  when set, a finished run writes one line of solver totals to\n"
         "              standard error\n";
}

std::string VersionText() {
  return FormatText("KORU %s\n"
                    "Compiler: %s\n"
                    "Build type: %s\n"
                    "Vector path: %s\n"
                    "Default threads: %u\n",
                    KORU_VERSION, CompilerName().c_str(), KORU_BUILD_TYPE, VectorPathName(ActiveVectorPath()), DefaultThreadCount());
}

std::string UsageErrorLine(const std::string& problem) {
  return "koru: " + problem + " (run 'koru --help' for usage)\n";
}
