#include <algorithm>

#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "lp/WorkerPool.h"
#include "lp/Workspace.h"
#include "measures/ComputationSets.h"

void CreateWorkspace(const AnalysisRecord& record, LPWorkspace& workspace) {
  const uint32_t NT = record.Observations;
  const uint32_t lpSize = NT + record.Outputs + record.Inputs + 10;
  workspace.Create(lpSize, std::max(2 * NT, lpSize), record.Log);
}

void PrepareWorkers(AnalysisRecord& record, WorkerPool& workers) {
  for (unsigned worker = 0; worker < workers.Size(); ++worker) CreateWorkspace(record, workers.Workspace(worker));
  workers.SetOutput(record.Log != nullptr ? record.Log->m_File : nullptr, &record.Tally);
}
