// Set 2: output and input aggregates of every observation and of its
// comparison observation b.
//
//   Q  = sum_m y_o[m] ow[m]    Qs = sum_m y_b[m] ow[m]
//   X  = sum_k x_o[k] iw[k]    Xs = sum_k x_b[k] iw[k]
//   QBARt = Q / OTE, QBARs = Qs / OTEs, XBARt = X x ITE, XBARs = Xs x ITEs
// and, with prices, Rev = sum p_o y_o and Cost = sum w_o x_o.
//
// The weights ow, iw come from the index family: observed prices of b
// (Laspeyres) or o (Paasche), both passes combined by a geometric mean
// (Fisher), mean prices (Lowe), or normalised shadow prices of multiplier-form
// programs (MultiplierProgram.h) solved here first:
//   period-s stage (Malmquist-hs, Hicks-Moorsteen), technology ref(t-1):
//     DOsts  normalisation u.y_o = 1, objective -v.x_b - w1 + w2, value -1/z
//     DItss  normalisation v.x_o = 1, objective  u.y_b - w1 + w2, value  1/z
//   period-t stage (Malmquist-it, Hicks-Moorsteen), technology ref(t):
//     DOtst  normalisation u.y_b = 1, objective -v.x_o - w1 + w2, value -1/z
//     DIstt  normalisation v.x_b = 1, objective  u.y_o - w1 + w2, value  1/z
//   (period 1 uses ref(1) and b = o, as does an observation whose previous
//   observation is absent with ref(t)); weights = multiplier x distance / the
//   multipliers' aggregate of o's own quantities;
//   Fare-Primont stage, technology of all observations, for the
//   representative observation (q0, x0) = the sample means:
//     DO000  normalisation u.q0 = 1, objective -v.x0 - w1 + w2, value -1/z
//     DI000  normalisation v.x0 = 1, objective  u.q0 - w1 + w2, value  1/z
//     pstar0 = alpha0 x DO000 / (alpha0.q0), wstar0 = eta0 x DI000 / (eta0.x0).
// Hicks-Moorsteen aggregates with the period-s weights, then the period-t
// weights, and takes the geometric mean of the two passes.

#include <cmath>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "lp/WorkerPool.h"
#include "measures/AggregatorWeights.h"
#include "measures/AbsentObservations.h"
#include "measures/ComputationSets.h"
#include "measures/MultiplierProgram.h"
#include "measures/Observations.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

// Stores a solved program's multipliers in row o of `multipliers` and its
// normalised weights, scaled by o's own quantities, in row o of `weights`.
void StoreDistanceWeights(Matrix& multipliers, Matrix& weights, uint32_t o, const double* solution,
                          const double* quantities, uint32_t count, double distance) {
  for (uint32_t j = 0; j < count; ++j) multipliers.SetValue(o - 1, j, solution[j]);
  StoreShadowPrices(weights, o, solution, quantities, count, distance);
}

// The period-s stage (previousTechnology: DOsts, DItss against ref(t-1)) or
// the period-t stage (DOtst, DIstt against ref(t)); period 1 uses ref(1).
void SolveDistanceStage(AnalysisRecord& record, WorkerPool& workers, WorkingCopies& copies, bool previousTechnology,
                        SetProgress& progress) {
  const uint32_t N = record.Firms;
  const uint32_t T = record.Periods;
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  const bool withoutIntercept = record.Vrs == 0;

  const char* outputLabel = previousTechnology ? "Determining DOsts, Obs %d " : "Determining DOtst, Obs %d ";
  const char* inputLabel = previousTechnology ? "Determining DItss, Obs %d " : "Determining DIstt, Obs %d ";
  ObservationVector& outputDistance = previousTechnology ? record.DOsts : record.DOtst;
  ObservationVector& inputDistance = previousTechnology ? record.DItss : record.DIstt;
  Matrix& alpha = previousTechnology ? record.alphahs : record.alphait;
  Matrix& eta = previousTechnology ? record.etahs : record.etait;
  Matrix& outputWeights = previousTechnology ? record.pstarhs : record.pstarit;
  Matrix& inputWeights = previousTechnology ? record.wstarhs : record.wstarit;

  // Each worker keeps its own quantities and knows which reference rows its
  // work matrix holds.
  struct WorkerState {
    std::vector<double> yo, xo, yb, xb;
    ReferenceRowsInPlace referenceRows;
  };
  std::vector<WorkerState> states(workers.Size(), WorkerState{std::vector<double>(M), std::vector<double>(K),
                                                                std::vector<double>(M), std::vector<double>(K), {}});
  for (uint32_t t = 1; t <= T; ++t) {
    const uint32_t technologyPeriod = t == 1 ? 1 : (previousTechnology ? t - 1 : t);
    const ReferenceRange periodRange = ReferenceSetOfPeriod(record, technologyPeriod);
    // An observation without a comparison observation is weighed as one of
    // the first period: against its own period's technology.
    const ReferenceRange ownRange = record.Absent.empty() ? periodRange : ReferenceSetOfPeriod(record, t);
    workers.Run(N, [&](uint32_t index, unsigned worker) {
      LPWorkspace& workspace = workers.Workspace(worker);
      WorkerState& state = states[worker];
      const uint32_t o = N * (t - 1) + index + 1;
      if (record.IsAbsent(o)) return;
      const uint32_t b = ChainedComparison(record, o);
      const ReferenceRange& range = LacksComparison(record, o) ? ownRange : periodRange;
      double* yo = state.yo.data();
      double* xo = state.xo.data();
      double* yb = state.yb.data();
      double* xb = state.xb.data();
      ReadObservationRow(copies.outputs, o, M, yo);
      ReadObservationRow(copies.inputs, o, K, xo);
      ReadObservationRow(copies.outputs, b, M, yb);
      ReadObservationRow(copies.inputs, b, K, xb);

      // Period s: the observation's own quantities normalise and the
      // comparison observation's enter the objective; period t the reverse.
      const double* outputNorm = previousTechnology ? yo : yb;
      const double* outputObjective = previousTechnology ? xb : xo;
      const double* inputNorm = previousTechnology ? xo : xb;
      const double* inputObjective = previousTechnology ? yb : yo;

      BuildMultiplierProgram(record, workspace, copies.outputs, copies.inputs, range, Orientation::kOutput,
                             outputNorm, outputObjective, &state.referenceRows);
      LabelProgram(record, outputLabel, static_cast<int>(o));
      At(outputDistance, o) =
          SolveMultiplierProgram(record, workspace, range, Orientation::kOutput, withoutIntercept);
      StoreDistanceWeights(alpha, outputWeights, o, workspace.Problem.m_Solution.data(), yo, M,
                           At(outputDistance, o));

      BuildMultiplierProgram(record, workspace, copies.outputs, copies.inputs, range, Orientation::kInput,
                             inputNorm, inputObjective, &state.referenceRows);
      LabelProgram(record, inputLabel, static_cast<int>(o));
      At(inputDistance, o) = SolveMultiplierProgram(record, workspace, range, Orientation::kInput, withoutIntercept);
      StoreDistanceWeights(eta, inputWeights, o, workspace.Problem.m_Solution.data() + M, xo, K,
                           At(inputDistance, o));
    }, &progress);
    if (t >= 2 && N > 0) record.Base = N * (t - 1);  // the comparison observation of the last firm
  }
}

// The Fare-Primont weights from the representative observation's programs
// against the technology of all observations.
void SolveFarePrimontStage(AnalysisRecord& record, LPWorkspace& workspace, WorkingCopies& copies) {
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  const bool vrs = record.Vrs != 0;
  const ReferenceRange all = ReferenceSetOfAll(record);
  const std::vector<double>& s = workspace.Problem.m_Solution;

  record.q0 = record.OutputMeans;
  record.x0 = record.InputMeans;

  BuildMultiplierProgram(record, workspace, copies.outputs, copies.inputs, all, Orientation::kOutput,
                         record.q0.data(), record.x0.data());
  LabelProgram(record, "Determining DO000, Obs %d ", 0);
  record.DO000 = SolveMultiplierProgram(record, workspace, all, Orientation::kOutput, !vrs);
  for (uint32_t m = 0; m < M; ++m) record.alpha0[m] = s[m];
  const double d = WeightedSum(record.alpha0.data(), record.q0.data(), M);
  for (uint32_t m = 0; m < M; ++m) record.pstar0[m] = record.alpha0[m] * record.DO000 / d;
  for (uint32_t k = 0; k < K; ++k) record.beta0[k] = s[M + k];
  // Without the intercept columns the solution holds no w1, w2.
  record.gamma0 = InterceptOf(record, s.data());

  BuildMultiplierProgram(record, workspace, copies.outputs, copies.inputs, all, Orientation::kInput,
                         record.x0.data(), record.q0.data());
  LabelProgram(record, "Determining DI000, Obs %d ", 0);
  record.DI000 = SolveMultiplierProgram(record, workspace, all, Orientation::kInput, !vrs);
  for (uint32_t m = 0; m < M; ++m) record.phi0[m] = s[m];
  for (uint32_t k = 0; k < K; ++k) record.eta0[k] = s[M + k];
  const double e = WeightedSum(record.eta0.data(), record.x0.data(), K);
  for (uint32_t k = 0; k < K; ++k) record.wstar0[k] = record.eta0[k] * record.DI000 / e;
  record.delta0 = InterceptOf(record, s.data());
}

// Q, Qs, X and Xs of observation o with the current weights.
void Aggregate(AnalysisRecord& record, uint32_t o, const std::vector<double>& yo, const std::vector<double>& yb,
               const std::vector<double>& xo, const std::vector<double>& xb) {
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  At(record.Q, o) = WeightedSum(yo.data(), record.CurrentOutputWeights.data(), M);
  At(record.Qs, o) = WeightedSum(yb.data(), record.CurrentOutputWeights.data(), M);
  At(record.X, o) = WeightedSum(xo.data(), record.CurrentInputWeights.data(), K);
  At(record.Xs, o) = WeightedSum(xb.data(), record.CurrentInputWeights.data(), K);
}

void ComputeEfficientAggregates(AnalysisRecord& record, uint32_t o) {
  At(record.QBARt, o) = kMissing;
  At(record.QBARs, o) = kMissing;
  At(record.XBARt, o) = kMissing;
  At(record.XBARs, o) = kMissing;
  if (At(record.Q, o) != kMissing && At(record.OTE, o) != kMissing)
    At(record.QBARt, o) = At(record.Q, o) / At(record.OTE, o);
  if (At(record.Qs, o) != kMissing && At(record.OTEs, o) != kMissing)
    At(record.QBARs, o) = At(record.Qs, o) / At(record.OTEs, o);
  if (At(record.X, o) != kMissing && At(record.ITE, o) != kMissing)
    At(record.XBARt, o) = At(record.X, o) * At(record.ITE, o);
  if (At(record.Xs, o) != kMissing && At(record.ITEs, o) != kMissing)
    At(record.XBARs, o) = At(record.Xs, o) * At(record.ITEs, o);
}

}  // namespace

void ComputeSet2(AnalysisRecord& record, WorkerPool& workers) {
  if (record.Prices == 0)
    ConsolePrintf(" Computing Set 2: Q, QBAR, X, XBAR \n");
  else
    ConsolePrintf(" Computing Set 2: REV, Q, QBAR, COST, X, XBAR \n");

  const uint32_t N = record.Firms;
  const uint32_t T = record.Periods;
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  const uint32_t NT = record.Observations;
  const bool chained = record.IsChained();

  WorkingCopies copies;
  CreateWorkingCopies(record, copies);

  if (record.Prices) {
    ColumnMeans(copies.outputPrices, NT, M, record.OutputPriceMeans, record.Absent);
    ColumnMeans(copies.inputPrices, NT, K, record.InputPriceMeans, record.Absent);
  }

  const bool periodS = record.MalmquistHs || record.HicksMoorsteen;
  const bool periodT = record.MalmquistIt || record.HicksMoorsteen;
  {
    SetProgress progress(2, static_cast<uint64_t>(NT) * ((periodS ? 1 : 0) + (periodT ? 1 : 0)));
    if (periodS) SolveDistanceStage(record, workers, copies, true, progress);
    if (periodT) SolveDistanceStage(record, workers, copies, false, progress);
  }
  if (record.FarePrimont) {
    workers.Run(1, [&](uint32_t, unsigned worker) {
      SolveFarePrimontStage(record, workers.Workspace(worker), copies);
    });
  }

  if (record.Lowe) {
    record.LoweOutputWeights = record.OutputPriceMeans;
    record.LoweInputWeights = record.InputPriceMeans;
  }

  std::vector<double> yo(M), yb(M), xo(K), xb(K), po(M), wo(K);
  for (uint32_t t = 1; t <= T; ++t) {
    for (uint32_t i = 1; i <= N; ++i) {
      const uint32_t o = N * (t - 1) + i;
      if (record.IsAbsent(o)) continue;
      uint32_t b = record.Base;
      if (chained) {
        b = ChainedComparison(record, o);
        record.Base = b;
      }
      ReadObservationRow(copies.outputs, o, M, yo.data());
      ReadObservationRow(copies.outputs, b, M, yb.data());
      ReadObservationRow(copies.inputs, o, K, xo.data());
      ReadObservationRow(copies.inputs, b, K, xb.data());

      if (record.Prices) {
        ReadObservationRow(copies.outputPrices, o, M, po.data());
        ReadObservationRow(copies.inputPrices, o, K, wo.data());
        At(record.Rev, o) = WeightedSum(po.data(), yo.data(), M);
        At(record.Cost, o) = WeightedSum(wo.data(), xo.data(), K);
        if (chained) {
          At(record.Revs, o) = ComparisonValue(record.Rev, b);
          At(record.Costs, o) = ComparisonValue(record.Cost, b);
        }
      }

      FillAggregatorWeights(record, copies, o, b, 1);
      Aggregate(record, o, yo, yb, xo, xb);

      if (IsTwoPass(record)) {
        At(record.FirstPassQ, o) = At(record.Q, o);
        At(record.FirstPassQs, o) = At(record.Qs, o);
        At(record.FirstPassX, o) = At(record.X, o);
        At(record.FirstPassXs, o) = At(record.Xs, o);
        FillAggregatorWeights(record, copies, o, b, 2);
        Aggregate(record, o, yo, yb, xo, xb);
        At(record.Q, o) = std::sqrt(At(record.FirstPassQ, o) * At(record.Q, o));
        At(record.Qs, o) = std::sqrt(At(record.FirstPassQs, o) * At(record.Qs, o));
        At(record.X, o) = std::sqrt(At(record.FirstPassX, o) * At(record.X, o));
        At(record.Xs, o) = std::sqrt(At(record.FirstPassXs, o) * At(record.Xs, o));
      }
    }
  }

  if (record.IsFixedBase() && record.Prices) {
    for (uint32_t o = 1; o <= NT; ++o) {
      At(record.Revs, o) = ComparisonValue(record.Rev, record.Base);
      At(record.Costs, o) = ComparisonValue(record.Cost, record.Base);
    }
  }

  for (uint32_t o = 1; o <= NT; ++o) ComputeEfficientAggregates(record, o);

  FreeWorkingCopies(copies);
}
