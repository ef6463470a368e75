#pragma once
// SIGINT, SIGTERM and SIGHUP while a run is under way: the run's temporary
// result files are removed, the earlier result files stay as they were, one
// line on standard error says so, and the process ends with 128 + the
// signal's number (130, 143, 129); the handler ends the process itself, as
// nothing may be unwound from a signal. The renames that put a finished
// run's files in place are never cut short: a signal that comes while they
// run is answered right after them, its line saying that the files were
// written, and the run returns 128 + its number.

class StagedFiles;

class InterruptGuard {
 public:
  InterruptGuard();   // installs the handlers
  ~InterruptGuard();  // restores the handlers there were before
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // Commits the run's files (StagedFiles::Commit). Returns kStoppedStatus
  // when the commit failed (the set names the failure); 128 + the signal's
  // number, its line printed, when a signal came while the renames ran;
  // otherwise 0.
  int Commit(StagedFiles& files);
};
