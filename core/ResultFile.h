#pragma once
// Opening and closing a result file: a file that cannot be opened or written
// whole stops the run through FatalStop, whichever writer it belongs to.

#include <cstdio>
#include <string>

// Opens the result file for writing; when that fails, stops through
// FatalStop with the given message and returns nullptr.
std::FILE* OpenResultFile(const std::string& fileName, const char* failureMessage);

// Closes a result file; when any of its text could not be written (a full
// disk, for instance) stops through FatalStop with the given message and
// returns false rather than report a finished run over a cut file.
bool CloseResultFile(std::FILE* file, const char* failureMessage);
