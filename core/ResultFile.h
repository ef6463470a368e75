#pragma once
// Opening and closing a result file of a staged set (core/StagedFiles.h): a
// file that cannot be opened or written whole stops the run through
// FatalStop, whichever writer it belongs to, and the set's temporaries go.

#include <cstdio>
#include <string>

class StagedFiles;

// The set's stream for the result file; when it cannot be opened, stops
// through FatalStop with the given message and the reason, and returns
// nullptr.
std::FILE* OpenResultFile(StagedFiles& files, const std::string& fileName, const char* failureMessage);

// Flushes and closes a result file; when any of its text could not
// be written (a full disk, for instance) stops as StopOnWriteFailure does
// and returns false rather than report a finished run over a cut file.
bool CloseResultFile(StagedFiles& files, std::FILE* file);

// Removes the set's temporaries, then stops through FatalStop with
// "Unable to write <file>: <reason>" for the set's first failure. Returns
// false.
bool StopOnWriteFailure(StagedFiles& files);
