#include "core/Transcript.h"

#include "core/ErrorLog.h"
#include "core/RunContext.h"

namespace {

thread_local Transcript* tThreadTranscript = nullptr;

}  // namespace

void ProgramTally::Append(const ProgramTally& later) {
  solved += later.solved;
  failed += later.failed;
  stoppedShort += later.stoppedShort;
  simplexCalls += later.simplexCalls;
  pivots += later.pivots;
  updates += later.updates;
  solvedAgain += later.solvedAgain;
  solvedAgainTaken += later.solvedAgainTaken;
  cycling += later.cycling;
  stalled += later.stalled;
  antiCyclingSolved += later.antiCyclingSolved;
  failures.insert(failures.end(), later.failures.begin(), later.failures.end());
  shortStops.insert(shortStops.end(), later.shortStops.begin(), later.shortStops.end());
}

void Transcript::Clear() {
  console.clear();
  log.clear();
  tally = ProgramTally();
}

Transcript* ThreadTranscript() { return tThreadTranscript; }

void SetThreadTranscript(Transcript* transcript) { tThreadTranscript = transcript; }

void WriteConsoleText(const std::string& text) {
  if (tThreadTranscript != nullptr) {
    tThreadTranscript->console += text;
  } else if (RunContext* context = ThreadRunContext()) {
    // A cancelled run's sets end early on incomplete values: nothing more
    // of theirs is shown.
    if (context->console && !context->cancelled && !text.empty()) context->console(text);
  } else {
    WriteProcessConsole(text);
  }
}

void NoteProgram(const char* label, int code, bool stoppedShort, double gain, SecondSolve secondSolve,
                 bool cycled, bool stalled) {
  if (tThreadTranscript == nullptr) return;
  ProgramTally& tally = tThreadTranscript->tally;
  ++tally.solved;
  if (secondSolve == SecondSolve::kTaken || secondSolve == SecondSolve::kKept) ++tally.solvedAgain;
  if (secondSolve == SecondSolve::kTaken) ++tally.solvedAgainTaken;
  if (cycled) ++tally.cycling;
  if (stalled) ++tally.stalled;
  if (secondSolve == SecondSolve::kAntiCyclingTaken) ++tally.antiCyclingSolved;
  if (code != 0) {
    ++tally.failed;
    tally.failures.push_back(ProgramNote{label, code, 0.0});
  } else if (stoppedShort) {
    ++tally.stoppedShort;
    tally.shortStops.push_back(ProgramNote{label, 0, gain});
  }
}

void EmitTranscript(const Transcript& transcript, ErrorLog* log, ProgramTally& tally) {
  if (!transcript.console.empty()) WriteConsoleText(transcript.console);
  if (log != nullptr && !transcript.log.empty()) log->Append(transcript.log);
  tally.Append(transcript.tally);
}
