#pragma once
// Pieces shared by the four result-file writers: the title line, and the
// observation number and identifiers that start every row of every result
// table. Opening and closing a result file live in core/ResultFile.h.

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/ResultFile.h"

struct AnalysisRecord;

// The title line and the empty line after it.
void WriteTitle(std::FILE* file);

// "%d,%6.0f,%6.0f": the observation number (1-based) and its two
// identifiers, printed from their double values.
void WriteIdentifiers(std::FILE* file, const AnalysisRecord& record, uint32_t observation);
