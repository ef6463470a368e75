// Set 3: QHAT, the largest output aggregate p.q the technology can produce
// from an observation's inputs, and XHAT, the smallest input aggregate w.x
// with which it can produce the observation's outputs.
//
// Both are envelopment-form programs over the reference set of a period,
// one lambda column per reference observation j (in storage order), all
// variables nonnegative, maximised:
//
//   XHAT  columns lambda_1..lambda_nref, x_1..x_K;  objective  -w . x
//         rows 1..M     (>=)   sum_j y_j,m lambda_j          >= y_d,m
//         rows M+1..M+K (>=)  -sum_j x_j,k lambda_j + x_k    >= 0
//         row M+K+1     (=)    sum_j lambda_j = 1             (VRS only)
//         XHAT = -(optimum)
//   QHAT  columns lambda_1..lambda_nref, q_1..q_M;  objective   p . q
//         rows 1..M     (<=)  -sum_j y_j,m lambda_j + q_m    <= 0
//         rows M+1..M+K (<=)   sum_j x_j,k lambda_j          <= x_d,k
//         row M+K+1     (=)    sum_j lambda_j = 1             (VRS only)
//         QHAT = optimum
//
// QHATt, XHATt measure observation o against its own period's technology;
// for the chained families QHATs, XHATs measure o's previous-period
// observation against the previous period's technology with o's weights,
// and for the fixed-base families they are the Base observation's values.
// Fisher and Hicks-Moorsteen solve every program with two sets of weights
// and keep the geometric mean. A failed program gives -9999.
//
// Under non-increasing returns to scale the convexity row is sum_j lambda_j
// <= 1, under non-decreasing returns >= 1; the rows are grouped <=, >=, =,
// so the XHAT program's <= row comes first (row 0, the others one lower) and
// the QHAT program's >= row stays last. Constant returns drop the row.
//
// The aggregator weights of the distance-function and Fare-Primont families
// are about 1/quantity and can be far below the simplex tolerance; a program
// whose largest |weight| is positive and below 1 is posed with its objective
// multiplied by the power of two that brings that weight into [1, 2), and
// the optimum is divided by it again. Both steps are exact.

#include <cmath>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "lp/WorkerPool.h"
#include "measures/AggregatorWeights.h"
#include "measures/AbsentObservations.h"
#include "measures/ComputationSets.h"
#include "measures/Observations.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

// The power-of-two exponent that brings the largest |weight| into [1, 2)
// when it is positive and below 1; 0 otherwise.
int ObjectiveScaleExponent(const std::vector<double>& weights) {
  double largest = 0.0;
  for (double weight : weights)
    if (std::fabs(weight) > largest) largest = std::fabs(weight);
  if (!(largest > 0.0 && largest < 1.0)) return 0;
  int exponent = 0;
  std::frexp(largest, &exponent);  // largest = f * 2^exponent, f in [0.5, 1)
  return 1 - exponent;
}

// 1.0 in the lambda columns 0..nref-1 of row `row`; untested when the
// matrix was laid out at the program's size.
void SetConvexityRow(Matrix& A, bool laidOut, uint32_t row, uint32_t nref) {
  if (laidOut) {
    double* entries = A.Row(row);
    for (uint32_t j = 0; j < nref; ++j) entries[j] = 1.0;
  } else {
    for (uint32_t j = 0; j < nref; ++j) A.SetValue(row, j, 1.0);
  }
}

// Labels, solves the posed program and reads back its optimum, undoing the
// objective scaling; -9999 when the program failed.
double SolveAndReadOptimum(const AnalysisRecord& record, LPProblem& problem, const char* name, uint32_t o,
                           int scaleExponent) {
  if (record.Log != nullptr) record.Log->SetContext("Determining %s, Obs %d ", name, static_cast<int>(o));
  if (Solve(problem) != 0) return kMissing;
  const double optimum = std::ldexp(problem.Objective(), -scaleExponent);
  if (optimum == kMissing) return kMissing;
  return optimum;
}

// The row of the XHAT program where its output rows start: 1 when the
// convexity row is a <= row and so comes first, else 0.
uint32_t XhatTop(const AnalysisRecord& record) {
  return record.Vrs != 0 && record.ScaleBound == kNonIncreasing ? 1 : 0;
}

// The rows of each kind of the convexity row (m1, m2, m3 of SetProblem), 0
// and 0 and 0 under constant returns to scale.
struct ConvexityRowKind {
  int lessEqual, greaterEqual, equal;
};

ConvexityRowKind ConvexityKind(const AnalysisRecord& record) {
  if (record.Vrs == 0) return {0, 0, 0};
  if (record.ScaleBound == kNonIncreasing) return {1, 0, 0};
  if (record.ScaleBound == kNonDecreasing) return {0, 1, 0};
  return {0, 0, 1};
}

// The constraint matrix of the XHAT programs against reference observations
// first..last (rows of the copies): outputs y_j in rows top..top+M-1, inputs
// -x_j in rows top+M..top+M+K-1 beside the identity of the x columns, the
// convexity row (row M+K, or row 0 when top is 1).
void LayOutXhatMatrix(Matrix& A, WorkingCopies& copies, uint32_t first, uint32_t last, uint32_t M, uint32_t K,
                      uint32_t top) {
  const uint32_t nref = last - first + 1;
  const bool laidOut = A.ResetMatrixPacked(M + K + 1, nref + K) == 0;
  SetSubMatrixTransposed(A, copies.inputs, first, last, K - 1, top + M, top + M + K - 1, nref - 1);
  A.MultScalar(-1.0);
  SetSubMatrixTransposed(A, copies.outputs, first, last, M - 1, top, top + M - 1, nref - 1);
  for (uint32_t k = 0; k < K; ++k) A.SetValue(top + M + k, nref + k, 1.0);
  SetConvexityRow(A, laidOut, top == 0 ? M + K : 0, nref);
}

// The constraint matrix of the QHAT programs: outputs -y_j in rows 0..M-1
// beside the identity of the q columns, inputs x_j in rows M..M+K-1, the
// convexity row.
void LayOutQhatMatrix(Matrix& A, WorkingCopies& copies, uint32_t first, uint32_t last, uint32_t M, uint32_t K) {
  const uint32_t nref = last - first + 1;
  const bool laidOut = A.ResetMatrixPacked(M + K + 1, nref + M) == 0;
  SetSubMatrixTransposed(A, copies.outputs, first, last, M - 1, 0, M - 1, nref - 1);
  A.MultScalar(-1.0);
  SetSubMatrixTransposed(A, copies.inputs, first, last, K - 1, M, M + K - 1, nref - 1);
  for (uint32_t m = 0; m < M; ++m) A.SetValue(m, nref + m, 1.0);
  SetConvexityRow(A, laidOut, M + K, nref);
}

// The same two matrices for a reference range with absent observations:
// column j holds the j-th present observation, written one value at a time.
void LayOutPresentColumns(const AnalysisRecord& record, Matrix& A, WorkingCopies& copies, const ReferenceRange& range,
                          bool qhat) {
  const uint32_t M = record.Outputs, K = record.Inputs, nref = range.Count();
  const uint32_t extra = qhat ? M : K;
  A.ResetMatrixPacked(M + K + 1, nref + extra);
  const double outputSign = qhat ? -1.0 : 1.0;
  const uint32_t top = qhat ? 0 : XhatTop(record);
  const uint32_t convexityRow = top == 0 ? M + K : 0;
  uint32_t j = 0;
  for (uint32_t r = range.first; r <= range.last; ++r) {
    if (record.IsAbsent(r)) continue;
    for (uint32_t m = 0; m < M; ++m) A.SetValue(top + m, j, outputSign * copies.outputs.GetValue(r - 1, m));
    for (uint32_t k = 0; k < K; ++k) A.SetValue(top + M + k, j, -outputSign * copies.inputs.GetValue(r - 1, k));
    A.SetValue(convexityRow, j, 1.0);
    ++j;
  }
  for (uint32_t c = 0; c < extra; ++c) A.SetValue(qhat ? c : top + M + c, nref + c, 1.0);
}

void LayOutXhat(const AnalysisRecord& record, Matrix& A, WorkingCopies& copies, const ReferenceRange& range) {
  if (range.Whole())
    LayOutXhatMatrix(A, copies, range.first - 1, range.last - 1, record.Outputs, record.Inputs, XhatTop(record));
  else
    LayOutPresentColumns(record, A, copies, range, false);
}

void LayOutQhat(const AnalysisRecord& record, Matrix& A, WorkingCopies& copies, const ReferenceRange& range) {
  if (range.Whole())
    LayOutQhatMatrix(A, copies, range.first - 1, range.last - 1, record.Outputs, record.Inputs);
  else
    LayOutPresentColumns(record, A, copies, range, true);
}

// The constraint matrices depend on the reference set alone (the target
// observation enters the right-hand side, the weights the objective). When
// the reference set lies within the data and the programs fit the work
// matrix, both are laid out once per period here and copied into the work
// matrix for every program, which leaves it as a new layout would. Otherwise
// every program lays out its own, with the reports of what does not fit.
struct PeriodMatrices {
  Matrix xhat;
  Matrix qhat;
  bool valid = false;
};

// `capacity` is a work matrix of the size every worker's has.
void PreparePeriodMatrices(const AnalysisRecord& record, WorkingCopies& copies, const Matrix& capacity,
                           const ReferenceRange& range, PeriodMatrices& period) {
  const uint32_t M = record.Outputs, K = record.Inputs, NT = record.Observations;
  const uint32_t first = range.first, last = range.last;
  const uint32_t widest = NT + (M > K ? M : K);
  period.valid = M > 0 && K > 0 && first >= 1 && first <= last && last <= NT &&
                 copies.outputs.Contains(first - 1, last - 1, 0, M - 1) &&
                 copies.inputs.Contains(first - 1, last - 1, 0, K - 1) && M + K + 1 < capacity.m_MaxRows &&
                 widest < capacity.m_MaxCols;
  if (!period.valid) return;
  if (period.xhat.m_IsAllocated == 0) {
    period.xhat.Create(M + K + 2, widest + 1, 0, 0);
    period.qhat.Create(M + K + 2, widest + 1, 0, 0);
    if (period.xhat.m_IsAllocated == 0 || period.qhat.m_IsAllocated == 0) {
      period.valid = false;
      return;
    }
  }
  LayOutXhat(record, period.xhat, copies, range);
  LayOutQhat(record, period.qhat, copies, range);
}

// Copies a period's matrix into the work matrix, at its size.
void CopyPeriodMatrix(Matrix& A, Matrix& source) {
  const uint32_t rows = source.m_NumRows, cols = source.m_NumCols;
  A.ResizePacked(rows, cols);
  SetSubMatrix(A, 0, rows - 1, 0, cols - 1, source, 0, rows - 1, 0, cols - 1);
}

// A worker's aggregator weights of the program it is solving.
struct Weights {
  std::vector<double> output, input;
  WeightSources sources;  // whether they come from a failed program
};

// Whether every one of the count values is a number (not a NaN or an infinity).
bool AllNumbers(const double* values, uint32_t count) {
  for (uint32_t j = 0; j < count; ++j)
    if (!std::isfinite(values[j])) return false;
  return true;
}

// Whether the program laid out in A (rows x columns), rhs and obj holds a
// non-number only in its objective, whose weights come from a failed
// program. Such a program is not posed: its value is missing, as the distance
// behind its weights is, and that failure has been reported already. A
// program whose data hold a non-number is posed, and the solver refuses it.
bool PosedFromMissingValue(bool weightsFromMissing, Matrix& A, uint32_t rows, uint32_t columns,
                           const double* rhs, const double* obj) {
  if (!weightsFromMissing || AllNumbers(obj, columns)) return false;
  if (!AllNumbers(rhs, rows)) return false;
  for (uint32_t i = 0; i < rows; ++i) {
    for (uint32_t j = 0; j < columns; ++j)
      if (!std::isfinite(A.GetValue(i, j))) return false;
  }
  return true;
}

// The period's reference set and its laid-out matrices.
struct PeriodTechnology {
  ReferenceRange range;
  PeriodMatrices matrices;
};

// XHAT of target observation d against the period's reference set, with the
// worker's current input weights.
double DetermineXhat(const AnalysisRecord& record, LPWorkspace& workspace, const Weights& weights,
                     WorkingCopies& copies, PeriodTechnology& period, uint32_t d, const char* name, uint32_t o) {
  const uint32_t M = record.Outputs, K = record.Inputs, nref = period.range.Count();
  Matrix& A = workspace.LPMatrix;
  if (period.matrices.valid) {
    CopyPeriodMatrix(A, period.matrices.xhat);
  } else {
    LayOutXhat(record, A, copies, period.range);
  }

  const uint32_t top = XhatTop(record);
  double* rhs = workspace.LPRhs.data();
  for (uint32_t m = 0; m < M; ++m) rhs[top + m] = copies.outputs.GetValue(d - 1, m);
  for (uint32_t k = 0; k < K; ++k) rhs[top + M + k] = 0.0;
  rhs[top == 0 ? M + K : 0] = 1.0;

  const std::vector<double>& w = weights.input;
  const int scaleExponent = ObjectiveScaleExponent(w);
  double* obj = workspace.LPObjective.data();
  for (uint32_t j = 0; j < nref; ++j) obj[j] = 0.0;
  for (uint32_t k = 0; k < K; ++k) obj[nref + k] = std::ldexp(-w[k], scaleExponent);

  if (!record.Vrs) A.SetDimensions(M + K, nref + K);
  if (PosedFromMissingValue(weights.sources.inputFromMissing, A, A.m_NumRows, A.m_NumCols, rhs, obj)) return kMissing;
  const ConvexityRowKind convexity = ConvexityKind(record);
  SetProblem(A, workspace.Problem, rhs, obj, convexity.lessEqual, static_cast<int>(M + K) + convexity.greaterEqual,
             convexity.equal);
  const double optimum = SolveAndReadOptimum(record, workspace.Problem, name, o, scaleExponent);
  return Present(optimum) ? -optimum : kMissing;
}

// QHAT of target observation d against the period's reference set, with the
// worker's current output weights.
double DetermineQhat(const AnalysisRecord& record, LPWorkspace& workspace, const Weights& weights,
                     WorkingCopies& copies, PeriodTechnology& period, uint32_t d, const char* name, uint32_t o) {
  const uint32_t M = record.Outputs, K = record.Inputs, nref = period.range.Count();
  Matrix& A = workspace.LPMatrix;
  if (period.matrices.valid) {
    CopyPeriodMatrix(A, period.matrices.qhat);
  } else {
    LayOutQhat(record, A, copies, period.range);
  }

  double* rhs = workspace.LPRhs.data();
  for (uint32_t m = 0; m < M; ++m) rhs[m] = 0.0;
  for (uint32_t k = 0; k < K; ++k) rhs[M + k] = copies.inputs.GetValue(d - 1, k);
  rhs[M + K] = 1.0;

  const std::vector<double>& p = weights.output;
  const int scaleExponent = ObjectiveScaleExponent(p);
  double* obj = workspace.LPObjective.data();
  for (uint32_t j = 0; j < nref; ++j) obj[j] = 0.0;
  for (uint32_t m = 0; m < M; ++m) obj[nref + m] = std::ldexp(p[m], scaleExponent);

  if (!record.Vrs) A.SetDimensions(M + K, nref + M);
  if (PosedFromMissingValue(weights.sources.outputFromMissing, A, A.m_NumRows, A.m_NumCols, rhs, obj)) return kMissing;
  const ConvexityRowKind convexity = ConvexityKind(record);
  SetProblem(A, workspace.Problem, rhs, obj, static_cast<int>(M + K) + convexity.lessEqual, convexity.greaterEqual,
             convexity.equal);
  return SolveAndReadOptimum(record, workspace.Problem, name, o, scaleExponent);
}

// Where one side's results go: the period-t values of o or the values of
// o's comparison observation, with their first-pass scratch and labels.
struct HatSide {
  ObservationVector& qhat;
  ObservationVector& xhat;
  ObservationVector& firstPassQhat;
  ObservationVector& firstPassXhat;
  const char* qhatName;
  const char* xhatName;
};

double GeometricMeanOfPasses(double first, double second) {
  if (Present(second) && Present(first)) return std::sqrt(first * second);
  return second;
}

// Solves the XHAT and QHAT programs of target d (against the period's
// reference set) for observation o with comparison observation b, storing
// them under o; two passes and their geometric mean for Fisher and
// Hicks-Moorsteen.
void DetermineHatPair(AnalysisRecord& record, LPWorkspace& workspace, Weights& weights, WorkingCopies& copies,
                      PeriodTechnology& period, const HatSide& side, uint32_t o, uint32_t b, uint32_t d) {
  const uint32_t e = o - 1;
  weights.sources = FillAggregatorWeights(record, copies, o, b, 1, weights.output, weights.input);
  side.qhat[e] = kMissing;
  side.xhat[e] = kMissing;
  side.xhat[e] = DetermineXhat(record, workspace, weights, copies, period, d, side.xhatName, o);
  side.qhat[e] = DetermineQhat(record, workspace, weights, copies, period, d, side.qhatName, o);
  if (!IsTwoPass(record)) return;

  side.firstPassQhat[e] = side.qhat[e];
  side.firstPassXhat[e] = side.xhat[e];
  weights.sources = FillAggregatorWeights(record, copies, o, b, 2, weights.output, weights.input);
  side.xhat[e] = DetermineXhat(record, workspace, weights, copies, period, d, side.xhatName, o);
  side.qhat[e] = DetermineQhat(record, workspace, weights, copies, period, d, side.qhatName, o);
  side.qhat[e] = GeometricMeanOfPasses(side.firstPassQhat[e], side.qhat[e]);
  side.xhat[e] = GeometricMeanOfPasses(side.firstPassXhat[e], side.xhat[e]);
}

}  // namespace

void ComputeSet3(AnalysisRecord& record, WorkerPool& workers) {
  ConsolePrintf(" Computing Set 3: QHAT, XHAT \n");

  const uint32_t N = record.Firms, T = record.Periods, NT = record.Observations;
  const bool chained = record.IsChained();
  WorkingCopies copies;
  CreateWorkingCopies(record, copies);
  std::vector<Weights> weights(workers.Size(), Weights{std::vector<double>(record.Outputs, 0.0),
                                                      std::vector<double>(record.Inputs, 0.0), WeightSources{}});
  const Matrix& capacity = workers.Workspace(0).LPMatrix;
  PeriodTechnology period;
  SetProgress progress(3, static_cast<uint64_t>(NT) + (chained && NT > N ? NT - N : 0));

  // Stage 1: every observation against its own period's technology.
  const HatSide own{record.QHATt, record.XHATt, record.FirstPassQ, record.FirstPassX, "QHATt", "XHATt"};
  for (uint32_t t = 1; t <= T; ++t) {
    period.range = SetReferenceSet(record, t);
    PreparePeriodMatrices(record, copies, capacity, period.range, period.matrices);
    workers.Run(N, [&](uint32_t index, unsigned worker) {
      const uint32_t o = N * (t - 1) + index + 1;
      if (record.IsAbsent(o)) return;
      const uint32_t b = chained ? ChainedComparison(record, o) : record.Base;
      DetermineHatPair(record, workers.Workspace(worker), weights[worker], copies, period, own, o, b, o);
    }, &progress);
    if (chained && N > 0) record.Base = (t == 1) ? N : N * (t - 1);
  }

  if (chained) {
    // Stage 2: the previous-period observation against the previous period's
    // technology, with the weights of o. Period 1 is its own comparison.
    for (uint32_t e = 0; e < N && e < NT; ++e) {
      record.QHATs[e] = record.QHATt[e];
      record.XHATs[e] = record.XHATt[e];
    }
    const HatSide comparison{record.QHATs, record.XHATs, record.FirstPassQs, record.FirstPassXs, "QHATs", "XHATs"};
    for (uint32_t t = 2; t <= T; ++t) {
      period.range = SetReferenceSet(record, t - 1);
      PreparePeriodMatrices(record, copies, capacity, period.range, period.matrices);
      workers.Run(N, [&](uint32_t index, unsigned worker) {
        const uint32_t o = N * (t - 1) + index + 1;
        if (record.IsAbsent(o) || LacksComparison(record, o)) return;
        DetermineHatPair(record, workers.Workspace(worker), weights[worker], copies, period, comparison, o, o - N,
                         o - N);
      }, &progress);
      if (N > 0) record.Base = N * (t - 1);
    }
  } else if (record.IsFixedBase()) {
    // Stage 3: every observation is compared with the Base observation.
    for (uint32_t e = 0; e < NT; ++e) {
      record.QHATs[e] = record.QHATt[record.Base - 1];
      record.XHATs[e] = record.XHATt[record.Base - 1];
    }
  }

  FreeWorkingCopies(copies);
}
