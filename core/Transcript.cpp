#include "core/Transcript.h"

#include "core/StagedFiles.h"

namespace {

thread_local Transcript* tThreadTranscript = nullptr;

}  // namespace

void ProgramTally::Append(const ProgramTally& later) {
  solved += later.solved;
  failed += later.failed;
  stoppedShort += later.stoppedShort;
  solvedAgain += later.solvedAgain;
  solvedAgainTaken += later.solvedAgainTaken;
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
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

void NoteProgram(const char* label, int code, bool stoppedShort, double gain, SecondSolve secondSolve) {
  if (tThreadTranscript == nullptr) return;
  ProgramTally& tally = tThreadTranscript->tally;
  ++tally.solved;
  if (secondSolve != SecondSolve::kNone) ++tally.solvedAgain;
  if (secondSolve == SecondSolve::kTaken) ++tally.solvedAgainTaken;
  if (code != 0) {
    ++tally.failed;
    tally.failures.push_back(ProgramNote{label, code, 0.0});
  } else if (stoppedShort) {
    ++tally.stoppedShort;
    tally.shortStops.push_back(ProgramNote{label, 0, gain});
  }
}

void EmitTranscript(const Transcript& transcript, std::FILE* logFile, ProgramTally& tally) {
  if (!transcript.console.empty()) std::fwrite(transcript.console.data(), 1, transcript.console.size(), stdout);
  if (logFile != nullptr && !transcript.log.empty()) {
    // A failure is kept by the log's staged set; the run stops after the stage.
    if (WriteToStream(logFile, transcript.log.data(), transcript.log.size())) FlushStream(logFile);
  }
  tally.Append(transcript.tally);
}
