#include "lp/Simplex.h"

#include <cmath>

#include "app/Format.h"

uint32_t SimplexStepCount = 0;

namespace {

// Entering-column search on tableau row `row` over the candidate list: the
// first candidate is taken, then a later one replaces it only when it is
// strictly larger (in absolute value for the `absolute` variant, which still
// hands back the signed entry). Among equal values the earlier candidate stays.
void FindEnteringColumn(double** a, int row, const int* candidates, int numCandidates, bool absolute, int& column,
                        double& value) {
  ++SimplexStepCount;
  const double* entries = a[row];
  column = candidates[1];
  value = entries[column + 1];
  for (int k = 2; k <= numCandidates; ++k) {
    const int q = candidates[k];
    const double test = absolute ? std::fabs(entries[q + 1]) - std::fabs(value) : entries[q + 1] - value;
    if (test > 0.0) {
      column = q;
      value = entries[q + 1];
    }
  }
}

// Decides an exact tie of the ratio test between the current pivot row r and a
// later row i: the rows are compared column by column on their entries
// divided by the pivot-column entry; at the first column where the two ratios
// differ, row i wins when its ratio is the smaller. A complete tie keeps r.
bool LaterRowWinsTie(double** a, int n, int p, int r, int i) {
  const double* rowR = a[r + 1];
  const double* rowI = a[i + 1];
  for (int k = 1; k <= n; ++k) {
    const double ratioR = -rowR[k + 1] / rowR[p + 1];
    const double ratioI = -rowI[k + 1] / rowI[p + 1];
    if (ratioI != ratioR) return ratioI < ratioR;
  }
  return false;
}

// Ratio test for column p over the constraint rows in list order. Only rows
// whose pivot-column entry lies below -kSimplexTolerance limit the step; the
// smallest ratio -b_i / a_ip wins, exact ties go to LaterRowWinsTie. Returns
// the pivot row, or 0 when no row limits the step.
int FindPivotRow(double** a, const int* rows, int m, int n, int p) {
  ++SimplexStepCount;
  int i = 1;
  while (i <= m && !(a[rows[i] + 1][p + 1] < -kSimplexTolerance)) ++i;
  if (i > m) return 0;
  int r = rows[i];
  double ratioR = -a[r + 1][1] / a[r + 1][p + 1];
  for (++i; i <= m; ++i) {
    const int h = rows[i];
    if (a[h + 1][p + 1] < -kSimplexTolerance) {
      const double ratioH = -a[h + 1][1] / a[h + 1][p + 1];
      if (ratioH < ratioR) {
        r = h;
        ratioR = ratioH;
      } else if (ratioH == ratioR && LaterRowWinsTie(a, n, p, r, h)) {
        r = h;
      }
    }
  }
  return r;
}

// Exchange step at constraint row r, column p, over tableau rows 1..lastRow
// and columns 1..n+1. The operations and their order are fixed:
// other rows first (pivot-column entry scaled, then each other entry reduced),
// then the pivot row becomes (-entry) * piv and the pivot entry piv.
void Pivot(double** a, int lastRow, int n, int r, int p) {
  ++SimplexStepCount;
  double* pivotRow = a[r + 1];
  const double piv = 1.0 / pivotRow[p + 1];
  for (int h = 1; h <= lastRow; ++h) {
    if (h == r + 1) continue;
    double* row = a[h];
    row[p + 1] = row[p + 1] * piv;
    const double factor = row[p + 1];
    // Columns before and after the pivot column; each element on its own.
    for (int k = 1; k < p + 1; ++k) row[k] = row[k] - pivotRow[k] * factor;
    for (int k = p + 2; k <= n + 1; ++k) row[k] = row[k] - pivotRow[k] * factor;
  }
  for (int k = 1; k < p + 1; ++k) pivotRow[k] = -pivotRow[k] * piv;
  for (int k = p + 2; k <= n + 1; ++k) pivotRow[k] = -pivotRow[k] * piv;
  pivotRow[p + 1] = piv;
}

// Removes the first occurrence of column p from the candidate list; the
// entries after it move down one place.
void RemoveCandidate(int* candidates, int& numCandidates, int p) {
  int k = 1;
  while (k <= numCandidates && candidates[k] != p) ++k;
  if (k > numCandidates) return;
  for (; k < numCandidates; ++k) candidates[k] = candidates[k + 1];
  --numCandidates;
}

// After an artificial or an unflipped surplus variable has left through column
// p, that column now stands for it: correct the auxiliary objective and flip
// the column's sign in rows 1..m+2.
void FlipLeavingColumn(double** a, int m, int p) {
  a[m + 2][p + 1] = a[m + 2][p + 1] + 1.0;
  for (int i = 1; i <= m + 2; ++i) a[i][p + 1] = -a[i][p + 1];
}

// End of phase 1, first part: an equality row whose artificial is still basic
// (necessarily at value 0) is pivoted out through its entry of largest
// absolute value, provided that entry exceeds the tolerance. Returns the row
// and sets the column, or returns 0 when no equality row gives a pivot.
int FindBasicArtificialRow(double** a, const int* basis, const int* candidates, int numCandidates, int n, int m1,
                           int m2, int m, int& column) {
  for (int i = m1 + m2 + 1; i <= m; ++i) {
    if (basis[i] != n + i) continue;
    double value = 0.0;
    FindEnteringColumn(a, i + 1, candidates, numCandidates, true, column, value);
    if (value > kSimplexTolerance) return i;
  }
  return 0;
}

// End of phase 1, second part: greater-or-equal rows whose surplus column was
// never flipped get their sign flipped, so that phase 2 sees x_s >= 0.
void FlipUnflippedSurplusRows(double** a, const int* surplusFlags, int n, int m1, int m2) {
  for (int i = m1 + 1; i <= m1 + m2; ++i) {
    if (surplusFlags[i - m1] != 1) continue;
    for (int k = 1; k <= n + 1; ++k) a[i + 1][k] = -a[i + 1][k];
  }
}

void ExchangeBasis(int* basis, int* nonBasis, int r, int p) {
  const int entering = nonBasis[p];
  nonBasis[p] = basis[r];
  basis[r] = entering;
}

bool TableauHasNaN(double** a, int m, int n) {
  for (int i = 1; i <= m + 1; ++i) {
    for (int k = 1; k <= n + 1; ++k) {
      if (std::isnan(a[i][k])) return true;
    }
  }
  return false;
}

enum class Phase1End { kFeasible, kInfeasible, kStepLimit };

// Phase 1: drive the sum of the artificial and surplus infeasibilities
// (auxiliary objective in row m+2) to zero, then leave a feasible basis.
Phase1End RunPhase1(int& resultCode, int* basis, double** a, int m, int n, int m1, int m2, int* nonBasis,
                    SimplexWorkLists& work, int& numCandidates) {
  const int aux = m + 2;
  for (int k = 1; k <= n + 1; ++k) {
    double sum = 0.0;
    for (int i = m1 + 1; i <= m; ++i) sum = sum + a[i + 1][k];
    a[aux][k] = -sum;
  }
  for (;;) {
    int p = 0;
    double v = 0.0;
    int r = 0;
    FindEnteringColumn(a, aux, work.candidates, numCandidates, false, p, v);
    if (v <= kSimplexTolerance && a[aux][1] < -kSimplexTolerance) {
      resultCode = kSimplexInfeasible;
      return Phase1End::kInfeasible;
    }
    if (v <= kSimplexTolerance && a[aux][1] <= kSimplexTolerance) {
      r = FindBasicArtificialRow(a, basis, work.candidates, numCandidates, n, m1, m2, m, p);
      if (r == 0) {
        FlipUnflippedSurplusRows(a, work.surplusFlags, n, m1, m2);
        return Phase1End::kFeasible;
      }
    } else {
      r = FindPivotRow(a, work.rows, m, n, p);
      if (r == 0) {
        resultCode = kSimplexInfeasible;
        return Phase1End::kInfeasible;
      }
    }
    Pivot(a, m + 2, n, r, p);
    if (SimplexStepCount > kSimplexStepLimit) return Phase1End::kStepLimit;

    const int leaving = basis[r];
    if (leaving >= n + m1 + m2 + 1) {
      // An equality row's artificial never re-enters: drop its column.
      RemoveCandidate(work.candidates, numCandidates, p);
      FlipLeavingColumn(a, m, p);
    } else if (leaving >= n + m1 + 1 && work.surplusFlags[leaving - m1 - n] == 1) {
      work.surplusFlags[leaving - m1 - n] = 0;
      FlipLeavingColumn(a, m, p);
    }
    ExchangeBasis(basis, nonBasis, r, p);
  }
}

}  // namespace

void simplx(int& resultCode, int* basis, double** a, int m, int n, int m1, int m2, int m3, int* nonBasis,
            SimplexWorkLists& work) {
  SimplexStepCount = 0;
  if (m != m1 + m2 + m3) {
    ConsolePrintf(" Bad input constraint counts in simplx.\n");
    resultCode = kSimplexBadInput;
    return;
  }
  int numCandidates = n;
  for (int k = 1; k <= n; ++k) {
    work.candidates[k] = k;
    nonBasis[k] = k;
  }
  for (int i = 1; i <= m; ++i) {
    if (a[i + 1][1] < 0.0) {
      ConsolePrintf(" Bad input tableau in simplx, Constants bi must be nonnegative.\n");
      resultCode = kSimplexBadInput;
      return;
    }
    work.rows[i] = i;
    basis[i] = n + i;
  }
  for (int i = 1; i <= m2; ++i) work.surplusFlags[i] = 1;
  if (TableauHasNaN(a, m, n)) {
    ConsolePrintf(" Bad input tableau in simplx, entries must be numbers.\n");
    resultCode = kSimplexBadInput;
    return;
  }

  if (m2 + m3 != 0) {
    if (RunPhase1(resultCode, basis, a, m, n, m1, m2, nonBasis, work, numCandidates) != Phase1End::kFeasible) {
      return;
    }
  }

  // Phase 2: improve the true objective in row 1 from the feasible basis.
  for (;;) {
    int p = 0;
    double v = 0.0;
    FindEnteringColumn(a, 1, work.candidates, numCandidates, false, p, v);
    if (v <= kSimplexTolerance) {
      resultCode = kSimplexOptimal;
      return;
    }
    const int r = FindPivotRow(a, work.rows, m, n, p);
    if (r == 0) {
      resultCode = kSimplexUnbounded;
      return;
    }
    Pivot(a, m + 1, n, r, p);
    if (SimplexStepCount > kSimplexStepLimit) return;
    ExchangeBasis(basis, nonBasis, r, p);
  }
}
