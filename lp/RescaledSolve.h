#pragma once
// The second solve of a program the first solve got wrong, on a copy scaled
// by powers of two.
//
// The simplex tolerance is absolute (1e-5). A program whose coefficients
// span many orders of magnitude (a few giant firms beside many small ones)
// can hide an improving step or its whole feasible region inside it: the
// first solve then stops short of the optimum, ends at a point that violates
// a row of tiny coefficients, or reports "infeasible", "unbounded" or a basis
// with a negative value. Scaled so that every row and
// column has entries near 1, the same program is solved by the same simplex.
//
// The copy is built from the program as posed (A: the m x n coefficients
// with its rows grouped <=, >=, =; r the right-hand sides; o the objective),
// every factor 2 to an integer power applied with ldexp, so that scaling and
// unscaling are exact. "The exponent of v" is the frexp exponent of |v|
// (|v| = f x 2^E, f in [0.5, 1)).
//   1. Two rounds of geometric scaling. In each round first every row i: with
//      E and e the exponents of its largest and smallest nonzero |a_ij|, row i
//      and r_i are multiplied by 2^-floor((E + e) / 2) (floor towards minus
//      infinity; a row without a nonzero coefficient keeps factor 1); then
//      every column j likewise over its nonzero coefficients, column j and
//      o_j multiplied by the factor, which column j's kept exponent adds up.
//   2. Equilibration: every row i, and r_i, multiplied by 2^-E, E the exponent
//      of its largest |a_ij| (which then lies in [0.5, 1)); then every column
//      j, and o_j, likewise, adding -E to column j's kept exponent.
//   3. The objective multiplied by 2^-G, G the exponent of its largest |o_j|
//      (all zero: factor 1), less the copy's objective shift (0, or
//      kObjectiveShift for the copy that follows a short optimum, below).
//   4. simplx solves the copy from scratch. The optimum is the copy's times
//      2^G, and x_j is the copy's x_j times 2^(column j's kept exponent).
// Row factors change only the scale of a row's slack, surplus or artificial
// variable and of the row's dual value: the program's dual value of row i is
// the copy's times 2^(G + row i's exponent), which RowDuals (lp/LPProblem.h)
// applies; r keeps its sign, so the copy is a program of the same form.
//
// The copy's result is taken when it is optimal (code 0, no step limit, a
// feasible basis), did not stop short (lp/SolutionCheck.h, on the copy's
// tableau) and its unscaled point violates no constraint of the program as
// posed by more than kViolationLimit of the row's size; otherwise the first
// solve's result stands. A first optimum that only looks doubtful (a reduced
// cost above rounding noise with no step to take) is solved again as well,
// and its copy is taken only when it also raises the optimum by more than
// kStoppedShortGain of its size: a right program keeps its bits.
//
// The tolerance also bounds the reduced costs the simplex leaves: a wide
// program can end a whole chain of such small improvements short of its
// optimum (measured: 2e-4 of the optimum on 20 outputs and 20 inputs), on
// the copy as on the first solve. A program stopped short or doubtful whose
// copy was not taken is therefore solved once more on a copy whose objective
// is 2^kObjectiveShift times larger, which makes the tolerance that much
// finer against its reduced costs; that copy is taken by the same rules,
// with mustExceed for a doubtful program. A short optimum whose copy was
// taken but is doubtful itself is solved on it too, and replaced only when
// that raises the copy's optimum by more than kStoppedShortGain.

#include <cstdint>
#include <vector>

#include "lp/Matrix.h"
#include "lp/Simplex.h"  // PivotRule

class LPProblem;

// Work objects of the second solve, obtained when a program first needs one.
struct RescaledCopy {
  Matrix tableau;                  // the scaled program's tableau, same layout as the first solve's
  std::vector<int> basis;          // the solver's basis and nonbasis lists for it
  std::vector<int> nonBasis;
  std::vector<int> columnExponent; // entry j (1..n): the kept exponent of column j
  std::vector<int> rowExponent;    // entry i (1..m): the exponent row i was scaled by in all
  std::vector<double> solution;    // x_j of the copy, unscaled (entry j - 1)
  int objectiveExponent = 0;       // G
  bool laidOut = false;            // false when the tableau's storage could not be had
};

// Lays the rescaled copy of the program posed in `problem` (SetProblem's A,
// rhs and obj, which must be unchanged) into copy.tableau, with the column
// exponents and G (the objective shift already taken from it). Visible for
// testing.
void LayOutRescaledCopy(const LPProblem& problem, RescaledCopy& copy, int objectiveShift = 0);

// The objective shift of the copy that follows a short optimum: 2^10 makes
// the 1e-5 tolerance about 1e-8 of the objective's largest coefficient,
// still far above the pivots' rounding noise (1e-14 of it).
constexpr int kObjectiveShift = 10;

// Solves the rescaled copy of the posed program. When the copy is solved
// right, writes its unscaled optimum to the problem's tableau entry (1, 1),
// its unscaled solution to m_Solution and its basis lists to m_Basis and
// m_NonBasis, and returns true; otherwise leaves the problem as it was and
// returns false. With mustExceed the copy is taken only when its optimum
// exceeds *mustExceed by more than kStoppedShortGain of |*mustExceed| (of 1
// when that is 0). Uses the problem's solver work lists.
// The copy is solved with `rule` from its first step, its objective shifted
// by objectiveShift. With improvable, says whether the copy's end tableau
// kept a reduced cost above rounding noise (meaningful when taken).
bool SolveRescaledCopy(LPProblem& problem, const double* mustExceed = nullptr,
                       PivotRule rule = PivotRule::kLargestCoefficient, int objectiveShift = 0,
                       bool* improvable = nullptr);
