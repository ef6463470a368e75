#pragma once
// A check of an optimal simplex tableau for an improvement the solver's
// tolerance let pass.

#include "lp/Matrix.h"
//
// simplx stops when no reduced cost exceeds kSimplexTolerance, an absolute
// bound. On data in large or small units a reduced cost below that bound can
// still belong to a column whose step raises the objective noticeably: the
// program has "stopped short" of its optimum.

// Relative objective gain above which an optimal program counts as stopped
// short.
extern const double kStoppedShortGain;
// Relative constraint violation (LargestRelativeViolation) above which an
// optimal program counts as wrong although no reduced cost is left: its end
// point lies outside the feasible region.
extern const double kViolationLimit;

// The largest gain, relative to the optimum |z| = |a[1][1]| (to 1 when z is
// 0), of one simplex step along a candidate column (candidates[1..numCandidates])
// whose reduced cost c = a[1][k+1] is positive beyond rounding noise (more
// than 1e-10 times the column's largest |entry|). The step length is the ratio test over
// every negative entry of the column, however small: t = min b_i / (-a_ik)
// over the rows i = 1..m with a[i+1][k+1] < 0, b_i = a[i+1][1]; the gain is
// c * t. A column with a positive reduced cost and no negative entry is an
// improving direction without end: the result is then +infinity. 0 when no
// candidate has a positive reduced cost. *improvable (when given) is set
// when some candidate's reduced cost is positive beyond rounding noise,
// whatever its step: a step of length 0 (a degenerate vertex) can hide a
// gain that later pivots reach.
double LargestRelativeGain(double** a, int m, const int* candidates, int numCandidates,
                           bool* improvable = nullptr);

// True unless some basic value (tableau column 1, rows 2..m+1) lies below
// -1e-9 x (1 + the largest |basic value|): the ratio test can pass over a
// binding row whose entry lies inside the tolerance when the data come in
// large units. Well-scaled problems end far inside this bound.
bool BasisIsFeasible(double** a, int m);

// The verdict on one call of simplx on the tableau a (m rows): the result
// code the wrapper reports (kLPStepLimit past the step limit, else
// kLPNotFeasibleBasis for an optimum at an infeasible basis, else simplx's
// code) and, for an optimum, LargestRelativeGain over the candidates left
// (0 otherwise).
struct SolveVerdict {
  int code = 0;
  double gain = 0.0;
  double violation = 0.0;  // LargestRelativeViolation, when the caller computed it
  bool improvable = false;  // an optimum with a reduced cost above rounding noise (LargestRelativeGain)
  bool StoppedShort() const { return code == 0 && gain > kStoppedShortGain; }
  bool Outside() const { return code == 0 && violation > kViolationLimit; }
};
SolveVerdict JudgeSolve(double** a, int m, int simplexCode, unsigned steps, const int* candidates,
                        int numCandidates);


// The largest violation of a constraint by the solution x (n values) of the
// program posed as A (m x n, rows grouped m1 <=, m2 >=, then =), rhs,
// relative to the row's size |rhs_i| + max_j |a_ij| x max_j |x_j| (a
// violated row of size 0 gives +infinity; the largest |x_j| rather than the
// row's own terms, so that rounding on a row of near-zero terms does not
// count). Only rows whose slack, surplus or artificial
// variable is basic (basis[r] = n + i for some r) can be violated: a
// nonbasic one is 0, the row tight. 0 when none is violated.
//
// The ratio test passes over column entries within the tolerance, so on
// rows whose coefficients are all of order 1e-5 the solver can pivot past a
// binding row: its slack ends slightly negative, the objective better than
// the optimum, and the end basis check (relative to the largest basic value,
// which the multipliers of tiny data make large) lets it pass.
double LargestRelativeViolation(double** a, const int* basis, int m, int n, int m1, int m2, const Matrix& A,
                                const double* rhs, const double* x);
