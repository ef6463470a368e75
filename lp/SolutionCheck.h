#pragma once
// A check of an optimal simplex tableau for an improvement the solver's
// tolerance let pass.
//
// simplx stops when no reduced cost exceeds kSimplexTolerance, an absolute
// bound. On data in large or small units a reduced cost below that bound can
// still belong to a column whose step raises the objective noticeably: the
// program has "stopped short" of its optimum.

// Relative objective gain above which an optimal program counts as stopped
// short.
extern const double kStoppedShortGain;

// The largest gain, relative to the optimum |z| = |a[1][1]| (to 1 when z is
// 0), of one simplex step along a candidate column (candidates[1..numCandidates])
// whose reduced cost c = a[1][k+1] is positive beyond rounding noise (more
// than 1e-10 times the column's largest |entry|). The step length is the ratio test over
// every negative entry of the column, however small: t = min b_i / (-a_ik)
// over the rows i = 1..m with a[i+1][k+1] < 0, b_i = a[i+1][1]; the gain is
// c * t. A column with a positive reduced cost and no negative entry is an
// improving direction without end: the result is then +infinity. 0 when no
// candidate has a positive reduced cost.
double LargestRelativeGain(double** a, int m, const int* candidates, int numCandidates);

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
  bool StoppedShort() const { return code == 0 && gain > kStoppedShortGain; }
};
SolveVerdict JudgeSolve(double** a, int m, int simplexCode, unsigned steps, const int* candidates,
                        int numCandidates);
