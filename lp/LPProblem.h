#pragma once
// The object through which the computation sets pose and solve their linear
// programs. Every problem is a maximisation:
//
//   maximise obj . x  subject to  A x <= rhs (first m1 rows),
//                                 A x >= rhs (next m2 rows),
//                                 A x  = rhs (last m3 rows),   x >= 0, rhs >= 0.
//
// SetProblem lays A, rhs and obj into the tableau (row 1 the objective,
// column 1 the right-hand sides, the body -A); Solve runs simplx on it, reads
// the solution back and reports every failure on the console and in the
// error log under the label the caller set.
//
// A program the first solve gets wrong (optimal but stopped short of its
// optimum or at a point that violates a constraint, or "infeasible",
// "unbounded" or an infeasible end basis) is
// solved again on a copy scaled by powers of two (lp/RescaledSolve.h) unless
// m_SingleSolve is set; when the copy is solved right its result is the
// program's, otherwise the first solve's stands. A first solve that comes back
// to a basis it has had (it would turn in that cycle until the step limit),
// or that stalls in a long run of degenerate steps (lp/Simplex.h), is stopped
// there; such a program, and one that passed the step limit, is solved again
// on the copy with Bland's rule, taken under the same checks. One whose copy
// fails too reports the step limit's code, 5.

#include <cstdint>
#include <memory>
#include <vector>

#include "core/Transcript.h"  // SecondSolve
#include "lp/Matrix.h"
#include "lp/Simplex.h"  // LPResultCode

class ErrorLog;
struct RescaledCopy;

class LPProblem {
 public:
  LPProblem();
  ~LPProblem();
  LPProblem(const LPProblem&) = delete;
  LPProblem& operator=(const LPProblem&) = delete;

  // Obtains all storage for problems of up to maxConstraints - 1 rows and
  // maxVariables - 1 columns. With wholeTableau false the tableau has that
  // capacity but storage only for what Reserve asks (and what a posed
  // problem needs beyond it).
  void Create(uint32_t maxConstraints, uint32_t maxVariables, bool wholeTableau = true);
  // Tableau storage for problems of up to constraints x variables.
  void Reserve(uint32_t constraints, uint32_t variables) { m_Tableau.Reserve(constraints + 2, variables + 2); }

  // Optimal objective value, tableau entry (1, 1). After a solve taken from
  // the rescaled copy, (1, 1) holds the copy's optimum unscaled; the rest of
  // the tableau is the first solve's.
  double Objective() const { return m_Tableau.Row(1)[1]; }

  std::vector<int> m_Basis;
  std::vector<int> m_NonBasis;
  int m_SolveCalled = 0;
  ErrorLog* m_ErrorLog = nullptr;
  uint32_t m_NumConstraints = 0;
  uint32_t m_NumVariables = 0;
  uint32_t m_MaxConstraints = 0;
  uint32_t m_MaxVariables = 0;
  Matrix m_Tableau;
  std::vector<double> m_Solution;
  int m_NumLessEqual = 0;
  int m_NumGreaterEqual = 0;
  int m_NumEqual = 0;
  int m_ResultCode = 0;
  uint32_t m_StepCount = 0;  // of the first solve
  int m_SizeError = 0;

  // 1 when the last SetProblem laid its problem into the tableau; a refused
  // problem is not solved (Solve reports kLPBadInput).
  int m_Posed = 0;

  // Work lists of the simplex solver, sized once from the capacity.
  std::vector<int> m_Candidates;
  std::vector<int> m_RowList;
  std::vector<int> m_SurplusFlags;

  // True: no second solve, so every program gives what earlier versions
  // gave (the --single-solve option). Set once per run by the creator.
  bool m_SingleSolve = false;
  // True while the caller poses programs whose data may leave them without
  // a bounded optimum (a multiplier program whose observation lies outside
  // the technology it is measured against): a program still unbounded after
  // its second solve is then an answer, not a failure. It prints no line,
  // writes no error-log entry and counts as solved; its code stays
  // kLPUnbounded for the caller.
  bool m_UnboundedIsAnswer = false;
  // The program as SetProblem was given it, read again by a second solve:
  // A, rhs and obj must stay unchanged until Solve returns.
  const Matrix* m_PosedMatrix = nullptr;
  const double* m_PosedRhs = nullptr;
  const double* m_PosedObjective = nullptr;
  // What the last Solve did beyond the first solve.
  SecondSolve m_SecondSolve = SecondSolve::kNone;
  // Work objects of the second solve; obtained when a program first needs them.
  std::unique_ptr<RescaledCopy> m_Rescaled;
  // Storage of the copy with the larger objective, swapped with m_Rescaled
  // when that copy is taken, so that m_Rescaled always holds the copy whose
  // result the program took.
  std::unique_ptr<RescaledCopy> m_RescaledSpare;
  // Watches every first solve for a return to an earlier basis and for a
  // stall (not with m_SingleSolve).
  CycleWatch m_CycleWatch;
};

// Lays the problem into the tableau; A's current size gives m and n.
void SetProblem(Matrix& A, LPProblem& problem, const double* rhs, const double* obj, int m1, int m2, int m3);

// Solves the posed problem; returns the result code (0 optimal).
int Solve(LPProblem& problem);

// After an optimal Solve: the dual values of the less-or-equal rows 1..count
// into dest[0..count-1], read from the final tableau without changing it.
// Row i's slack is variable n+i; at the optimum the objective row holds its
// reduced cost d when it is nonbasic, and the row's dual value is -d (the
// gain of the optimum per unit more right-hand side); a basic slack gives 0.
// After a solve taken from the rescaled copy the copy's tableau is read and
// each value unscaled exactly (lp/RescaledSolve.h). Visible for testing too.
void RowDuals(const LPProblem& problem, uint32_t count, double* dest);

// After an optimal Solve: the value of the slack of each less-or-equal row
// 1..count at the end basis into dest[0..count-1] (0 for a nonbasic slack:
// the row holds with equality), read as RowDuals reads, unscaled exactly
// from the rescaled copy.
void RowSlacks(const LPProblem& problem, uint32_t count, double* dest);
