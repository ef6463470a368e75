#pragma once
// Ends the run on a problem that makes going on pointless: an input file
// that cannot be read or is malformed, a result file that cannot be written.

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

// Prints "\n ERROR: <message> " and "\n Press ENTER to terminate.\n", waits
// for ENTER and ends the process with kStoppedStatus.
[[noreturn]] void FatalStop(const char* message);
