#pragma once
// Helpers for tests that run the real koru executable on files.

#include <string>

struct KoruRun {
  int exitStatus = -1;   // the process's exit status, or -1 if it did not exit normally
  std::string console;   // everything it wrote to standard output
};

// Runs koru with the given arguments (already quoted for the shell) and
// standard input at its end, and collects its console output. A shell
// prefix (for instance "ulimit -v 1048576; ") runs before koru is started.
KoruRun RunKoruProcess(const std::string& arguments, const std::string& stdinText = "",
                       const std::string& shellPrefix = "");

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);

// A fresh, empty directory for one test's files, removed with everything in
// it when the test ends.
std::string MakeTestDirectory(const std::string& name);

// The names in a directory, sorted, each followed by one blank.
std::string FolderListing(const std::string& dir);
