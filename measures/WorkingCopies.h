#pragma once
// Working copies of the data columns a computation set reads: one row per
// observation, cut from Data when the set starts and released when it ends.

#include "lp/Matrix.h"

struct AnalysisRecord;

struct WorkingCopies {
  Matrix outputs;       // NT x M
  Matrix inputs;        // NT x K
  Matrix outputPrices;  // NT x M, zero without prices
  Matrix inputPrices;   // NT x K, zero without prices
};

// Creates the copies with capacity (T + N + NT) x 2(M + K) and fills them
// from Data; the price copies only when withPrices is set (they are then
// filled only when the data carry prices).
void CreateWorkingCopies(AnalysisRecord& record, WorkingCopies& copies, bool withPrices = true);

void FreeWorkingCopies(WorkingCopies& copies);
