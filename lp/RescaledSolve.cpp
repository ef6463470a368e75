#include "lp/RescaledSolve.h"

#include <cmath>
#include <memory>

#include "lp/LPProblem.h"
#include "lp/Simplex.h"
#include "lp/SolutionCheck.h"

namespace {

// The frexp exponent of |v|: |v| = f x 2^E with f in [0.5, 1).
int ExponentOf(double v) {
  int exponent = 0;
  std::frexp(v, &exponent);
  return exponent;
}

// floor((E + e) / 2), rounded towards minus infinity.
int HalfFloor(int sum) { return sum >= 0 ? sum / 2 : -((1 - sum) / 2); }

// The range of exponents of the nonzero coefficients met so far.
struct ExponentRange {
  bool any = false;
  int largest = 0;
  int smallest = 0;
  void Add(double v) {
    if (v == 0.0) return;
    const int e = ExponentOf(v);
    if (!any) {
      any = true;
      largest = smallest = e;
    } else {
      largest = e > largest ? e : largest;
      smallest = e < smallest ? e : smallest;
    }
  }
};

// The tableau of the copy: row 1 the objective (columns 2..n+1), rows
// 2..m+1 the right-hand side in column 1 and -A in columns 2..n+1. Scaling
// -a_ij by a power of two is scaling a_ij, so the rules apply to the tableau
// entries as they stand.
class ScaledTableau {
 public:
  ScaledTableau(double** a, int m, int n) : a_(a), m_(m), n_(n) {}

  ExponentRange RowRange(int i) const {
    ExponentRange range;
    for (int j = 1; j <= n_; ++j) range.Add(a_[i + 1][j + 1]);
    return range;
  }
  ExponentRange ColumnRange(int j) const {
    ExponentRange range;
    for (int i = 1; i <= m_; ++i) range.Add(a_[i + 1][j + 1]);
    return range;
  }
  // Row i with its right-hand side.
  void ScaleRow(int i, int exponent) {
    if (exponent == 0) return;
    double* row = a_[i + 1];
    for (int k = 1; k <= n_ + 1; ++k) row[k] = std::ldexp(row[k], exponent);
  }
  // Column j with its objective coefficient.
  void ScaleColumn(int j, int exponent) {
    if (exponent == 0) return;
    for (int i = 0; i <= m_; ++i) a_[i + 1][j + 1] = std::ldexp(a_[i + 1][j + 1], exponent);
  }

 private:
  double** a_;
  int m_;
  int n_;
};

}  // namespace

void LayOutRescaledCopy(const LPProblem& problem, RescaledCopy& copy, int objectiveShift) {
  const uint32_t m = problem.m_NumConstraints;
  const uint32_t n = problem.m_NumVariables;
  Matrix& tableau = copy.tableau;
  if (tableau.m_IsAllocated == 0) tableau.CreateReserved(problem.m_MaxConstraints, problem.m_MaxVariables, m + 2, n + 2);
  copy.laidOut = tableau.ResizePacked(m + 2, n + 2) == 0;
  copy.columnExponent.assign(static_cast<std::size_t>(n) + 1, 0);
  copy.rowExponent.assign(static_cast<std::size_t>(m) + 1, 0);
  copy.objectiveExponent = 0;
  if (!copy.laidOut) return;

  // The program as SetProblem laid it out.
  double** a = tableau.m_RowPtrs;
  for (uint32_t j = 0; j <= n + 1; ++j) a[0][j] = 0.0;
  a[1][0] = 0.0;
  a[1][1] = 0.0;
  for (uint32_t j = 1; j <= n; ++j) a[1][j + 1] = problem.m_PosedObjective[j - 1];
  for (uint32_t i = 1; i <= m; ++i) {
    const double* coefficients = problem.m_PosedMatrix->Row(i - 1);
    double* row = a[i + 1];
    row[0] = 0.0;
    row[1] = problem.m_PosedRhs[i - 1];
    for (uint32_t j = 1; j <= n; ++j) row[j + 1] = -coefficients[j - 1];
  }

  ScaledTableau scaled(a, static_cast<int>(m), static_cast<int>(n));
  const int rows = static_cast<int>(m), cols = static_cast<int>(n);
  // Two rounds of geometric scaling, rows then columns.
  for (int round = 0; round < 2; ++round) {
    for (int i = 1; i <= rows; ++i) {
      const ExponentRange range = scaled.RowRange(i);
      if (!range.any) continue;
      const int exponent = -HalfFloor(range.largest + range.smallest);
      scaled.ScaleRow(i, exponent);
      copy.rowExponent[i] += exponent;
    }
    for (int j = 1; j <= cols; ++j) {
      const ExponentRange range = scaled.ColumnRange(j);
      if (!range.any) continue;
      const int exponent = -HalfFloor(range.largest + range.smallest);
      scaled.ScaleColumn(j, exponent);
      copy.columnExponent[j] += exponent;
    }
  }
  // Equilibration: the largest |coefficient| of every row, then of every
  // column, into [0.5, 1).
  for (int i = 1; i <= rows; ++i) {
    const ExponentRange range = scaled.RowRange(i);
    if (!range.any) continue;
    scaled.ScaleRow(i, -range.largest);
    copy.rowExponent[i] += -range.largest;
  }
  for (int j = 1; j <= cols; ++j) {
    const ExponentRange range = scaled.ColumnRange(j);
    if (!range.any) continue;
    scaled.ScaleColumn(j, -range.largest);
    copy.columnExponent[j] += -range.largest;
  }
  // The objective's largest |coefficient| into [0.5, 1), times 2^objectiveShift.
  ExponentRange objective;
  for (int j = 1; j <= cols; ++j) objective.Add(a[1][j + 1]);
  copy.objectiveExponent = objective.any ? objective.largest - objectiveShift : -objectiveShift;
  if (copy.objectiveExponent != 0) {
    for (int j = 1; j <= cols; ++j) a[1][j + 1] = std::ldexp(a[1][j + 1], -copy.objectiveExponent);
  }
}

bool SolveRescaledCopy(LPProblem& problem, const double* mustExceed, PivotRule rule, int objectiveShift,
                       bool* improvable) {
  if (problem.m_PosedMatrix == nullptr || problem.m_PosedRhs == nullptr || problem.m_PosedObjective == nullptr)
    return false;
  if (!problem.m_Rescaled) problem.m_Rescaled = std::make_unique<RescaledCopy>();
  RescaledCopy& copy = *problem.m_Rescaled;
  LayOutRescaledCopy(problem, copy, objectiveShift);
  if (!copy.laidOut) return false;

  const uint32_t m = problem.m_NumConstraints;
  const uint32_t n = problem.m_NumVariables;
  copy.basis.resize(problem.m_Basis.size());
  copy.nonBasis.resize(problem.m_NonBasis.size());
  SimplexWorkLists work;
  work.candidates = problem.m_Candidates.data();
  work.rows = problem.m_RowList.data();
  work.surplusFlags = problem.m_SurplusFlags.data();
  work.rule = rule;
  int code = kLPOptimal;
  double** a = copy.tableau.m_RowPtrs;
  simplx(code, copy.basis.data(), a, static_cast<int>(m), static_cast<int>(n), problem.m_NumLessEqual,
         problem.m_NumGreaterEqual, problem.m_NumEqual, copy.nonBasis.data(), work);
  const SolveVerdict verdict =
      JudgeSolve(a, static_cast<int>(m), code, SimplexStepCount(), work.candidates, work.numCandidates);
  if (verdict.code != kLPOptimal || verdict.StoppedShort()) return false;
  if (improvable != nullptr) *improvable = verdict.improvable;

  // The copy's solution, unscaled; its point must satisfy the program as posed.
  copy.solution.assign(n, 0.0);
  for (uint32_t i = 1; i <= m; ++i) {
    const int j = copy.basis[i];
    if (j >= 1 && static_cast<uint32_t>(j) <= n) copy.solution[j - 1] = std::ldexp(a[i + 1][1], copy.columnExponent[j]);
  }
  const double violation = LargestRelativeViolation(a, copy.basis.data(), static_cast<int>(m), static_cast<int>(n),
                                                    problem.m_NumLessEqual, problem.m_NumGreaterEqual,
                                                    *problem.m_PosedMatrix, problem.m_PosedRhs, copy.solution.data());
  if (violation > kViolationLimit) return false;
  const double optimum = std::ldexp(a[1][1], copy.objectiveExponent);
  if (mustExceed != nullptr) {
    const double size = *mustExceed != 0.0 ? std::fabs(*mustExceed) : 1.0;
    if (!(optimum - *mustExceed > kStoppedShortGain * size)) return false;
  }

  // Solved right: the copy's result, unscaled, becomes the program's.
  problem.m_Tableau.Row(1)[1] = optimum;
  for (uint32_t j = 1; j <= n; ++j) problem.m_Solution[j - 1] = copy.solution[j - 1];
  for (uint32_t i = 1; i <= m; ++i) problem.m_Basis[i] = copy.basis[i];
  for (uint32_t k = 1; k <= n; ++k) problem.m_NonBasis[k] = copy.nonBasis[k];
  return true;
}
