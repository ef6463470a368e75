#include "measures/Peers.h"

#include <vector>

#include "core/AnalysisRecord.h"
#include "lp/LPProblem.h"
#include "lp/WorkerPool.h"
#include "lp/Workspace.h"
#include "measures/MultiplierProgram.h"
#include "measures/Observations.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

void SizePeers(AnalysisRecord::OrientationPeers& peers, uint32_t NT, uint32_t M, uint32_t K) {
  peers.lambda.assign(NT, {});
  peers.lambda2.assign(NT, {});
  peers.outputSlacks.assign(static_cast<std::size_t>(NT) * M, kMissing);
  peers.inputSlacks.assign(static_cast<std::size_t>(NT) * K, kMissing);
  peers.outputTargets.assign(static_cast<std::size_t>(NT) * M, kMissing);
  peers.inputTargets.assign(static_cast<std::size_t>(NT) * K, kMissing);
  peers.solved.assign(NT, 0);
  peers.tight.assign(NT, {});
}

// The positive weights of values[0..J-1], belonging to observations
// first + j, or observations[j] when given.
std::vector<AnalysisRecord::PeerWeight> PositiveWeights(const double* values, uint32_t count, uint32_t first,
                                                        const std::vector<uint32_t>* observations = nullptr) {
  std::vector<AnalysisRecord::PeerWeight> weights;
  for (uint32_t j = 0; j < count; ++j)
    if (values[j] > kPeerLambdaFloor) weights.push_back({observations ? (*observations)[j] : first + j, values[j]});
  return weights;
}

// A slack is nonnegative; a basic one rounded just below 0 is 0.
double NonNegative(double v) { return v > 0.0 ? v : 0.0; }

double Scale(const std::vector<double>& scales, uint32_t j) { return scales.empty() ? 1.0 : scales[j]; }

// Weight of a slack: 1 over the observation's own quantity, 1 for a zero one.
double SlackWeight(double quantity) { return quantity != 0.0 ? 1.0 / quantity : 1.0; }

// Builds and solves the second stage of observation o (see Peers.h) and
// stores its slacks, targets and lambdas. The slacks are the rows' surplus
// and slack, s+ = sum_j lambda_j y_j - phi y_o and s- = x_o - sum_j lambda_j x_j
// (output orientation; y_o and theta x_o in the input one), so the program
// is posed in the lambdas alone:
//   maximise  sum_j lambda_j (sum_m y_jm / y_om - sum_k x_jk / x_ok)
//   s.t.      x rows <=, y rows >=, (VRS) sum_j lambda_j = 1,
// whose objective differs from the sum of the weighed slacks by a constant.
void SolveSecondStage(const AnalysisRecord& record, LPWorkspace& workspace, Matrix& outputs, Matrix& inputs,
                      Orientation orientation, uint32_t o, double distance, AnalysisRecord::OrientationPeers& peers,
                      std::vector<double>& y, std::vector<double>& x) {
  const std::vector<uint32_t>& columns = peers.tight[o - 1];
  const uint32_t M = record.Outputs, K = record.Inputs, J = static_cast<uint32_t>(columns.size());
  const bool vrs = record.Vrs != 0;
  const uint32_t rows = K + M + (vrs ? 1 : 0);
  ReadObservationRow(outputs, o, M, y.data());
  ReadObservationRow(inputs, o, K, x.data());
  // phi = 1 / DOttt expands the outputs; theta = 1 / DIttt contracts the inputs.
  const double radial = 1.0 / distance;
  const bool output = orientation == Orientation::kOutput;
  std::vector<double> projectedY(M), projectedX(K);
  for (uint32_t m = 0; m < M; ++m) projectedY[m] = output ? radial * y[m] : y[m];
  for (uint32_t k = 0; k < K; ++k) projectedX[k] = output ? x[k] : radial * x[k];

  std::vector<double> lambda(J, 0.0);
  if (vrs && J == 1) {
    // One tight row under variable returns to scale: lambda = 1, nothing to
    // choose (and a program of one column for its one equality row, which
    // the simplex does not take).
    lambda[0] = 1.0;
  } else {
    // Rows: the K inputs (<=), the M outputs (>=), the convexity row (=).
    Matrix& A = workspace.LPMatrix;
    A.ResetMatrixPacked(rows, J);
    double* rhs = workspace.LPRhs.data();
    double* obj = workspace.LPObjective.data();
    for (uint32_t j = 0; j < J; ++j) {
      const uint32_t r = columns[j] - 1;
      double gain = 0.0;
      for (uint32_t m = 0; m < M; ++m) {
        const double v = outputs.GetValue(r, m);
        A.SetValue(K + m, j, v);
        gain = gain + v * SlackWeight(y[m]);
      }
      for (uint32_t k = 0; k < K; ++k) {
        const double v = inputs.GetValue(r, k);
        A.SetValue(k, j, v);
        gain = gain - v * SlackWeight(x[k]);
      }
      if (vrs) A.SetValue(K + M, j, 1.0);
      obj[j] = gain;
    }
    for (uint32_t k = 0; k < K; ++k) rhs[k] = projectedX[k];
    for (uint32_t m = 0; m < M; ++m) rhs[K + m] = projectedY[m];
    if (vrs) rhs[K + M] = 1.0;
    SetProblem(A, workspace.Problem, rhs, obj, static_cast<int>(K), static_cast<int>(M), vrs ? 1 : 0);
    if (Solve(workspace.Problem) != 0) return;
    for (uint32_t j = 0; j < J; ++j) lambda[j] = workspace.Problem.m_Solution[j];
  }

  peers.lambda2[o - 1] = PositiveWeights(lambda.data(), J, 0, &columns);
  for (uint32_t m = 0; m < M; ++m) {
    double reached = 0.0;
    for (uint32_t j = 0; j < J; ++j) reached = reached + lambda[j] * outputs.GetValue(columns[j] - 1, m);
    const double slack = NonNegative(reached - projectedY[m]);
    const double scale = Scale(record.OutputScales, m);
    peers.outputSlacks[static_cast<std::size_t>(o - 1) * M + m] = slack * scale;
    peers.outputTargets[static_cast<std::size_t>(o - 1) * M + m] = (projectedY[m] + slack) * scale;
  }
  for (uint32_t k = 0; k < K; ++k) {
    double used = 0.0;
    for (uint32_t j = 0; j < J; ++j) used = used + lambda[j] * inputs.GetValue(columns[j] - 1, k);
    const double slack = NonNegative(projectedX[k] - used);
    const double scale = Scale(record.InputScales, k);
    peers.inputSlacks[static_cast<std::size_t>(o - 1) * K + k] = slack * scale;
    peers.inputTargets[static_cast<std::size_t>(o - 1) * K + k] = (projectedX[k] - slack) * scale;
  }
  peers.solved[o - 1] = 1;
}

}  // namespace

void PreparePeers(AnalysisRecord& record) {
  SizePeers(record.OutputPeers, record.Observations, record.Outputs, record.Inputs);
  SizePeers(record.InputPeers, record.Observations, record.Outputs, record.Inputs);
}

void StoreFirstStagePeers(const AnalysisRecord& record, AnalysisRecord::OrientationPeers& peers, uint32_t o,
                          const LPProblem& problem, ReferenceRange range, double distance,
                          std::vector<double>& duals) {
  if (distance == kMissing) return;
  const uint32_t J = range.Count();
  // Row j of the program is the j-th present observation of the range.
  std::vector<uint32_t> observations;
  for (uint32_t r = range.first; r <= range.last && observations.size() < J; ++r)
    if (!record.IsAbsent(r)) observations.push_back(r);
  duals.resize(J);
  RowDuals(problem, J, duals.data());
  peers.lambda[o - 1] = PositiveWeights(duals.data(), J, range.first, &observations);
  RowSlacks(problem, J, duals.data());
  std::vector<uint32_t>& tight = peers.tight[o - 1];
  for (uint32_t j = 0; j < J; ++j)
    if (duals[j] <= kTightRowSlack) tight.push_back(observations[j]);
}

void ComputePeers(AnalysisRecord& record, WorkerPool& workers) {
  const uint32_t N = record.Firms, T = record.Periods, M = record.Outputs, K = record.Inputs;
  WorkingCopies copies;
  CreateWorkingCopies(record, copies, false);
  struct WorkerState {
    std::vector<double> y, x;
  };
  std::vector<WorkerState> states(workers.Size(), WorkerState{std::vector<double>(M), std::vector<double>(K)});
  for (uint32_t t = 1; t <= T; ++t) {
    const ReferenceRange range = ReferenceSetOfPeriod(record, t);
    if (range.first > range.last) continue;
    workers.Run(N, [&](uint32_t index, unsigned worker) {
      LPWorkspace& workspace = workers.Workspace(worker);
      WorkerState& state = states[worker];
      const uint32_t o = N * (t - 1) + index + 1;
      if (At(record.DOttt, o) != kMissing && !record.OutputPeers.tight[o - 1].empty()) {
        LabelProgram(record, "Determining slacks of DOttt, Obs %d ", static_cast<int>(o));
        SolveSecondStage(record, workspace, copies.outputs, copies.inputs, Orientation::kOutput, o,
                         At(record.DOttt, o), record.OutputPeers, state.y, state.x);
      }
      if (At(record.DIttt, o) != kMissing && !record.InputPeers.tight[o - 1].empty()) {
        LabelProgram(record, "Determining slacks of DIttt, Obs %d ", static_cast<int>(o));
        SolveSecondStage(record, workspace, copies.outputs, copies.inputs, Orientation::kInput, o,
                         At(record.DIttt, o), record.InputPeers, state.y, state.x);
      }
    });
  }
  FreeWorkingCopies(copies);
}
