#include "measures/MultiplierProgram.h"

#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "lp/LPProblem.h"
#include "lp/Matrix.h"
#include "lp/Workspace.h"

namespace {

// What ResetMatrix's zero becomes under MultScalar(-1.0).
constexpr double kNegatedZero = -0.0;

// Lays out the reference rows 0..J-1 in a fresh J+1-row matrix: inputs
// negated first, then the outputs copied over the negated zeros of their
// columns, then the intercept pair; row J is left at the negated zero. The
// matrix is packed (rows of M + K + 2 values back to back), so a program of a
// few thousand rows lies in one small block. Returns true when every step
// stayed within the matrices (nothing was reported).
bool LayOutReferenceRows(Matrix& A, Matrix& outputs, Matrix& inputs, ReferenceRange range, uint32_t M,
                         uint32_t K, double interceptCoefficient) {
  const uint32_t J = range.Count();
  const bool laidOut = A.ResetMatrixPacked(J + 1, M + K + 2) == 0;
  if (J > 0) SetSubMatrix(A, 0, J - 1, M, M + K - 1, inputs, range.first - 1, range.last - 1, 0, K - 1);
  A.MultScalar(-1.0);
  if (J > 0) SetSubMatrix(A, 0, J - 1, 0, M - 1, outputs, range.first - 1, range.last - 1, 0, M - 1);
  if (laidOut) {
    for (uint32_t r = 0; r < J; ++r) {
      double* row = A.Row(r);
      row[M + K] = interceptCoefficient;
      row[M + K + 1] = -interceptCoefficient;
    }
  } else {
    for (uint32_t r = 0; r < J; ++r) {
      A.SetValue(r, M + K, interceptCoefficient);
      A.SetValue(r, M + K + 1, -interceptCoefficient);
    }
  }
  return laidOut && J > 0 && M > 0 && K > 0 && range.first >= 1 &&
         outputs.Contains(range.first - 1, range.last - 1, 0, M - 1) &&
         inputs.Contains(range.first - 1, range.last - 1, 0, K - 1);
}

// The coefficient of column M+K in the reference rows, and minus its
// objective entry: -1, so that column M+K is w1 and M+K+1 is w2 of
// w = w1 - w2, except under non-decreasing returns to scale, where column
// M+K is w2 (+1) and the bounded solve drops column M+K+1, leaving w <= 0.
double InterceptCoefficient(const AnalysisRecord& record) {
  return record.Vrs != 0 && record.ScaleBound == kNonDecreasing ? 1.0 : -1.0;
}

// The same rows for a reference range with absent observations: row j holds
// the j-th present observation, written one value at a time, and row J the
// negated zero. Returns true when the matrix took the program's size.
bool LayOutPresentRows(const AnalysisRecord& record, Matrix& A, Matrix& outputs, Matrix& inputs,
                       ReferenceRange range, uint32_t M, uint32_t K, double interceptCoefficient) {
  const uint32_t J = range.Count();
  const bool laidOut = A.ResetMatrixPacked(J + 1, M + K + 2) == 0;
  uint32_t j = 0;
  for (uint32_t r = range.first; r <= range.last; ++r) {
    if (record.IsAbsent(r)) continue;
    for (uint32_t m = 0; m < M; ++m) A.SetValue(j, m, outputs.GetValue(r - 1, m));
    for (uint32_t k = 0; k < K; ++k) A.SetValue(j, M + k, -inputs.GetValue(r - 1, k));
    A.SetValue(j, M + K, interceptCoefficient);
    A.SetValue(j, M + K + 1, -interceptCoefficient);
    ++j;
  }
  for (uint32_t c = 0; c < M + K + 2; ++c) A.SetValue(J, c, kNegatedZero);
  return laidOut;
}

}  // namespace

void BuildMultiplierProgram(const AnalysisRecord& record, LPWorkspace& workspace, Matrix& outputs, Matrix& inputs, ReferenceRange range,
                            Orientation orientation, const double* normalisation, const double* objectiveQuantities,
                            ReferenceRowsInPlace* inPlace) {
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  const uint32_t J = range.Count();
  Matrix& A = workspace.LPMatrix;

  if (inPlace != nullptr && inPlace->valid && inPlace->range.first == range.first &&
      inPlace->range.last == range.last) {
    // Rows 0..J-1 hold what a new layout would write again. Back to the full
    // width after a cut (SetDimensions moves no element), and row J as the
    // layout leaves it.
    A.SetDimensions(J + 1, M + K + 2);
    double* row = A.Row(J);
    for (uint32_t c = 0; c < M + K + 2; ++c) row[c] = kNegatedZero;
  } else {
    const bool clean =
        range.Whole() ? LayOutReferenceRows(A, outputs, inputs, range, M, K, InterceptCoefficient(record))
                      : LayOutPresentRows(record, A, outputs, inputs, range, M, K, InterceptCoefficient(record));
    if (inPlace != nullptr) {
      inPlace->valid = clean;
      inPlace->range = range;
    }
  }

  // Normalisation row J and the objective.
  double* obj = workspace.LPObjective.data();
  if (orientation == Orientation::kOutput) {
    for (uint32_t m = 0; m < M; ++m) A.SetValue(J, m, normalisation[m]);
    for (uint32_t m = 0; m < M; ++m) obj[m] = 0.0;
    for (uint32_t k = 0; k < K; ++k) obj[M + k] = -objectiveQuantities[k];
  } else {
    for (uint32_t k = 0; k < K; ++k) A.SetValue(J, M + k, normalisation[k]);
    for (uint32_t m = 0; m < M; ++m) obj[m] = objectiveQuantities[m];
    for (uint32_t k = 0; k < K; ++k) obj[M + k] = 0.0;
  }
  const double intercept = InterceptCoefficient(record);
  obj[M + K] = intercept;
  obj[M + K + 1] = -intercept;

  double* rhs = workspace.LPRhs.data();
  for (uint32_t r = 0; r < J; ++r) rhs[r] = 0.0;
  rhs[J] = 1.0;
}

double SolveMultiplierProgram(const AnalysisRecord& record, LPWorkspace& workspace, ReferenceRange range,
                              Orientation orientation, bool withoutIntercept) {
  const uint32_t J = range.Count();
  if (withoutIntercept) {
    workspace.LPMatrix.SetDimensions(J + 1, record.Outputs + record.Inputs);
  } else if (record.ScaleBound != kFreeScale) {
    // One sign for the intercept: only column M+K stays.
    workspace.LPMatrix.SetDimensions(J + 1, record.Outputs + record.Inputs + 1);
  }
  SetProblem(workspace.LPMatrix, workspace.Problem, workspace.LPRhs.data(), workspace.LPObjective.data(), static_cast<int>(J),
             0, 1);
  Solve(workspace.Problem);
  // The objective value is read only after a successful solve.
  if (workspace.Problem.m_ResultCode != 0) return kMissing;
  const double z = workspace.Problem.Objective();
  if (z == kMissing) return kMissing;
  return orientation == Orientation::kOutput ? -1.0 / z : 1.0 / z;
}

double InterceptOf(const AnalysisRecord& record, const double* solution) {
  const uint32_t c = record.Outputs + record.Inputs;
  if (record.Vrs == 0) return 0.0;
  if (record.ScaleBound == kNonIncreasing) return solution[c];
  if (record.ScaleBound == kNonDecreasing) return -solution[c];
  return solution[c] - solution[c + 1];
}

void LabelProgram(const AnalysisRecord& record, const char* format, int observation) {
  if (record.Log == nullptr) return;
  record.Log->SetContext(format, observation);
}

void ReadObservationRow(Matrix& copy, uint32_t observation, uint32_t count, double* dest) {
  for (uint32_t j = 0; j < count; ++j) dest[j] = copy.GetValue(observation - 1, j);
}

double WeightedSum(const double* a, const double* b, uint32_t count) {
  double sum = 0.0;
  for (uint32_t j = 0; j < count; ++j) sum = sum + a[j] * b[j];
  return sum;
}
