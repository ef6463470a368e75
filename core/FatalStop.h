#pragma once
// Ends the run on a problem that makes going on pointless: an input file
// that cannot be read or is malformed, a result file that cannot be written.

// Prints "Press ENTER"-style prompts' wait: reads one character from standard
// input (returns at once at the end of input, so scripts never hang).
void WaitForEnter();

// Prints "\n ERROR: <message> " and "\n Press ENTER to terminate.\n", waits
// for ENTER and ends the process with status 0.
[[noreturn]] void FatalStop(const char* message);
