#include "lp/Simplex.h"

#include <cmath>
#include <cstring>

#include "core/Format.h"

uint32_t SimplexStepCount = 0;
SimplexTotals SimplexRunTotals;

void PrintSimplexTotals(std::FILE* stream) {
  std::fprintf(stream, "KORU_STATS programs=%llu pivots=%llu updates=%llu\n",
               static_cast<unsigned long long>(SimplexRunTotals.programs),
               static_cast<unsigned long long>(SimplexRunTotals.pivots),
               static_cast<unsigned long long>(SimplexRunTotals.updates));
}

namespace {

// Entering-column search on tableau row `row` over the candidate list: the
// first candidate is taken, then a later one replaces it only when it is
// strictly larger (in absolute value for the `absolute` variant, which still
// hands back the signed entry). Among equal values the earlier candidate stays.
//
// The test "entry - value > 0" is "entry > value" for every pair of doubles
// (a difference of two distinct finite doubles is never 0 without flush to
// zero; infinities and NaN compare alike). So the chosen candidate is the
// first one whose value equals the largest value of the list, NaN left out,
// unless the first candidate is NaN, which nothing replaces. The search runs
// four interleaved running maxima, which do not wait on one another, each
// with the first list place where it was reached; the largest of the four
// wins, and among equal ones the earliest place.
template <bool kAbsolute>
double SearchKey(double entry) {
  return kAbsolute ? std::fabs(entry) : entry;
}

template <bool kAbsolute>
void FindLargestCandidate(const double* entries, const int* candidates, int numCandidates, int& column,
                          double& value) {
  column = candidates[1];
  value = entries[column + 1];
  const double firstKey = SearchKey<kAbsolute>(value);
  if (std::isnan(firstKey)) return;
  double top[4] = {firstKey, firstKey, firstKey, firstKey};
  int place[4] = {1, 1, 1, 1};
  int k = 2;
  for (; k + 3 <= numCandidates; k += 4) {
    for (int lane = 0; lane < 4; ++lane) {
      const double v = SearchKey<kAbsolute>(entries[candidates[k + lane] + 1]);
      const bool larger = v > top[lane];
      top[lane] = larger ? v : top[lane];
      place[lane] = larger ? k + lane : place[lane];
    }
  }
  for (; k <= numCandidates; ++k) {
    const double v = SearchKey<kAbsolute>(entries[candidates[k] + 1]);
    if (v > top[0]) {
      top[0] = v;
      place[0] = k;
    }
  }
  int best = 0;
  for (int lane = 1; lane < 4; ++lane) {
    if (top[lane] > top[best] || (top[lane] == top[best] && place[lane] < place[best])) best = lane;
  }
  column = candidates[place[best]];
  value = entries[column + 1];
}

void FindEnteringColumn(double** a, int row, const int* candidates, int numCandidates, bool absolute, int& column,
                        double& value) {
  ++SimplexStepCount;
  if (absolute) {
    FindLargestCandidate<true>(a[row], candidates, numCandidates, column, value);
  } else {
    FindLargestCandidate<false>(a[row], candidates, numCandidates, column, value);
  }
}

// The ratio -numerator / pivotEntry of the ratio test, where pivotEntry lies
// below -kSimplexTolerance. A zero numerator (of either sign) gives a zero,
// whose sign no comparison of the ratio test sees, so it is not divided.
inline double StepRatio(double numerator, double pivotEntry) {
  return numerator == 0.0 ? 0.0 : -numerator / pivotEntry;
}

// Decides an exact tie of the ratio test between the current pivot row r and a
// later row i from column `from` on: the rows are compared column by column
// on their entries divided by the pivot-column entry; at the first column
// where the two ratios differ, row i wins when its ratio is the smaller. A
// complete tie keeps r.
bool LaterRowWinsTie(double** a, int n, int p, int r, int i, int from) {
  const double* rowR = a[r + 1];
  const double* rowI = a[i + 1];
  for (int k = from; k <= n; ++k) {
    const double ratioR = StepRatio(rowR[k + 1], rowR[p + 1]);
    const double ratioI = StepRatio(rowI[k + 1], rowI[p + 1]);
    if (ratioI != ratioR) return ratioI < ratioR;
  }
  return false;
}

// A bound that lets the ratio test pass over a row without dividing. For a
// row with pivot-column entry e < -kSimplexTolerance and right-hand side b,
// b > -(bound * e) guarantees that the rounded ratio -b / e is larger than
// the current smallest ratio R, so the division would find nothing:
// - R below 2^-900 (zero, negative, tiny, or NaN, which nothing beats):
//   bound = 2^-900. The product with |e| > 2^-17 is exact, so b / |e| >
//   2^-900 exactly and its rounding is at least 2^-900 > R.
// - R normal: bound = R (1 + 2^-40) rounded. With two roundings of at most
//   2^-53 each, b / |e| > R (1 + 2^-41) exactly, which lies more than 2^10
//   units in the last place above R, so the rounded ratio exceeds R. A
//   product that overflows gives an infinite bound, and no row is passed.
constexpr double kTinyRatio = 0x1p-900;
constexpr double kRatioMargin = 1.0 + 0x1p-40;

double RatioBound(double smallestRatio) {
  return smallestRatio >= kTinyRatio ? smallestRatio * kRatioMargin : kTinyRatio;
}

// Ratio test for column p over the constraint rows in list order. Only rows
// whose pivot-column entry lies below -kSimplexTolerance limit the step; the
// smallest ratio -b_i / a_ip wins, exact ties go to the column-by-column
// comparison. Returns the pivot row, or 0 when no row limits the step.
//
// The rows are taken in blocks. A first pass over a block keeps, without a
// jump per row, those that limit the step and whose ratio RatioBound cannot
// place above the smallest ratio so far; most rows fail one of the two tests.
// A second pass runs the comparisons on the rows kept, in list order. Rows
// passed over would have changed nothing, since the smallest ratio only
// falls. Degenerate programs tie on many rows, and column 1 nearly always
// decides: the candidate row's column-1 ratio is kept while it stays the
// candidate.
int FindPivotRow(double** a, const int* rows, int m, int n, int p) {
  ++SimplexStepCount;
  int i = 1;
  while (i <= m && !(a[rows[i] + 1][p + 1] < -kSimplexTolerance)) ++i;
  if (i > m) return 0;
  int r = rows[i];
  double ratioR = StepRatio(a[r + 1][1], a[r + 1][p + 1]);
  double firstR = 0.0;  // column-1 ratio of row r, once haveFirstR
  bool haveFirstR = false;
  constexpr int kBlock = 256;
  int kept[kBlock];
  for (int start = i + 1; start <= m; start += kBlock) {
    const int end = m - start < kBlock ? m : start + kBlock - 1;
    const double bound = RatioBound(ratioR);
    int count = 0;
    for (int j = start; j <= end; ++j) {
      const double* rowJ = a[rows[j] + 1];
      const double entry = rowJ[p + 1];
      const int limits = static_cast<int>(entry < -kSimplexTolerance);
      const int mayWin = static_cast<int>(!(rowJ[1] > -(bound * entry)));
      kept[count] = rows[j];
      count += limits & mayWin;
    }
    for (int c = 0; c < count; ++c) {
      const int h = kept[c];
      const double* rowH = a[h + 1];
      const double entry = rowH[p + 1];
      const double ratioH = StepRatio(rowH[1], entry);
      if (ratioH < ratioR) {
        r = h;
        ratioR = ratioH;
        haveFirstR = false;
      } else if (ratioH == ratioR && n >= 1) {
        if (!haveFirstR) {
          firstR = StepRatio(a[r + 1][2], a[r + 1][p + 1]);
          haveFirstR = true;
        }
        const double firstH = StepRatio(rowH[2], entry);
        if (firstH != firstR) {
          const bool wins = firstH < firstR;
          r = wins ? h : r;
          firstR = wins ? firstH : firstR;
        } else if (LaterRowWinsTie(a, n, p, r, h, 2)) {
          r = h;  // its column-1 ratio equals firstR
        }
      }
    }
  }
  return r;
}

// The other rows of an exchange step, for a tableau of kWidth = n + 1
// columns in use: with the width known when compiling, each row's update is
// a few vector operations with the pivot row held in registers, which is
// what the tall programs of Sets 1 and 2 (a few columns, thousands of rows)
// spend their time on. The same operations as the general loop below.
template <int kWidth>
void ReduceOtherRowsNarrow(double** a, int lastRow, int r, int p, double piv) {
  double pivotEntries[kWidth];
  for (int k = 0; k < kWidth; ++k) pivotEntries[k] = a[r + 1][k + 1];
  for (int h = 1; h <= lastRow; ++h) {
    if (h == r + 1) continue;
    double* row = a[h] + 1;  // row[k - 1] is tableau column k
    const double factor = row[p] * piv;
    for (int k = 0; k < kWidth; ++k) row[k] = row[k] - pivotEntries[k] * factor;
    row[p] = factor;
  }
}

void ReduceOtherRows(double** a, int lastRow, int n, int r, int p, double piv) {
  switch (n + 1) {
    case 2: return ReduceOtherRowsNarrow<2>(a, lastRow, r, p, piv);
    case 3: return ReduceOtherRowsNarrow<3>(a, lastRow, r, p, piv);
    case 4: return ReduceOtherRowsNarrow<4>(a, lastRow, r, p, piv);
    case 5: return ReduceOtherRowsNarrow<5>(a, lastRow, r, p, piv);
    case 6: return ReduceOtherRowsNarrow<6>(a, lastRow, r, p, piv);
    case 7: return ReduceOtherRowsNarrow<7>(a, lastRow, r, p, piv);
    case 8: return ReduceOtherRowsNarrow<8>(a, lastRow, r, p, piv);
    case 9: return ReduceOtherRowsNarrow<9>(a, lastRow, r, p, piv);
    case 10: return ReduceOtherRowsNarrow<10>(a, lastRow, r, p, piv);
    case 11: return ReduceOtherRowsNarrow<11>(a, lastRow, r, p, piv);
    case 12: return ReduceOtherRowsNarrow<12>(a, lastRow, r, p, piv);
    case 13: return ReduceOtherRowsNarrow<13>(a, lastRow, r, p, piv);
    case 14: return ReduceOtherRowsNarrow<14>(a, lastRow, r, p, piv);
    case 15: return ReduceOtherRowsNarrow<15>(a, lastRow, r, p, piv);
    case 16: return ReduceOtherRowsNarrow<16>(a, lastRow, r, p, piv);
    default: break;
  }
  const double* pivotRow = a[r + 1];
  for (int h = 1; h <= lastRow; ++h) {
    if (h == r + 1) continue;
    double* row = a[h];
    const double factor = row[p + 1] * piv;
    for (int k = 1; k <= n + 1; ++k) row[k] = row[k] - pivotRow[k] * factor;
    row[p + 1] = factor;
  }
}

// Exchange step at constraint row r, column p, over tableau rows 1..lastRow
// and columns 1..n+1. The operations and their order are fixed:
// other rows first (pivot-column entry scaled, then each other entry reduced),
// then the pivot row becomes (-entry) * piv and the pivot entry piv.
// Every element is computed on its own, so each row runs as one loop over
// all its columns, the pivot column included, and the pivot column's entry
// is stored afterwards: the value the loop computed there is discarded.
void Pivot(double** a, int lastRow, int n, int r, int p) {
  ++SimplexStepCount;
  ++SimplexRunTotals.pivots;
  SimplexRunTotals.updates += static_cast<uint64_t>(lastRow) * static_cast<uint64_t>(n + 1);
  double* pivotRow = a[r + 1];
  const double piv = 1.0 / pivotRow[p + 1];
  ReduceOtherRows(a, lastRow, n, r, p, piv);
  for (int k = 1; k <= n + 1; ++k) pivotRow[k] = -pivotRow[k] * piv;
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

// An infinity is refused like a NaN: pivoting on it yields inf - inf, and the
// program would end "infeasible" or "unbounded" on arithmetic with no meaning.
// A double is infinite or NaN exactly when all its exponent bits are set;
// one unit added to the lowest of them then carries into the sign bit. The
// test runs on the bit patterns with integer operations, so a row is scanned
// without a branch per element.
bool TableauHasNaN(double** a, int m, int n) {
  constexpr uint64_t kExponentBits = 0x7FF0000000000000ULL;
  constexpr uint64_t kExponentUnit = 0x0010000000000000ULL;
  constexpr uint64_t kCarryBit = 0x8000000000000000ULL;
  for (int i = 1; i <= m + 1; ++i) {
    const double* row = a[i];
    uint64_t found = 0;
    for (int k = 1; k <= n + 1; ++k) {
      uint64_t bits;
      std::memcpy(&bits, &row[k], sizeof bits);
      found |= ((bits & kExponentBits) + kExponentUnit) & kCarryBit;
    }
    if (found != 0) return true;
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
  ++SimplexRunTotals.programs;
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
      work.numCandidates = numCandidates;
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
