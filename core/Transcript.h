#pragma once
// What the programs of one task write while they run, kept so that the run
// can emit it in program order whatever thread solved them.
//
// A task (the programs of one observation in one stage, say) runs with a
// Transcript installed on its thread: console text, error-log entries and the
// outcome of every program it solves collect there instead of going out.
// The stage then hands the transcripts over in task order (EmitTranscript),
// which writes exactly what a sequential run writes, in the same order.
// Without a transcript installed, text goes straight out as before.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ErrorLog;

// One program worth telling the user about: it failed (code != 0) or it
// ended optimal at a point the tolerance let pass ("stopped short").
struct ProgramNote {
  std::string label;  // the error log's label, e.g. "Determining DItss, Obs 19 "
  int code = 0;       // the result code; 0 for a program that stopped short
  double gain = 0.0;  // stopped short: the objective gain relative to the optimum
};

// Outcomes of the linear programs of a run (or of one task), in program order.
struct ProgramTally {
  uint64_t solved = 0;                   // every program posed and solved, failed ones included
  uint64_t failed = 0;                   // programs with a code other than 0
  uint64_t stoppedShort = 0;             // optimal programs with an improving step left
  // Programs the first solve got wrong and solved again on a rescaled copy:
  // all of them, and those whose copy was solved right and taken. The others
  // are counted above as failed or stopped short, as their first solve was.
  uint64_t solvedAgain = 0;
  uint64_t solvedAgainTaken = 0;
  // Programs whose first solve came back to a basis it had left (cycling)
  // or stalled, and the programs, cycling, stalled or past the step limit,
  // solved right with the pivot rule that cannot cycle. Those not solved so
  // are counted as failed.
  uint64_t cycling = 0;
  uint64_t stalled = 0;
  uint64_t antiCyclingSolved = 0;
  std::vector<ProgramNote> failures;     // every failed program, in program order
  std::vector<ProgramNote> shortStops;   // every program that stopped short, in program order
  // The solver's work, for measurement only (KORU_STATS): calls of the
  // simplex, pivots and tableau elements written (lp/Simplex.h).
  uint64_t simplexCalls = 0;
  uint64_t pivots = 0;
  uint64_t updates = 0;

  // Appends another tally's programs after this one's.
  void Append(const ProgramTally& later);
};

struct Transcript {
  std::string console;  // console text, as standard output would receive it
  std::string log;      // error-log entries, as the log file would receive them
  ProgramTally tally;

  void Clear();
};

// The transcript that collects this thread's output; nullptr when output goes
// straight out. Each thread has its own.
Transcript* ThreadTranscript();
void SetThreadTranscript(Transcript* transcript);

// Writes console text into the thread's transcript, or to the console sink of
// the library call running on the thread (core/RunContext.h), or to the
// process's console.
void WriteConsoleText(const std::string& text);

// What a program's solve did beyond its first solve (lp/RescaledSolve.h).
enum class SecondSolve : int {
  kNone = 0,   // not solved again: the first solve was right, or its code is 2 or 5, or second solves are off
  kTaken = 1,  // solved again on a rescaled copy, whose result is the program's
  kKept = 2,   // solved again, but the copy was not solved right either: the first result stands
  // A program that cycled or passed the step limit, solved again on the copy
  // with the pivot rule that cannot cycle: taken, or failed too.
  kAntiCyclingTaken = 3,
  kAntiCyclingKept = 4,
};

// Records the outcome of one solved program in the thread's transcript; a
// thread without one (a unit test calling the solver directly) records
// nothing.
// cycled, stalled: the first solve came back to an earlier basis, or
// stalled, and was stopped.
void NoteProgram(const char* label, int code, bool stoppedShort, double gain,
                 SecondSolve secondSolve = SecondSolve::kNone, bool cycled = false, bool stalled = false);

// Writes a transcript's console text where WriteConsoleText writes it and its
// log text to `log` (when there is one), and appends its tally to `tally`.
void EmitTranscript(const Transcript& transcript, ErrorLog* log, ProgramTally& tally);
