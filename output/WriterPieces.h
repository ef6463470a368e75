#pragma once
// Pieces shared by the four result-file writers: opening a result file, the
// title line, and the observation number and identifiers that start every
// row of every result table.

#include <cstdint>
#include <cstdio>
#include <string>

struct AnalysisRecord;

// Opens the result file for writing; when that fails the run ends through
// FatalStop with the given message.
std::FILE* OpenResultFile(const std::string& fileName, const char* failureMessage);

// Closes a result file; when any of its text could not be written (a full
// disk, for instance) the run ends through FatalStop with the given message
// rather than report a finished run over a cut file.
void CloseResultFile(std::FILE* file, const char* failureMessage);

// The title line and the empty line after it.
void WriteTitle(std::FILE* file);

// "%d,%6.0f,%6.0f": the observation number (1-based) and its two
// identifiers, printed from their double values.
void WriteIdentifiers(std::FILE* file, const AnalysisRecord& record, uint32_t observation);
