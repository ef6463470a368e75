// Set 1: technical and scale efficiency.
//
// For every observation o of period t, against the reference set of period t
// (see ReferenceSet.h), two multiplier-form programs (MultiplierProgram.h):
//   DOttt  output distance: normalisation u.y_o = 1, objective -v.x_o - w1 + w2,
//          value -1/z; HOttt the same without the intercept (constant returns);
//   DIttt  input distance:  normalisation v.x_o = 1, objective u.y_o - w1 + w2,
//          value 1/z; HIttt the same without the intercept.
// Under variable returns to scale the H program re-solves the D program cut to
// M + K columns; under constant returns D is solved cut and H = D.
// Then OTE = DOttt, OSE = HOttt / OTE, ITE = 1 / DIttt, ISE = 1 / (HIttt x ITE),
// the shadow prices pstar = u x DOttt / (u.y_o) and wstar = v x DIttt / (v.x_o),
// and the four measures of each observation's comparison observation.
// With Peers the lambdas of the D programs are kept from their final
// tableaux (measures/Peers.h).

#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "lp/WorkerPool.h"
#include "measures/AbsentObservations.h"
#include "measures/ComputationSets.h"
#include "measures/MultiplierProgram.h"
#include "measures/Observations.h"
#include "measures/Peers.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

// The four efficiency measures of observation o from its distance values.
void ComputeEfficiencies(AnalysisRecord& record, uint32_t o) {
  At(record.OTE, o) = kMissing;
  At(record.OSE, o) = kMissing;
  At(record.ITE, o) = kMissing;
  At(record.ISE, o) = kMissing;
  if (At(record.DOttt, o) != kMissing) {
    At(record.OTE, o) = At(record.DOttt, o);
    if (At(record.HOttt, o) != kMissing) At(record.OSE, o) = At(record.HOttt, o) / At(record.OTE, o);
  }
  if (At(record.DIttt, o) != kMissing) {
    At(record.ITE, o) = 1.0 / At(record.DIttt, o);
    if (At(record.HIttt, o) != kMissing) At(record.ISE, o) = 1.0 / (At(record.HIttt, o) * At(record.ITE, o));
  }
}

void CopyComparisonValues(AnalysisRecord& record, uint32_t o, uint32_t b) {
  At(record.OTEs, o) = ComparisonValue(record.OTE, b);
  At(record.OSEs, o) = ComparisonValue(record.OSE, b);
  At(record.ITEs, o) = ComparisonValue(record.ITE, b);
  At(record.ISEs, o) = ComparisonValue(record.ISE, b);
}

}  // namespace

void ComputeSet1(AnalysisRecord& record, WorkerPool& workers) {
  ConsolePrintf(" Computing Set 1: OTE, OSE, ITE, ISE \n");

  const uint32_t N = record.Firms;
  const uint32_t T = record.Periods;
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  const uint32_t NT = record.Observations;
  const bool vrs = record.Vrs != 0;

  WorkingCopies copies;
  CreateWorkingCopies(record, copies, false);
  Matrix& outputs = copies.outputs;
  Matrix& inputs = copies.inputs;

  MarkAbsentValues(record);
  ColumnMeans(outputs, NT, M, record.OutputMeans, record.Absent);
  ColumnMeans(inputs, NT, K, record.InputMeans, record.Absent);

  // Each worker keeps its own quantities and knows which reference rows its
  // work matrix holds.
  struct WorkerState {
    std::vector<double> y, x;
    ReferenceRowsInPlace referenceRows;
    std::vector<double> duals;  // with Peers: the D program's row duals
  };
  std::vector<WorkerState> states(workers.Size(), WorkerState{std::vector<double>(M), std::vector<double>(K), {}, {}});
  SetProgress progress(1, NT);
  const bool peers = record.Peers != 0;
  if (peers) PreparePeers(record);

  for (uint32_t t = 1; t <= T; ++t) {
    const ReferenceRange range = ReferenceSetOfPeriod(record, t);
    // The four programs of each observation of period t; observations are
    // independent of one another.
    workers.Run(N, [&](uint32_t index, unsigned worker) {
      LPWorkspace& workspace = workers.Workspace(worker);
      WorkerState& state = states[worker];
      double* y = state.y.data();
      double* x = state.x.data();
      const uint32_t o = N * (t - 1) + index + 1;
      if (record.IsAbsent(o)) return;
      ReadObservationRow(outputs, o, M, y);
      ReadObservationRow(inputs, o, K, x);

      // Output orientation: DOttt, its shadow prices, HOttt.
      BuildMultiplierProgram(record, workspace, outputs, inputs, range, Orientation::kOutput, y, x,
                             &state.referenceRows);
      LabelProgram(record, "Determining DOttt, Obs %d ", static_cast<int>(o));
      At(record.DOttt, o) = SolveMultiplierProgram(record, workspace, range, Orientation::kOutput, !vrs);
      StoreShadowPrices(record.pstar, o, workspace.Problem.m_Solution.data(), y, M, At(record.DOttt, o));
      if (peers)
        StoreFirstStagePeers(record, record.OutputPeers, o, workspace.Problem, range, At(record.DOttt, o), state.duals);
      if (vrs) {
        LabelProgram(record, "Determining HOttt, Obs %d ", static_cast<int>(o));
        At(record.HOttt, o) = SolveMultiplierProgram(record, workspace, range, Orientation::kOutput, true);
      } else {
        At(record.HOttt, o) = At(record.DOttt, o);
      }

      // Input orientation: DIttt, its shadow prices, HIttt.
      BuildMultiplierProgram(record, workspace, outputs, inputs, range, Orientation::kInput, x, y,
                             &state.referenceRows);
      LabelProgram(record, "Determining primal DIttt, Obs %d ", static_cast<int>(o));
      At(record.DIttt, o) = SolveMultiplierProgram(record, workspace, range, Orientation::kInput, !vrs);
      StoreShadowPrices(record.wstar, o, workspace.Problem.m_Solution.data() + M, x, K, At(record.DIttt, o));
      if (peers)
        StoreFirstStagePeers(record, record.InputPeers, o, workspace.Problem, range, At(record.DIttt, o), state.duals);
      if (vrs) {
        LabelProgram(record, "Determining HIttt, Obs %d ", static_cast<int>(o));
        At(record.HIttt, o) = SolveMultiplierProgram(record, workspace, range, Orientation::kInput, true);
      } else {
        At(record.HIttt, o) = At(record.DIttt, o);
      }

      ComputeEfficiencies(record, o);
    }, &progress);

    // Chained families compare with the same firm one period earlier,
    // whose values are final because periods are processed in order.
    if (record.IsChained()) {
      for (uint32_t i = 1; i <= N; ++i) {
        const uint32_t o = N * (t - 1) + i;
        record.Base = ChainedComparison(record, o);
        CopyComparisonValues(record, o, record.Base);
      }
    }
  }

  if (record.IsFixedBase()) {
    for (uint32_t o = 1; o <= NT; ++o) CopyComparisonValues(record, o, record.Base);
  }

  FreeWorkingCopies(copies);
}
