#pragma once
// Pieces shared by the four result-file writers: the title line, and the
// observation number and identifiers that start every row of every result
// table. Opening and closing a result file live in core/ResultFile.h.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/ResultFile.h"
#include "core/StagedFiles.h"

struct AnalysisRecord;

// The title line and the empty line after it.
void WriteTitle(std::FILE* file);

// "%d,%6.0f,%6.0f": the observation number (1-based) and its two
// identifiers, printed from their double values.
void WriteIdentifiers(std::FILE* file, const AnalysisRecord& record, uint32_t observation);

// Reads one observation's entry of any observation vector through single
// precision, as the rows of the tables print their measures.
struct SinglePrecisionOf {
  uint32_t index;  // 0-based
  double operator()(const std::vector<double>& v) const;
};

// The names a heading format ("  %s, dQ, dX, ... \n") gives its value
// columns: the text after the identifiers' "%s," split at the commas,
// without blanks, line ends and empty names.
std::vector<std::string> HeadingNames(const char* headingFormat);

// A title line of the files, without its leading and trailing blanks and
// line ends.
std::string TrimmedTitle(const std::string& line);

// Whether each observation's row is in the files: false for an absent one.
std::vector<bool> PrintedRows(const AnalysisRecord& record);

// Starts the row of observation o (1-based) with its identifiers and returns
// the reader of o's entries.
SinglePrecisionOf StartRow(std::FILE* file, const AnalysisRecord& record, uint32_t o);
