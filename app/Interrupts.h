#pragma once
// SIGINT, SIGTERM and SIGHUP while a run is under way: the run's temporary
// result files are removed, the earlier result files stay as they were, one
// line on standard error says so, and the process ends with 128 + the
// signal's number (130, 143, 129). The renames that put a finished run's
// files in place are never cut short: a signal that comes while they run
// ends the process right after them, with its line saying that the files
// were written.

class StagedFiles;

class InterruptGuard {
 public:
  InterruptGuard();   // installs the handlers
  ~InterruptGuard();  // restores the handlers there were before
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // Commits the run's files (StagedFiles::Commit) and returns its result,
  // unless a signal came during the commit: then the process ends here.
  bool Commit(StagedFiles& files);
};
