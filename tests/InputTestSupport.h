#pragma once
// Helpers for the input-reader tests: files made from text, readers that must
// return, and readers that must stop the run.

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

// An open temporary file holding `text`, positioned at its start.
inline std::FILE* FileWith(const std::string& text) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  return file;
}

// A reader that stops the run where a test expects it to return would end
// the test binary at once, its output captured; while a MustReturn lives,
// such an exit first says so on standard error.
inline bool gReaderMustReturn = false;

inline void FailOnExit() {
  if (!gReaderMustReturn) return;
  std::fputs("\n the reader ended the process where it should have returned\n", stderr);
  std::_Exit(1);
}

struct MustReturn {
  MustReturn() {
    static const int registered = std::atexit(FailOnExit);
    (void)registered;
    gReaderMustReturn = true;
  }
  ~MustReturn() { gReaderMustReturn = false; }
};

// Runs `read` in a child process with standard input at its end, expects it
// to stop the run (return false after its message and wait) and returns what
// it printed.
inline std::string ConsoleOfStop(const std::function<bool()>& read) {
  GTEST_FLAG_SET(death_test_style, "fast");
  static int serial = 0;
  const std::string path = MakeTestDirectory("stop" + std::to_string(++serial)) + "/console.txt";
  EXPECT_EXIT(
      {
        if (std::freopen("/dev/null", "r", stdin) == nullptr) std::_Exit(98);
        if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::_Exit(98);
        const bool wentOn = read();
        std::fflush(stdout);
        std::_Exit(wentOn ? 99 : 1);  // 99: the run was not stopped
      },
      testing::ExitedWithCode(1), "");
  return ReadWholeFile(path);
}
