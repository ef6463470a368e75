#pragma once
// Stops a run on a problem that makes going on pointless: an input file
// that cannot be read or is malformed, a result file that cannot be written.
// A stop prints its message and waits; the reader or writer that met it
// returns false, and the run sequence ends the run with kStoppedStatus. Only
// main ends the process.

// The exit status of every stop that ends a run without its results.
constexpr int kStoppedStatus = 1;

// Batch mode (the --batch option): every "Press ENTER" wait returns at once,
// as it does when standard input is at its end. One switch for the process.
void SetBatchMode(bool on);
bool BatchMode();

// Prints "Press ENTER"-style prompts' wait: reads one character from standard
// input (returns at once at the end of input, so scripts never hang, and at
// once in batch mode).
void WaitForEnter();

// Prints "\n ERROR: <message> " and "\n Press ENTER to terminate.\n" and
// waits for ENTER. Returns false, so that a reader can `return FatalStop(..)`.
// Inside a library call it prints and waits for nothing: the stop's text is
// recorded in the call's context (core/RunContext.h) and the library throws.
bool FatalStop(const char* message);
