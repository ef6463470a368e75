// The three inner loops of simplx (entering-column search, ratio test and
// the row updates of a pivot), built once for each vector unit: CMake
// compiles this file several times, each with its own instruction set and
// KORU_KERNEL_PATH naming it (plain, avx2, avx512), and SimplexKernels.cpp
// picks one at run time. Every build runs the same operations per element in
// the same order, with no fused multiply-add (-ffp-contract=off), so every
// path gives the same bits; only the width of the registers differs. The
// file calls no inline library function: a copy of one built for AVX-512
// could be the one the linker keeps for the whole program.

#include <cstddef>

#include "lp/Simplex.h"
#include "lp/SimplexKernels.h"

#ifndef KORU_KERNEL_PATH
#define KORU_KERNEL_PATH plain
#endif
#define KORU_KERNEL_NAME_(path) kSimplexKernels_##path
#define KORU_KERNEL_NAME(path) KORU_KERNEL_NAME_(path)
#define KORU_KERNEL_STRING_(path) #path
#define KORU_KERNEL_STRING(path) KORU_KERNEL_STRING_(path)

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
  return kAbsolute ? __builtin_fabs(entry) : entry;
}

template <bool kAbsolute>
void FindLargestCandidateOf(const double* entries, const int* candidates, int numCandidates, int& column,
                            double& value) {
  column = candidates[1];
  value = entries[column + 1];
  const double firstKey = SearchKey<kAbsolute>(value);
  if (firstKey != firstKey) return;  // NaN
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

void FindLargestCandidate(const double* entries, const int* candidates, int numCandidates, bool absolute,
                          int& column, double& value) {
  if (absolute) {
    FindLargestCandidateOf<true>(entries, candidates, numCandidates, column, value);
  } else {
    FindLargestCandidateOf<false>(entries, candidates, numCandidates, column, value);
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
// Keeps, of rows start..end, those whose pivot-column entry limits the step
// and whose ratio the bound cannot place above the smallest so far (rows
// lie `stride` apart from row 1 at `row1`, and the row list is 1..m in
// order). The same two tests as below, without loading a row pointer.
int KeepStridedRows(const double* row1, std::ptrdiff_t stride, int start, int end, int p, double bound,
                    int* kept) {
  int count = 0;
  const double* rowJ = row1 + static_cast<std::ptrdiff_t>(start - 1) * stride;
  for (int j = start; j <= end; ++j, rowJ += stride) {
    const double entry = rowJ[p + 1];
    const int limits = static_cast<int>(entry < -kSimplexTolerance);
    const int mayWin = static_cast<int>(!(rowJ[1] > -(bound * entry)));
    kept[count] = j;
    count += limits & mayWin;
  }
  return count;
}

int FindPivotRow(double** a, const int* rows, int m, int n, int p, std::ptrdiff_t stride) {
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
    if (stride != 0) {
      count = KeepStridedRows(a[2], stride, start, end, p, bound, kept);
    } else {
      for (int j = start; j <= end; ++j) {
        const double* rowJ = a[rows[j] + 1];
        const double entry = rowJ[p + 1];
        const int limits = static_cast<int>(entry < -kSimplexTolerance);
        const int mayWin = static_cast<int>(!(rowJ[1] > -(bound * entry)));
        kept[count] = rows[j];
        count += limits & mayWin;
      }
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

}  // namespace

extern const SimplexKernels KORU_KERNEL_NAME(KORU_KERNEL_PATH);
const SimplexKernels KORU_KERNEL_NAME(KORU_KERNEL_PATH) = {FindLargestCandidate, FindPivotRow, ReduceOtherRows,
                                                           KORU_KERNEL_STRING(KORU_KERNEL_PATH)};
