#include "measures/WorkingCopies.h"

#include "core/AnalysisRecord.h"

void CreateWorkingCopies(AnalysisRecord& record, WorkingCopies& copies, bool withPrices) {
  const uint32_t N = record.Firms, T = record.Periods, M = record.Outputs, K = record.Inputs;
  const uint32_t NT = record.Observations;
  const uint32_t rows = T + N + NT, cols = 2 * (M + K);
  copies.outputs.Create(rows, cols, NT, M);
  copies.inputs.Create(rows, cols, NT, K);
  SetSubMatrix(copies.outputs, 0, NT - 1, 0, M - 1, record.Data, 0, NT - 1, 2, M + 1);
  SetSubMatrix(copies.inputs, 0, NT - 1, 0, K - 1, record.Data, 0, NT - 1, M + 2, M + K + 1);
  if (!withPrices) return;
  copies.outputPrices.Create(rows, cols, NT, M);
  copies.inputPrices.Create(rows, cols, NT, K);
  if (record.Prices) {
    SetSubMatrix(copies.outputPrices, 0, NT - 1, 0, M - 1, record.Data, 0, NT - 1, M + K + 2, 2 * M + K + 1);
    SetSubMatrix(copies.inputPrices, 0, NT - 1, 0, K - 1, record.Data, 0, NT - 1, 2 * M + K + 2,
                 2 * M + 2 * K + 1);
  }
}

void FreeWorkingCopies(WorkingCopies& copies) {
  copies.outputs.FreeMemory();
  copies.inputs.FreeMemory();
  copies.outputPrices.FreeMemory();
  copies.inputPrices.FreeMemory();
}
