#pragma once
// The run's error log: one entry per problem that does not stop the run
// (at present every linear program that fails), each labelled with what the
// program was computing when it happened.

#include <atomic>
#include <cstdio>
#include <string>

class ErrorLog {
 public:
  static constexpr unsigned kTextCapacity = 1000;

  // Creates or empties the log file. When it cannot be opened a console line
  // says so and the log carries no file; entries are then dropped.
  explicit ErrorLog(const std::string& path);
  // A log that keeps its entries in memory (Text()); the library's runs
  // write no file while they compute.
  ErrorLog();
  ~ErrorLog();
  ErrorLog(const ErrorLog&) = delete;
  ErrorLog& operator=(const ErrorLog&) = delete;

  // Replaces the label of the current computation (printf-style). The label
  // is cut to fit the 1000-character context buffer. Each thread keeps its
  // own label, so worker threads label their own programs.
  void SetContext(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  const char* Context() const;

  // Writes "<context>, EHL <level> : <message>" and an empty line, into the
  // thread's transcript when one is installed (core/Transcript.h). A level 2
  // (critical) entry is remembered: the run sequence then ends the run
  // (CriticalStop), never the thread that wrote the entry.
  void AddEntry(int level, const char* message);

  // Adds text that is already formatted as entries (a task's held-back log).
  void Append(const std::string& entries);

  bool HasFile() const { return m_File != nullptr; }
  // The entries of a log kept in memory.
  const std::string& Text() const { return m_Text; }
  bool HasCriticalEntry() const { return m_Critical; }

  // Prints "Critical Exit now occuring, refer to error log" and reads twice
  // from the console (not at all in batch mode); inside a library call
  // records the stop instead (core/RunContext.h). Returns false.
  bool CriticalStop() const;

  std::FILE* m_File = nullptr;

 private:
  std::atomic<bool> m_Critical{false};
  bool m_InMemory = false;
  std::string m_Text;
};
