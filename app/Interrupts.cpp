#include "app/Interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "core/FatalStop.h"
#include "core/StagedFiles.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gEarlier[3];

volatile sig_atomic_t gPending = 0;  // a signal that came during the commit
volatile sig_atomic_t gTerminal = 0; // standard error shows a progress line there

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

// "koru: run interrupted by <signal><outcome>" on standard error.
// Async-signal-safe: write(2) of fixed pieces.
void WriteInterruptedLine(int signal, const char* outcome) {
  const char* pieces[] = {gTerminal ? "\r\033[K" : "", "koru: run interrupted by ", SignalName(signal), outcome};
  for (const char* piece : pieces) {
    const std::size_t size = std::strlen(piece);
    if (size > 0 && ::write(STDERR_FILENO, piece, size) < 0) break;
  }
}

void OnInterrupt(int signal) {
  if (!InterruptStagedFiles()) {
    gPending = signal;  // the renames are under way: they end first
    return;
  }
  WriteInterruptedLine(signal, "; the earlier result files are unchanged\n");
  ::_exit(128 + signal);
}

}  // namespace

InterruptGuard::InterruptGuard() {
  gPending = 0;
  gTerminal = ::isatty(STDERR_FILENO) == 1;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &gEarlier[i]);
}

InterruptGuard::~InterruptGuard() {
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &gEarlier[i], nullptr);
}

int InterruptGuard::Commit(StagedFiles& files) {
  if (!files.Commit()) return kStoppedStatus;
  const int signal = gPending;
  if (signal == 0) return 0;
  std::fflush(stdout);
  WriteInterruptedLine(signal, " after its result files were written\n");
  return 128 + signal;
}
