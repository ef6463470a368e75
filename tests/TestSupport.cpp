#include "tests/TestSupport.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "app/RunSequence.h"

namespace {

// The directories made for the running test; each test removes its own when
// it ends, so a run of the suite leaves nothing behind.
std::set<std::string>& TestDirectories() {
  static std::set<std::string> directories;
  return directories;
}

class RemoveTestDirectories : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo&) override {
    for (const std::string& dir : TestDirectories()) {
      const std::string command = "rm -rf '" + dir + "'";
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
    }
    TestDirectories().clear();
  }
};

[[maybe_unused]] const bool kRemoverInstalled = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new RemoveTestDirectories);
  return true;
}();

// Tests that call the readers and sets directly see their console text on
// standard output, as the console program would write it.
[[maybe_unused]] const bool kConsoleInstalled = [] {
  InstallStandardConsole();
  return true;
}();

}  // namespace

KoruRun RunKoruProcess(const std::string& arguments, const std::string& stdinText, const std::string& shellPrefix) {
  KoruRun run;
  std::string inputPath = MakeTestDirectory("stdin") + "/stdin.txt";
  WriteWholeFile(inputPath, stdinText);
  // KORU_STATS would add a line of solver totals; the tests compare exact output.
  std::string command = "unset KORU_STATS; " + shellPrefix + "'" + KORU_EXE + "' " + arguments + " <'" + inputPath + "' 2>&1";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.console.append(buffer, n);
  int status = ::pclose(pipe);
  if (status != -1 && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  return run;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::string MakeTestDirectory(const std::string& name) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string dir = ::testing::TempDir() + "koru_" + (info ? std::string(info->test_suite_name()) + "_" + info->name() : "x") +
                    "_" + name;
  std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
  if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot create " << dir;
  TestDirectories().insert(dir);
  return dir;
}

std::string FolderListing(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* folder = ::opendir(dir.c_str())) {
    while (const dirent* item = ::readdir(folder)) {
      const std::string name = item->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(folder);
  }
  std::sort(names.begin(), names.end());
  std::string listing;
  for (const std::string& name : names) listing += name + " ";
  return listing;
}
