#include "lp/LPProblem.h"

#include <cmath>
#include <string>

#include "core/ErrorLog.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "core/Transcript.h"
#include "lp/Simplex.h"
#include "lp/SolutionCheck.h"

namespace {

// A basic value below -kBasisFeasibilityTolerance x (1 + largest |basic value|)
// marks the end basis as infeasible: the ratio test can pass over a binding
// row whose entry lies inside kSimplexTolerance when the data come in large
// units. Well-scaled problems end far inside this bound.
constexpr double kBasisFeasibilityTolerance = 1e-9;

// Checks the basic values in tableau column 1, rows 2..m+1.
bool BasisIsFeasible(const Matrix& tableau, uint32_t m) {
  if (m == 0) return true;
  double smallest = tableau.Row(2)[1];
  double largest = std::fabs(smallest);
  for (uint32_t i = 2; i <= m; ++i) {
    const double value = tableau.Row(i + 1)[1];
    if (value < smallest) smallest = value;
    if (std::fabs(value) > largest) largest = std::fabs(value);
  }
  return !(smallest < -kBasisFeasibilityTolerance * (1.0 + largest));
}

void ReportSizeError(LPProblem& problem, const std::string& what) {
  ConsolePrintf("Error : %s \n", what.c_str());
  problem.m_SizeError = 1;
}

}  // namespace

void LPProblem::Create(uint32_t maxConstraints, uint32_t maxVariables, bool wholeTableau) {
  m_SizeError = 0;
  m_ResultCode = 0;
  if (wholeTableau) {
    m_Tableau.Create(maxConstraints, maxVariables, 0, 0);
  } else {
    m_Tableau.CreateReserved(maxConstraints, maxVariables, 0, 0);
  }
  m_MaxVariables = maxVariables;
  m_MaxConstraints = maxConstraints;
  const std::size_t lists = static_cast<std::size_t>(maxConstraints) + maxVariables + 2;
  m_Solution.assign(lists - 1, 0.0);
  m_Basis.assign(lists, 0);
  m_NonBasis.assign(lists, 0);
  // The solver's work lists, indexed from 1, for the largest problem that fits.
  m_Candidates.assign(static_cast<std::size_t>(maxVariables) + 1, 0);
  m_RowList.assign(static_cast<std::size_t>(maxConstraints) + 1, 0);
  m_SurplusFlags.assign(static_cast<std::size_t>(maxConstraints) + 1, 0);
  if (m_Tableau.m_IsAllocated == 0) ReportSizeError(*this, "LPProblem::Create: tableau storage not obtained");
  m_NumConstraints = 0;
  m_NumVariables = 0;
  m_Posed = 0;
}

void SetProblem(Matrix& A, LPProblem& problem, const double* rhs, const double* obj, int m1, int m2, int m3) {
  problem.m_SolveCalled = 0;
  const uint32_t m = A.m_NumRows;
  const uint32_t n = A.m_NumCols;
  Matrix& tableau = problem.m_Tableau;
  if (m < problem.m_MaxConstraints && n < problem.m_MaxVariables) {
    problem.m_NumConstraints = m;
    problem.m_NumVariables = n;
    // The tableau needs m+2 rows and n+2 columns below its capacity; the
    // solver's auxiliary row m+2 lies just past the current size. Its rows
    // are packed (stride n+2), so the solver's passes down a column stay
    // within a small block whatever the capacity.
    problem.m_Posed = tableau.ResizePacked(m + 2, n + 2) == 0 ? 1 : 0;
    if (problem.m_Posed == 0) problem.m_SizeError = 1;
  } else {
    ReportSizeError(problem, FormatText("SetProblem: %u constraints x %u variables exceed the capacity %u x %u", m,
                                        n, problem.m_MaxConstraints, problem.m_MaxVariables));
    problem.m_Posed = 0;
  }
  if (problem.m_Posed != 0) {
    // Every element of the (m+2) x (n+2) tableau is written once: zeros in
    // row 0, column 0 and at (1, 1), the objective, the right-hand sides and
    // -A. A's indices are within its current size by construction.
    double* zeroRow = tableau.Row(0);
    for (uint32_t j = 0; j <= n + 1; ++j) zeroRow[j] = 0.0;
    double* objectiveRow = tableau.Row(1);
    objectiveRow[0] = 0.0;
    objectiveRow[1] = 0.0;
    for (uint32_t j = 1; j <= n; ++j) objectiveRow[j + 1] = obj[j - 1];
    for (uint32_t i = 1; i <= m; ++i) {
      double* row = tableau.Row(i + 1);
      const double* coefficients = A.Row(i - 1);
      row[0] = 0.0;
      row[1] = rhs[i - 1];
      for (uint32_t j = 1; j <= n; ++j) row[j + 1] = -coefficients[j - 1];
    }
  } else {
    // A refused problem: the tableau keeps its size and the tested writes
    // report what does not fit.
    for (uint32_t i = 1; i <= m; ++i) tableau.SetValue(i + 1, 1, rhs[i - 1]);
    for (uint32_t j = 1; j <= n; ++j) tableau.SetValue(1, j + 1, obj[j - 1]);
    for (uint32_t i = 1; i <= m; ++i) {
      for (uint32_t j = 1; j <= n; ++j) tableau.SetValue(i + 1, j + 1, -A.GetValue(i - 1, j - 1));
    }
  }
  problem.m_NumLessEqual = m1;
  problem.m_NumGreaterEqual = m2;
  problem.m_NumEqual = m3;
}

int Solve(LPProblem& problem) {
  // A cancelled library call solves nothing more; its programs' output is
  // never handed over.
  if (CancelRequested()) {
    problem.m_ResultCode = kLPCancelled;
    return kLPCancelled;
  }
  problem.m_ResultCode = kLPOptimal;
  problem.m_StepCount = 0;
  int code = kLPOptimal;
  SimplexStepCount() = 0;
  const uint32_t m = problem.m_NumConstraints;
  const uint32_t n = problem.m_NumVariables;
  Matrix& tableau = problem.m_Tableau;
  SimplexWorkLists work;

  if (problem.m_Posed != 0) {
    work.candidates = problem.m_Candidates.data();
    work.rows = problem.m_RowList.data();
    work.surplusFlags = problem.m_SurplusFlags.data();
    simplx(code, problem.m_Basis.data(), tableau.m_RowPtrs, static_cast<int>(m), static_cast<int>(n),
           problem.m_NumLessEqual, problem.m_NumGreaterEqual, problem.m_NumEqual, problem.m_NonBasis.data(), work);
  } else {
    code = kLPBadInput;
  }
  problem.m_StepCount = SimplexStepCount();
  problem.m_ResultCode = code;

  if (SimplexStepCount() > kSimplexStepLimit) {
    code = kLPStepLimit;
  } else if (code == kLPOptimal && !BasisIsFeasible(tableau, m)) {
    code = kLPNotFeasibleBasis;
  }
  // An optimal program may still have an improving step the tolerance let
  // pass; it keeps its values and is only counted.
  const double gain = code == kLPOptimal && problem.m_Posed != 0
                          ? LargestRelativeGain(tableau.m_RowPtrs, static_cast<int>(m), work.candidates,
                                                work.numCandidates)
                          : 0.0;

  // x_j is the value of the row whose basis entry names j (the later row if
  // two do); a nonbasic decision variable is 0.
  for (uint32_t j = 1; j <= n; ++j) problem.m_Solution[j - 1] = 0.0;
  if (problem.m_Posed != 0) {
    for (uint32_t i = 1; i <= m; ++i) {
      const int j = problem.m_Basis[i];
      if (j >= 1 && static_cast<uint32_t>(j) <= n) problem.m_Solution[j - 1] = tableau.Row(i + 1)[1];
    }
  }
  problem.m_ResultCode = code;

  if (code != kLPOptimal) {
    const std::string message =
        problem.m_SolveCalled > 0
            ? FormatText("   Error: problem not solved; code = %d (SOLVE CALLED MORE THEN ONCE) ", code)
            : FormatText(" LP error: code = %d ", code);
    ConsolePrintf("%s\n", message.c_str());
    if (problem.m_ErrorLog != nullptr) problem.m_ErrorLog->AddEntry(0, message.c_str());
  }
  NoteProgram(problem.m_ErrorLog != nullptr ? problem.m_ErrorLog->Context() : "", code, gain > kStoppedShortGain,
              gain);
  problem.m_SolveCalled = 1;
  return code;
}
