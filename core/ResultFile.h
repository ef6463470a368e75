#pragma once
// Opening and closing a result file: a file that cannot be opened or written
// whole ends the run through FatalStop, whichever writer it belongs to.

#include <cstdio>
#include <string>

// Opens the result file for writing; when that fails the run ends through
// FatalStop with the given message.
std::FILE* OpenResultFile(const std::string& fileName, const char* failureMessage);

// Closes a result file; when any of its text could not be written (a full
// disk, for instance) the run ends through FatalStop with the given message
// rather than report a finished run over a cut file.
void CloseResultFile(std::FILE* file, const char* failureMessage);
