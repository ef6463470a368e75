#include <algorithm>

#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "lp/WorkerPool.h"
#include "lp/Workspace.h"
#include "measures/ComputationSets.h"
#include "measures/ReferenceSet.h"

namespace {

// The largest reference set of any period: the most rows of a Set 1 or 2
// program and the most lambda columns of a Set 3 program.
uint32_t LargestReferenceSet(const AnalysisRecord& record) {
  uint32_t largest = 0;
  for (uint32_t t = 1; t <= record.Periods; ++t) {
    const ReferenceRange range = ReferenceSetOfPeriod(record, t);
    if (range.first <= range.last) largest = std::max(largest, range.Count());
  }
  return largest;
}

}  // namespace

// The capacity is NT + M + K + 10 rows and columns; the storage holds the
// largest programs the run poses: J + 1 rows x M + K + 2 columns (the
// multiplier programs of Sets 1 and 2) and M + K + 1 rows x J + max(M, K)
// columns (QHAT and XHAT of Set 3), J the largest reference set. Both grow
// linearly with the panel.
void CreateWorkspace(const AnalysisRecord& record, LPWorkspace& workspace) {
  const uint32_t NT = record.Observations, M = record.Outputs, K = record.Inputs;
  const uint32_t lpSize = NT + M + K + 10;
  const uint32_t J = LargestReferenceSet(record);
  workspace.CreateFor(lpSize, std::max(2 * NT, lpSize), record.Log,
                      {{J + 1, M + K + 2}, {M + K + 1, J + std::max(M, K)}});
  // With Peers, the second stage: M + K + 1 rows x J + M + K columns.
  if (record.Peers != 0) {
    workspace.LPMatrix.Reserve(M + K + 1, J + M + K);
    workspace.Problem.Reserve(M + K + 1, J + M + K);
  }
  workspace.Problem.m_SingleSolve = record.SingleSolve != 0;
}

void PrepareWorkers(AnalysisRecord& record, WorkerPool& workers) {
  for (unsigned worker = 0; worker < workers.Size(); ++worker) CreateWorkspace(record, workers.Workspace(worker));
  workers.SetOutput(record.Log, &record.Tally);
}
