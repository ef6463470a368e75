#include "lp/LPProblem.h"

#include <cmath>
#include <string>
#include <utility>

#include "core/ErrorLog.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "core/Transcript.h"
#include "lp/RescaledSolve.h"
#include "lp/Simplex.h"
#include "lp/SolutionCheck.h"

namespace {

// Error-log level of the entry for a program that stopped short (failures
// are level 0, critical entries level 2).
constexpr int kStoppedShortLogLevel = 1;

void ReportSizeError(LPProblem& problem, const std::string& what) {
  ConsolePrintf("Error : %s \n", what.c_str());
  problem.m_SizeError = 1;
}

// Solves the copy with the larger objective in the spare storage: taken, it
// becomes m_Rescaled (RowDuals and RowSlacks read the taken copy's tableau);
// not taken, m_Rescaled keeps the copy it held.
bool SolveCopyWithLargerObjective(LPProblem& problem, const double* mustExceed) {
  std::swap(problem.m_Rescaled, problem.m_RescaledSpare);
  if (SolveRescaledCopy(problem, mustExceed, PivotRule::kLargestCoefficient, kObjectiveShift)) return true;
  std::swap(problem.m_Rescaled, problem.m_RescaledSpare);
  return false;
}

}  // namespace

LPProblem::LPProblem() = default;
LPProblem::~LPProblem() = default;

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
  problem.m_PosedMatrix = &A;
  problem.m_PosedRhs = rhs;
  problem.m_PosedObjective = obj;
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
    if (!problem.m_SingleSolve) work.cycleWatch = &problem.m_CycleWatch;
    simplx(code, problem.m_Basis.data(), tableau.m_RowPtrs, static_cast<int>(m), static_cast<int>(n),
           problem.m_NumLessEqual, problem.m_NumGreaterEqual, problem.m_NumEqual, problem.m_NonBasis.data(), work);
  } else {
    code = kLPBadInput;
  }
  problem.m_StepCount = SimplexStepCount();
  problem.m_ResultCode = code;
  SolveVerdict verdict;
  verdict.code = code;
  const bool cycled = work.cycled;
  const bool stalled = work.stalled;
  if (cycled || stalled) {
    verdict.code = kLPStepLimit;  // where it would otherwise have stopped
  } else if (problem.m_Posed != 0) {
    verdict = JudgeSolve(tableau.m_RowPtrs, static_cast<int>(m), code, SimplexStepCount(), work.candidates,
                         work.numCandidates);
  }
  code = verdict.code;

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

  // An optimum whose point violates a constraint is wrong too.
  if (code == kLPOptimal && !verdict.StoppedShort() && !problem.m_SingleSolve && problem.m_Posed != 0) {
    verdict.violation =
        LargestRelativeViolation(tableau.m_RowPtrs, problem.m_Basis.data(), static_cast<int>(m), static_cast<int>(n),
                                 problem.m_NumLessEqual, problem.m_NumGreaterEqual, *problem.m_PosedMatrix,
                                 problem.m_PosedRhs, problem.m_Solution.data());
  }

  // A program the first solve got wrong is solved again on a rescaled copy;
  // entries that are not numbers (code 2) are not. A cycling or stalled
  // program, and one past the step limit (5), is solved again with the
  // lexicographic ratio test, then on the copy with the larger objective
  // (for a copy that stopped short) and, when neither is taken, with Bland's
  // rule: both cannot cycle; the first leaves degenerate vertices far sooner.
  // Each attempt lays out the copy anew, so the one taken holds m_Rescaled.
  problem.m_SecondSolve = SecondSolve::kNone;
  if (code == kLPStepLimit && !problem.m_SingleSolve && problem.m_Posed != 0) {
    if (SolveRescaledCopy(problem, nullptr, PivotRule::kLexicographic) ||
        SolveRescaledCopy(problem, nullptr, PivotRule::kLexicographic, kObjectiveShift) ||
        SolveRescaledCopy(problem, nullptr, PivotRule::kBland)) {
      problem.m_SecondSolve = SecondSolve::kAntiCyclingTaken;
      verdict = SolveVerdict();
      code = kLPOptimal;
      problem.m_ResultCode = code;
    } else {
      problem.m_SecondSolve = SecondSolve::kAntiCyclingKept;
    }
  }
  const bool wrong = verdict.StoppedShort() || verdict.Outside() || code == kLPInfeasible ||
                     code == kLPUnbounded || code == kLPNotFeasibleBasis;
  // An optimum with a reduced cost above rounding noise may sit at a
  // degenerate vertex short of the optimum, which the one-step gain cannot
  // see: it is solved again too, but its copy is taken only when it raises
  // the optimum by more than kStoppedShortGain of its size, and it counts as
  // solved again only then. A short optimum (stopped short or doubtful)
  // whose copy is not taken is solved on the copy with the larger objective
  // under the same rules; one whose copy is taken but doubtful itself is
  // solved on it too, replaced only when that raises the copy's optimum by
  // more than kStoppedShortGain of its size.
  const bool doubtful = !wrong && code == kLPOptimal && verdict.improvable;
  if ((wrong || doubtful) && !problem.m_SingleSolve && problem.m_Posed != 0) {
    const double firstOptimum = problem.Objective();
    const double* mustExceed = doubtful ? &firstOptimum : nullptr;
    const bool shortOptimum = doubtful || verdict.StoppedShort();
    bool copyImprovable = false;
    bool taken = SolveRescaledCopy(problem, mustExceed, PivotRule::kLargestCoefficient, 0, &copyImprovable);
    if (taken && copyImprovable && shortOptimum) {
      const double copyOptimum = problem.Objective();
      SolveCopyWithLargerObjective(problem, &copyOptimum);
    } else if (!taken && shortOptimum) {
      taken = SolveCopyWithLargerObjective(problem, mustExceed);
    }
    if (taken) {
      problem.m_SecondSolve = SecondSolve::kTaken;
      verdict = SolveVerdict();
      code = kLPOptimal;
      problem.m_ResultCode = code;
    } else if (wrong) {
      problem.m_SecondSolve = SecondSolve::kKept;
    }
  }

  const bool answeredUnbounded = code == kLPUnbounded && problem.m_UnboundedIsAnswer;
  if (code != kLPOptimal && !answeredUnbounded) {
    const std::string message =
        problem.m_SolveCalled > 0
            ? FormatText("   Error: problem not solved; code = %d (SOLVE CALLED MORE THEN ONCE) ", code)
            : FormatText(" LP error: code = %d ", code);
    ConsolePrintf("%s\n", message.c_str());
    if (problem.m_ErrorLog != nullptr) problem.m_ErrorLog->AddEntry(0, message.c_str());
  }
  // A program still stopped short, or still ending outside the feasible
  // region, after its second solve gets an entry of its own and counts as
  // stopped short; with m_SingleSolve the log and the tally stay as earlier
  // versions had them.
  const bool outside = !problem.m_SingleSolve && verdict.Outside();
  const bool stoppedShort = verdict.StoppedShort() || outside;
  if (stoppedShort && !problem.m_SingleSolve && problem.m_ErrorLog != nullptr) {
    const std::string message =
        outside ? FormatText(" LP stopped short: its end point violates a constraint by about %.2g of its size ",
                             verdict.violation)
        : std::isfinite(verdict.gain)
            ? FormatText(" LP stopped short: optimum short by about %.2g of its value ", verdict.gain)
            : std::string(" LP stopped short: an improving direction without limit was left ");
    problem.m_ErrorLog->AddEntry(kStoppedShortLogLevel, message.c_str());
  }
  NoteProgram(problem.m_ErrorLog != nullptr ? problem.m_ErrorLog->Context() : "",
              answeredUnbounded ? kLPOptimal : code, stoppedShort, verdict.gain, problem.m_SecondSolve, cycled, stalled);
  problem.m_SolveCalled = 1;
  return code;
}

void RowDuals(const LPProblem& problem, uint32_t count, double* dest) {
  for (uint32_t i = 0; i < count; ++i) dest[i] = 0.0;
  const uint32_t n = problem.m_NumVariables;
  const bool fromCopy = (problem.m_SecondSolve == SecondSolve::kTaken ||
                         problem.m_SecondSolve == SecondSolve::kAntiCyclingTaken) &&
                        problem.m_Rescaled;
  const Matrix& tableau = fromCopy ? problem.m_Rescaled->tableau : problem.m_Tableau;
  const std::vector<int>& nonBasis = fromCopy ? problem.m_Rescaled->nonBasis : problem.m_NonBasis;
  const double* objectiveRow = tableau.Row(1);
  for (uint32_t k = 1; k <= n; ++k) {
    const int variable = nonBasis[k];
    if (variable <= static_cast<int>(n) || variable > static_cast<int>(n + count)) continue;
    const uint32_t row = static_cast<uint32_t>(variable) - n;
    const double dual = -objectiveRow[k + 1];
    dest[row - 1] = fromCopy ? std::ldexp(dual, problem.m_Rescaled->objectiveExponent +
                                                    problem.m_Rescaled->rowExponent[row])
                             : dual;
  }
}

void RowSlacks(const LPProblem& problem, uint32_t count, double* dest) {
  for (uint32_t i = 0; i < count; ++i) dest[i] = 0.0;
  const uint32_t n = problem.m_NumVariables;
  const uint32_t m = problem.m_NumConstraints;
  const bool fromCopy = (problem.m_SecondSolve == SecondSolve::kTaken ||
                         problem.m_SecondSolve == SecondSolve::kAntiCyclingTaken) &&
                        problem.m_Rescaled;
  const Matrix& tableau = fromCopy ? problem.m_Rescaled->tableau : problem.m_Tableau;
  const std::vector<int>& basis = fromCopy ? problem.m_Rescaled->basis : problem.m_Basis;
  for (uint32_t i = 1; i <= m; ++i) {
    const int variable = basis[i];
    if (variable <= static_cast<int>(n) || variable > static_cast<int>(n + count)) continue;
    const uint32_t row = static_cast<uint32_t>(variable) - n;
    const double value = tableau.Row(i + 1)[1];
    dest[row - 1] = fromCopy ? std::ldexp(value, -problem.m_Rescaled->rowExponent[row]) : value;
  }
}
