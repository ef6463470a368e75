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

// A build that cannot give this file an instruction-set flag of its own (the
// R package, whose compile flags must be portable) names the instruction set
// here instead, for the functions below only: KORU_KERNEL_TARGET_AVX2 or
// KORU_KERNEL_TARGET_AVX512F.
#if defined(KORU_KERNEL_TARGET_AVX2) || defined(KORU_KERNEL_TARGET_AVX512F)
#if defined(KORU_KERNEL_TARGET_AVX2)
#define KORU_KERNEL_TARGET "avx2"
#else
#define KORU_KERNEL_TARGET "avx512f"
#endif
#if defined(__clang__)
#define KORU_KERNEL_PRAGMA_(text) _Pragma(#text)
#define KORU_KERNEL_PRAGMA(isa) \
  KORU_KERNEL_PRAGMA_(clang attribute push(__attribute__((target(isa))), apply_to = function))
KORU_KERNEL_PRAGMA(KORU_KERNEL_TARGET)
#define KORU_KERNEL_TARGET_POP 1
#elif defined(__GNUC__)
#define KORU_KERNEL_PRAGMA_(text) _Pragma(#text)
#define KORU_KERNEL_PRAGMA(isa) KORU_KERNEL_PRAGMA_(GCC target(isa))
KORU_KERNEL_PRAGMA(KORU_KERNEL_TARGET)
#endif
#endif

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

// The entering-column search over a list in ascending column order (as
// simplx keeps it), with the result of FindLargestCandidateOf<false>: the
// first candidate of the largest value, NaN left out unless the first
// candidate is NaN. Columns removed from a list of consecutive ones leave a
// few gaps; between them the candidates are consecutive columns, whose
// entries lie side by side and are read in many lanes at once, without an index
// each. A run of places k0..k1 of an ascending list is consecutive exactly
// when candidates[k1] - candidates[k0] = k1 - k0, so the runs are found by
// halving a place range until it is one.
//
// Each of the lanes keeps its running maximum with the first place
// that reached it (strictly larger values replace, so NaN never does), all
// lanes seeded with the maximum so far and its place; the largest of the
// lanes wins, among equal ones the earliest place, and that is the maximum
// so far after the run and its first place. The seed's place comes before
// every place of the run, so a tie with it keeps it, as the sequential
// search does.
#if defined(__AVX512F__)
typedef double Lanes8 __attribute__((vector_size(64)));
typedef long long Masks8 __attribute__((vector_size(64)));
#endif

// The search over consecutive columns first..last, the entry of column c at
// entries[c + 1], column `first` at list place `firstPlace`.
void SearchConsecutiveColumns(const double* entries, int first, int last, int firstPlace, double& top, int& place) {
  const double* run = entries + first + 1;
  const int count = last - first + 1;
  int j = 0;
  // Eight lanes in one register of the AVX-512 build; the narrower builds
  // would split them into many small operations and run four scalar lanes.
#if defined(__AVX512F__)
  if (count >= 64) {
    // Four registers of eight lanes, so that the comparisons of one group
    // of 32 entries do not wait on one another: 32 lanes in all.
    Lanes8 tops[4];
    Masks8 places[4];
    Masks8 lanePlaces[4];
    for (int g = 0; g < 4; ++g) {
      for (int lane = 0; lane < 8; ++lane) {
        tops[g][lane] = top;
        places[g][lane] = place;
        lanePlaces[g][lane] = firstPlace + 8 * g + lane;
      }
    }
    const Masks8 step = {32, 32, 32, 32, 32, 32, 32, 32};
    for (; j + 31 < count; j += 32) {
      for (int g = 0; g < 4; ++g) {
        Lanes8 v;
        __builtin_memcpy(&v, run + j + 8 * g, sizeof v);
        const Masks8 larger = v > tops[g];
        tops[g] = (Lanes8)(((Masks8)v & larger) | ((Masks8)tops[g] & ~larger));
        places[g] = (lanePlaces[g] & larger) | (places[g] & ~larger);
        lanePlaces[g] += step;
      }
    }
    double bestTop = tops[0][0];
    long long bestPlace = places[0][0];
    for (int g = 0; g < 4; ++g) {
      for (int lane = 0; lane < 8; ++lane) {
        if (tops[g][lane] > bestTop || (tops[g][lane] == bestTop && places[g][lane] < bestPlace)) {
          bestTop = tops[g][lane];
          bestPlace = places[g][lane];
        }
      }
    }
    top = bestTop;
    place = static_cast<int>(bestPlace);
  }
#else
  if (count >= 16) {
    // Eight scalar lanes, so that the comparisons do not wait on one another.
    double tops[8];
    int places[8];
    for (int lane = 0; lane < 8; ++lane) {
      tops[lane] = top;
      places[lane] = place;
    }
    for (; j + 7 < count; j += 8) {
      for (int lane = 0; lane < 8; ++lane) {
        const double v = run[j + lane];
        const bool larger = v > tops[lane];
        tops[lane] = larger ? v : tops[lane];
        places[lane] = larger ? firstPlace + j + lane : places[lane];
      }
    }
    int best = 0;
    for (int lane = 1; lane < 8; ++lane) {
      if (tops[lane] > tops[best] || (tops[lane] == tops[best] && places[lane] < places[best])) best = lane;
    }
    top = tops[best];
    place = places[best];
  }
#endif
  for (; j < count; ++j) {
    if (run[j] > top) {
      top = run[j];
      place = firstPlace + j;
    }
  }
}

void SearchAscendingPlaces(const double* entries, const int* candidates, int k0, int k1, double& top, int& place) {
  if (candidates[k1] - candidates[k0] == k1 - k0) {
    SearchConsecutiveColumns(entries, candidates[k0], candidates[k1], k0, top, place);
    return;
  }
  if (k1 - k0 < 32) {
    for (int k = k0; k <= k1; ++k) {
      const double v = entries[candidates[k] + 1];
      if (v > top) {
        top = v;
        place = k;
      }
    }
    return;
  }
  const int middle = k0 + (k1 - k0) / 2;
  SearchAscendingPlaces(entries, candidates, k0, middle, top, place);
  SearchAscendingPlaces(entries, candidates, middle + 1, k1, top, place);
}

void FindLargestAscendingCandidate(const double* entries, const int* candidates, int numCandidates, int& column,
                                   double& value) {
  if (numCandidates < 32) {
    FindLargestCandidateOf<false>(entries, candidates, numCandidates, column, value);
    return;
  }
  column = candidates[1];
  value = entries[column + 1];
  if (value != value) return;  // NaN
  double top = value;
  int place = 1;
  SearchAscendingPlaces(entries, candidates, 2, numCandidates, top, place);
  column = candidates[place];
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
// row with pivot-column entry e < -kSimplexTolerance and numerator b (its
// right-hand side, or for the column-1 tie-break its column-1 entry),
// b > -(bound * e) guarantees that the rounded ratio -b / e is larger than
// the current smallest ratio R, so the division would find nothing:
// - R between -2^-900 and 2^-900 (zero, tiny, or NaN, which nothing beats):
//   bound = 2^-900. The product with |e| > 2^-17 is exact, so b / |e| >
//   2^-900 exactly and its rounding is at least 2^-900 > R.
// - R >= 2^-900: bound = R (1 + 2^-40) rounded. With two roundings of at
//   most 2^-53 each, b / |e| > R (1 + 2^-41) exactly, which lies more than
//   2^10 units in the last place above R, so the rounded ratio exceeds R. A
//   product that overflows gives an infinite bound, and no row is passed.
// - R <= -2^-900: bound = R (1 - 2^-40) rounded, closer to zero than R. The
//   same two roundings give b / |e| > R (1 - 2^-41) = R + |R| 2^-41, again
//   more than 2^10 units in the last place above R. A product that
//   overflows to -inf passes only rows whose ratio b / |e| is finite, and
//   |R| |e| beyond the largest double puts every finite b / |e| above R;
//   R = -inf passes every row whose ratio is not -inf.
constexpr double kTinyRatio = 0x1p-900;
constexpr double kRatioMargin = 1.0 + 0x1p-40;
constexpr double kNegativeRatioMargin = 1.0 - 0x1p-40;

double RatioBound(double smallestRatio) {
  if (smallestRatio >= kTinyRatio) return smallestRatio * kRatioMargin;
  if (smallestRatio <= -kTinyRatio) return smallestRatio * kNegativeRatioMargin;
  return kTinyRatio;
}

// The first pass of the ratio test over a block of rows keeps, without a
// jump per row, only the rows that limit the step and that the bounds
// (BlockBounds, taken from the candidate at the start of the block) cannot
// place behind the candidate:
// - ratio: RatioBound of the candidate's ratio. A row with b > -(ratio * e)
//   has a larger ratio, and since the candidate's ratio only falls it cannot
//   change the candidate later in the block either. Without a candidate the
//   bound is infinite and every row that limits the step is kept
//   (b > -(inf * e) is false for every b when e < 0).
// - tie: when the candidate's ratio is 0, RatioBound of its column-1 ratio
//   (else infinite, which passes over no row). A row with b = 0 ties with
//   the candidate at ratio 0, and Offer passes over it without a change
//   when its column-1 entry c has c > -(tie * e): the column-1 ratio is then
//   certainly above the candidate's. Within the block the candidate's ratio
//   can only fall, below 0 (the row then has the larger ratio and changes
//   nothing), or the candidate change on a tie to a row of no larger
//   column-1 ratio, whose bound is no larger (RatioBound rises with its
//   argument): the row is passed over then too. The degenerate programs
//   (every right-hand side 0) offer most of their rows to this tie-break.
// `row` is a tableau row: row[1] is its right-hand side, row[2] column 1.
struct BlockBounds {
  double ratio;
  double tie;
};

// kTie false leaves the tie bound out: for a block whose tie bound is
// infinite (it would pass over no row), and on the baseline instructions,
// where the test costs more than the offers it spares (measured).
template <bool kTie>
inline int Keeps(const double* row, int p, BlockBounds bounds) {
  const double entry = row[p + 1];
  const int limits = static_cast<int>(entry < -kSimplexTolerance);
  const int mayWin = static_cast<int>(!(row[1] > -(bounds.ratio * entry)));
  if (!kTie) return limits & mayWin;
  const int tiesBehind = static_cast<int>(row[1] == 0.0) & static_cast<int>(row[2] > -(bounds.tie * entry));
  return limits & mayWin & (tiesBehind ^ 1);
}

// Keeps over four rows at once, lane by lane the same comparisons and the same
// product; the rows that pass are appended to kept[count..] in order (their
// numbers taken from `numbers`). Most groups keep none and cost no jump. Only
// the AVX2 and AVX-512 builds take it (kFourRows): on the baseline
// instructions the four lanes cost more than four rows one by one.
#if defined(__AVX2__)
constexpr bool kFourRows = true;
#else
constexpr bool kFourRows = false;
#endif
typedef double Lanes4 __attribute__((vector_size(32)));
typedef long long Masks4 __attribute__((vector_size(32)));

template <bool kTie>
inline int KeepFour(const double* row0, const double* row1, const double* row2, const double* row3, int p,
                    BlockBounds bounds, const int* numbers, int* kept, int count) {
  const Lanes4 entry = {row0[p + 1], row1[p + 1], row2[p + 1], row3[p + 1]};
  const Lanes4 rhs = {row0[1], row1[1], row2[1], row3[1]};
  const Lanes4 boundLanes = {bounds.ratio, bounds.ratio, bounds.ratio, bounds.ratio};
  const Lanes4 tolerance = {-kSimplexTolerance, -kSimplexTolerance, -kSimplexTolerance, -kSimplexTolerance};
  const Masks4 limits = entry < tolerance;
  const Masks4 beyond = rhs > -(boundLanes * entry);
  Masks4 keep = limits & ~beyond;
  if (kTie) {
    const Lanes4 first = {row0[2], row1[2], row2[2], row3[2]};
    const Lanes4 tieLanes = {bounds.tie, bounds.tie, bounds.tie, bounds.tie};
    const Lanes4 zero = {0.0, 0.0, 0.0, 0.0};
    keep = keep & ~((rhs == zero) & (first > -(tieLanes * entry)));
  }
  // The lanes' sign bits in one general register: one instruction, where
  // testing the four lanes one by one moves each out of the vector register.
#if defined(__AVX2__)
  const int lanes = __builtin_ia32_movmskpd256((Lanes4)keep);
#else
  const int lanes = static_cast<int>((keep[0] & 1) | (keep[1] & 2) | (keep[2] & 4) | (keep[3] & 8));
#endif
  if (lanes == 0) return count;
  for (int lane = 0; lane < 4; ++lane) {
    kept[count] = numbers[lane];
    count += (lanes >> lane) & 1;
  }
  return count;
}

// The comparisons of the ratio test for column p, row by row in list order:
// only rows whose pivot-column entry lies below -kSimplexTolerance are
// offered; the first becomes the candidate r, a later one replaces it when
// its ratio -b_i / a_ip is smaller, and an exact tie goes to the
// column-by-column comparison. Degenerate programs tie on many rows, and
// column 1 nearly always decides: the candidate row's column-1 ratio is kept
// while it stays the candidate.
struct RatioTestState {
  double** a;
  int n;
  int p;
  int r = 0;  // the candidate row, 0 while there is none
  double ratioR = 0.0;
  double firstR = 0.0;  // column-1 ratio of row r, once haveFirstR
  double firstBound = 0.0;  // RatioBound(firstR), once haveFirstR
  bool haveFirstR = false;
  double secondR = 0.0;  // column-2 ratio of row r, once haveSecondR
  double secondBound = 0.0;
  bool haveSecondR = false;

  RatioTestState(double** tableau, int columns, int column) : a(tableau), n(columns), p(column) {}

  // Constraint row h, whose pivot-column entry limits the step.
  void Offer(int h) {
    const double* rowH = a[h + 1];
    const double entry = rowH[p + 1];
    const double ratioH = StepRatio(rowH[1], entry);
    if (r == 0 || ratioH < ratioR) {
      r = h;
      ratioR = ratioH;
      haveFirstR = false;
      haveSecondR = false;
    } else if (ratioH == ratioR && n >= 1) {
      if (!haveFirstR) {
        firstR = StepRatio(a[r + 1][2], a[r + 1][p + 1]);
        firstBound = RatioBound(firstR);
        haveFirstR = true;
      }
      // A row whose column-1 ratio the bound places above firstR neither
      // wins nor ties: it is passed over without the division.
      if (rowH[2] > -(firstBound * entry)) return;
      const double firstH = StepRatio(rowH[2], entry);
      if (firstH != firstR) {
        if (firstH < firstR) {
          r = h;
          firstR = firstH;
          firstBound = RatioBound(firstR);
          haveSecondR = false;
        }
      } else if (n >= 2) {
        OfferSecondColumn(h, rowH, entry);
      } else if (LaterRowWinsTie(a, n, p, r, h, 2)) {
        r = h;
      }
    }
  }

  // The tie-break of LaterRowWinsTie from column 2 for a row h tied with r on
  // the ratio and on column 1, column 2 taken as column 1 is above: the
  // candidate's column-2 ratio kept while it stays the candidate, a row its
  // bound places above passed over without the division (the first column
  // where the two differ would be column 2, with row h's ratio the larger).
  // Degenerate programs whose entering column is column 1 tie every row on
  // column 1.
  __attribute__((noinline)) void OfferSecondColumn(int h, const double* rowH, double entry) {
    if (!haveSecondR) {
      secondR = StepRatio(a[r + 1][3], a[r + 1][p + 1]);
      secondBound = RatioBound(secondR);
      haveSecondR = true;
    }
    if (rowH[3] > -(secondBound * entry)) return;
    const double secondH = StepRatio(rowH[3], entry);
    if (secondH != secondR) {
      if (secondH < secondR) {
        r = h;  // its column-1 ratio equals firstR
        secondR = secondH;
        secondBound = RatioBound(secondR);
      }
    } else if (LaterRowWinsTie(a, n, p, r, h, 3)) {
      r = h;  // its column-1 and column-2 ratios equal firstR and secondR
    }
  }

  // The bounds of the block of rows that follows (see Keeps). The tie bound
  // takes the candidate's column-1 ratio as Offer would, from the same row.
  BlockBounds Bounds() {
    BlockBounds bounds = {__builtin_inf(), __builtin_inf()};
    if (r == 0) return bounds;
    bounds.ratio = RatioBound(ratioR);
    if (ratioR == 0.0 && n >= 1) {
      if (!haveFirstR) {
        firstR = StepRatio(a[r + 1][2], a[r + 1][p + 1]);
        firstBound = RatioBound(firstR);
        haveFirstR = true;
      }
      bounds.tie = firstBound;
    }
    return bounds;
  }
};

// Ratio test for column p over the constraint rows in list order. Returns the
// pivot row, or 0 when no row limits the step.
//
// The rows are taken in blocks. A first pass over a block keeps the rows that
// pass Keeps; most rows do not. A second pass offers the rows
// kept to RatioTestState, in list order. Rows passed over would have changed
// nothing.
// Keeps, of rows start..end, those that pass Keeps, when the rows lie
// `stride` apart from row 1 at `row1` and the row list is 1..m in order:
// the same test without loading a row pointer.
template <bool kTie>
int KeepStridedRowsOf(const double* row1, std::ptrdiff_t stride, int start, int end, int p, BlockBounds bound,
                      int* kept) {
  int count = 0;
  const double* rowJ = row1 + static_cast<std::ptrdiff_t>(start - 1) * stride;
  int j = start;
  for (; kFourRows && j + 3 <= end; j += 4, rowJ += 4 * stride) {
    const int numbers[4] = {j, j + 1, j + 2, j + 3};
    count = KeepFour<kTie>(rowJ, rowJ + stride, rowJ + 2 * stride, rowJ + 3 * stride, p, bound, numbers, kept, count);
  }
  for (; j <= end; ++j, rowJ += stride) {
    kept[count] = j;
    count += Keeps<kTie>(rowJ, p, bound);
  }
  return count;
}

// Keeps, of tableau rows start..end (constraint rows start-1..end-1, the row
// list being 1..m in order), those that pass Keeps. Kept out of line: inlined
// into the fused step's pass, it spoilt the code of the row updates around
// it (measured: the fused step twice as slow).
template <bool kTie>
__attribute__((noinline)) int KeepTableauRowsOf(double** a, int start, int end, int p, BlockBounds bound,
                                                int* kept) {
  int count = 0;
  int h = start;
  for (; kFourRows && h + 3 <= end; h += 4) {
    const int numbers[4] = {h - 1, h, h + 1, h + 2};
    count = KeepFour<kTie>(a[h], a[h + 1], a[h + 2], a[h + 3], p, bound, numbers, kept, count);
  }
  for (; h <= end; ++h) {
    kept[count] = h - 1;
    count += Keeps<kTie>(a[h], p, bound);
  }
  return count;
}

int KeepTableauRows(double** a, int start, int end, int p, BlockBounds bound, int* kept) {
  return !kFourRows || bound.tie == __builtin_inf() ? KeepTableauRowsOf<false>(a, start, end, p, bound, kept)
                                      : KeepTableauRowsOf<true>(a, start, end, p, bound, kept);
}

// KeepTableauRows for rows of 8 doubles (kWidth 7: columns 1..7 and the
// unused column 0, one 64-byte register), AVX-512 builds by GCC: eight rows
// are loaded whole, one register each, and shuffles bring their right-hand
// sides, column-1 entries and pivot-column entries into one register each,
// where gathering them value by value costs two instructions a value. The
// comparisons are those of Keeps, lane by lane.
#if defined(__AVX512F__) && !defined(__clang__)
#define KORU_WHOLE_ROW_FILTER 1

template <bool kTie>
__attribute__((noinline)) int KeepEightWideRowsOf(double** a, int start, int end, int p, BlockBounds bound,
                                                  int* kept) {
  // Two rows A (lanes 0..7) and B (8..15) to one register: their right-hand
  // sides in lanes 0, 1, column-1 entries in 2, 3, pivot-column entries in 4, 5.
  const Masks8 pairs = {1, 9, 2, 10, p + 1, p + 9, 0, 0};
  // Two such registers (rows 0, 1 and 2, 3) to the right-hand sides and
  // column-1 entries of four rows, and to their pivot-column entries.
  const Masks8 fourValues = {0, 1, 8, 9, 2, 3, 10, 11};
  const Masks8 fourEntries = {4, 5, 12, 13, 4, 5, 12, 13};
  // Two groups of four to eight lanes.
  const Masks8 lowHalves = {0, 1, 2, 3, 8, 9, 10, 11};
  const Masks8 highHalves = {4, 5, 6, 7, 12, 13, 14, 15};
  const Lanes8 boundLanes = {bound.ratio, bound.ratio, bound.ratio, bound.ratio,
                             bound.ratio, bound.ratio, bound.ratio, bound.ratio};
  const Lanes8 tieLanes = {bound.tie, bound.tie, bound.tie, bound.tie, bound.tie, bound.tie, bound.tie, bound.tie};
  const Lanes8 tolerance = {-kSimplexTolerance, -kSimplexTolerance, -kSimplexTolerance, -kSimplexTolerance,
                            -kSimplexTolerance, -kSimplexTolerance, -kSimplexTolerance, -kSimplexTolerance};
  const Lanes8 zero = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  int count = 0;
  int h = start;
  for (; h + 7 <= end; h += 8) {
    Lanes8 rows[8];
    for (int k = 0; k < 8; ++k) __builtin_memcpy(&rows[k], a[h + k], sizeof rows[k]);
    const Lanes8 pair01 = __builtin_shuffle(rows[0], rows[1], pairs);
    const Lanes8 pair23 = __builtin_shuffle(rows[2], rows[3], pairs);
    const Lanes8 pair45 = __builtin_shuffle(rows[4], rows[5], pairs);
    const Lanes8 pair67 = __builtin_shuffle(rows[6], rows[7], pairs);
    const Lanes8 values0 = __builtin_shuffle(pair01, pair23, fourValues);
    const Lanes8 values4 = __builtin_shuffle(pair45, pair67, fourValues);
    const Lanes8 entries0 = __builtin_shuffle(pair01, pair23, fourEntries);
    const Lanes8 entries4 = __builtin_shuffle(pair45, pair67, fourEntries);
    const Lanes8 rhs = __builtin_shuffle(values0, values4, lowHalves);
    const Lanes8 entry = __builtin_shuffle(entries0, entries4, lowHalves);
    const Masks8 limits = entry < tolerance;
    const Masks8 beyond = rhs > -(boundLanes * entry);
    Masks8 keep = limits & ~beyond;
    if (kTie) {
      const Lanes8 first = __builtin_shuffle(values0, values4, highHalves);
      keep = keep & ~((rhs == zero) & (first > -(tieLanes * entry)));
    }
    const int lanes = __builtin_ia32_ptestmq512(keep, keep, 0xFF);
    if (lanes == 0) continue;
    for (int lane = 0; lane < 8; ++lane) {
      kept[count] = h - 1 + lane;
      count += (lanes >> lane) & 1;
    }
  }
  for (; h <= end; ++h) {
    kept[count] = h - 1;
    count += Keeps<kTie>(a[h], p, bound);
  }
  return count;
}

int KeepEightWideRows(double** a, int start, int end, int p, BlockBounds bound, int* kept) {
  return bound.tie == __builtin_inf() ? KeepEightWideRowsOf<false>(a, start, end, p, bound, kept)
                                      : KeepEightWideRowsOf<true>(a, start, end, p, bound, kept);
}
#endif

// KeepTableauRows, by rows of 8 doubles where the build has that filter.
template <int kWidth>
int KeepRowsOfWidth(double** a, int start, int end, int p, BlockBounds bound, int* kept) {
#if defined(KORU_WHOLE_ROW_FILTER)
  if (kWidth == 7) return KeepEightWideRows(a, start, end, p, bound, kept);
#endif
  return KeepTableauRows(a, start, end, p, bound, kept);
}

int KeepStridedRows(const double* row1, std::ptrdiff_t stride, int start, int end, int p, BlockBounds bound,
                    int* kept) {
  return !kFourRows || bound.tie == __builtin_inf() ? KeepStridedRowsOf<false>(row1, stride, start, end, p, bound, kept)
                                      : KeepStridedRowsOf<true>(row1, stride, start, end, p, bound, kept);
}

int FindPivotRow(double** a, const int* rows, int m, int n, int p, std::ptrdiff_t stride) {
  int i = 1;
  while (i <= m && !(a[rows[i] + 1][p + 1] < -kSimplexTolerance)) ++i;
  if (i > m) return 0;
  RatioTestState test(a, n, p);
  test.Offer(rows[i]);
  constexpr int kBlock = 256;
  int kept[kBlock];
  for (int start = i + 1; start <= m; start += kBlock) {
    const int end = m - start < kBlock ? m : start + kBlock - 1;
    const BlockBounds bound = test.Bounds();
    int count = 0;
    if (stride != 0) {
      count = KeepStridedRows(a[2], stride, start, end, p, bound, kept);
    } else {
      for (int j = start; j <= end; ++j) {
        kept[count] = rows[j];
        count += Keeps<kFourRows>(a[rows[j] + 1], p, bound);
      }
    }
    for (int c = 0; c < count; ++c) test.Offer(kept[c]);
  }
  return test.r;
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

// The exchange step of a wide tableau (more than kFusedMaxWidth columns in
// use: the envelopment programs of Set 3, a few rows of thousands of
// columns), the other rows and the pivot row in one pass. Row by row, each
// row's update would read the whole pivot row again, and a row of 5000
// columns (40 KB) beside the pivot row is more than the first-level cache
// holds: the pivot row would stream from the second-level cache once per
// row. Instead the columns go in blocks of kWideBlock: every row's part of a
// block is written while the pivot row's part stays in the first-level
// cache, the pivot row's part last. Each element gets the operations of
// ReduceOtherRows and of the pivot-row update in Pivot, from the same
// operands: a row's factor is read from its pivot-column entry before any of
// its entries is written, the pivot row's entries are written only after
// every other row's entries of their column, and the pivot column's values
// are stored last, as in Pivot. The rows go in groups of kWideRows, whose
// factors are held at once; the pivot row is written with the last group.
constexpr int kWideBlock = 1024;  // columns: 8 KB of the pivot row
constexpr int kWideRows = 32;

void ExchangeWide(double** a, int lastRow, int n, int r, int p, double piv) {
  double* const pivotRow = a[r + 1];
  const int width = n + 1;
  double factors[kWideRows];
  double* rows[kWideRows];
  int h = 1;
  for (;;) {
    int count = 0;
    for (; h <= lastRow && count < kWideRows; ++h) {
      if (h == r + 1) continue;
      rows[count] = a[h];
      factors[count] = a[h][p + 1] * piv;
      ++count;
    }
    while (h <= lastRow && h == r + 1) ++h;
    const bool last = h > lastRow;
    for (int start = 1; start <= width; start += kWideBlock) {
      const int end = width - start < kWideBlock ? width : start + kWideBlock - 1;
      for (int c = 0; c < count; ++c) {
        double* const row = rows[c];
        const double factor = factors[c];
        for (int k = start; k <= end; ++k) row[k] = row[k] - pivotRow[k] * factor;
      }
      if (last) {
        for (int k = start; k <= end; ++k) pivotRow[k] = -pivotRow[k] * piv;
      }
    }
    for (int c = 0; c < count; ++c) rows[c][p + 1] = factors[c];
    if (last) break;
  }
  pivotRow[p + 1] = piv;
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

// The whole exchange step: the other rows, then the pivot row.
// The baseline build keeps the rows one by one: with its 16-byte registers
// the column blocks run slower than the pivot row read again from the
// second-level cache (measured, bench/README.md).
#if defined(__AVX2__)
constexpr bool kWideBlocks = true;
#else
constexpr bool kWideBlocks = false;
#endif

void ExchangeRows(double** a, int lastRow, int n, int r, int p, double piv) {
  if (kWideBlocks && n + 1 > kFusedMaxWidth) {
    ExchangeWide(a, lastRow, n, r, p, piv);
    return;
  }
  ReduceOtherRows(a, lastRow, n, r, p, piv);
  double* pivotRow = a[r + 1];
  for (int k = 1; k <= n + 1; ++k) pivotRow[k] = -pivotRow[k] * piv;
  pivotRow[p + 1] = piv;
}

// The fused exchange step (see FusedExchange in SimplexKernels.h) for a
// tableau of kWidth = n + 1 columns in use.
//
// It is the same computation as the exchange step (Pivot), followed by the
// column flip of phase 1, the entering-column search and FindPivotRow:
// - Every element gets the operations of ReduceOtherRows and of the pivot
//   row's update in Pivot, from the same operands: each row's new entries
//   depend only on its own old entries and on the pivot row's old entries,
//   which are copied before the pass, so the order in which rows are written
//   (the search row first, the pivot row in its place among the others)
//   changes no bit. The column flip negates a stored value, which is exact:
//   storing -factor is storing factor and negating it.
// - The search row is complete before the search, as it is when the search
//   follows the step; the search and the ratio test only read the tableau.
// - The ratio test runs Keeps and RatioTestState::Offer, the code of
//   FindPivotRow, on the same new entries, rows in the same order: the
//   constraint rows go in blocks of kBlock; a block is written, then Keeps
//   filters it with the bound of the candidate at its start, then its kept
//   rows are offered in order, before any later row is written. An offer
//   reads only the candidate row and the offered row, both written by then.
//   The blocks start at row 1 rather than after the first limiting row, and
//   the first block may keep rows FindPivotRow passes over; that changes no
//   candidate (see Keeps), so the pivot row is the same.
// A block of 256 rows of up to 16 doubles (32 KB at most, 18 KB for the
// worst case's 9) is still in the first-level cache when Keeps reads it: the
// ratio test no longer streams the tableau from the second-level cache.
template <int kWidth>
int ReduceRowsFindPivotRowNarrow(double** a, const FusedExchange& step) {
  const int pivotRowIndex = step.r + 1;
  const int p = step.p;
  const double piv = step.piv;
  const bool negate = step.negatePivotColumn;
  double pivotEntries[kWidth];
  for (int k = 0; k < kWidth; ++k) pivotEntries[k] = a[pivotRowIndex][k + 1];
  // Writes tableau rows first..last but the pivot row and doneRow
  // (row[k - 1] is column k), then the pivot row if it lies among them.
  auto update = [&](int first, int last) __attribute__((always_inline)) {
    for (int h = first; h <= last; ++h) {
      if (h == pivotRowIndex || h == step.doneRow) continue;
      double* row = a[h] + 1;
      const double factor = row[p] * piv;
      for (int k = 0; k < kWidth; ++k) row[k] = row[k] - pivotEntries[k] * factor;
      row[p] = negate ? -factor : factor;
    }
    if (first <= pivotRowIndex && pivotRowIndex <= last) {
      double* row = a[pivotRowIndex] + 1;
      for (int k = 0; k < kWidth; ++k) row[k] = -pivotEntries[k] * piv;
      row[p] = negate ? -piv : piv;
    }
  };

  const int q = step.nextColumn;
  const int lastConstraintRow = step.m + 1 < step.lastRow ? step.m + 1 : step.lastRow;
  update(1, 1);
  if (q == 0) {
    update(2, step.lastRow);
    return 0;
  }
  RatioTestState test(a, kWidth - 1, q);
  constexpr int kBlock = 256;
  int kept[kBlock];
  for (int start = 2; start <= lastConstraintRow; start += kBlock) {
    const int end = lastConstraintRow - start < kBlock ? lastConstraintRow : start + kBlock - 1;
    update(start, end);
    const int count = KeepRowsOfWidth<kWidth>(a, start, end, q, test.Bounds(), kept);
    for (int c = 0; c < count; ++c) test.Offer(kept[c]);
  }
  update(lastConstraintRow + 1, step.lastRow);
  return test.r;
}

int ReduceRowsFindPivotRow(double** a, const FusedExchange& step) {
  switch (step.n + 1) {
    case 2: return ReduceRowsFindPivotRowNarrow<2>(a, step);
    case 3: return ReduceRowsFindPivotRowNarrow<3>(a, step);
    case 4: return ReduceRowsFindPivotRowNarrow<4>(a, step);
    case 5: return ReduceRowsFindPivotRowNarrow<5>(a, step);
    case 6: return ReduceRowsFindPivotRowNarrow<6>(a, step);
    case 7: return ReduceRowsFindPivotRowNarrow<7>(a, step);
    case 8: return ReduceRowsFindPivotRowNarrow<8>(a, step);
    case 9: return ReduceRowsFindPivotRowNarrow<9>(a, step);
    case 10: return ReduceRowsFindPivotRowNarrow<10>(a, step);
    case 11: return ReduceRowsFindPivotRowNarrow<11>(a, step);
    case 12: return ReduceRowsFindPivotRowNarrow<12>(a, step);
    case 13: return ReduceRowsFindPivotRowNarrow<13>(a, step);
    case 14: return ReduceRowsFindPivotRowNarrow<14>(a, step);
    case 15: return ReduceRowsFindPivotRowNarrow<15>(a, step);
    case 16: return ReduceRowsFindPivotRowNarrow<16>(a, step);
    default: return 0;  // the caller fuses only these widths
  }
}

// The survey of simplx's input (TableauSurvey) in one pass with the first
// ratio test of the solve, for a tableau of kWidth = n + 1 columns in use
// (kWidth 0: any width). The survey reads every entry of rows 1..m+1 once,
// the ratio test two entries of each constraint row: done block by block, the
// ratio test reads rows the survey has just brought into the first-level
// cache. The ratio test is that of FindPivotRow over the list 1..m, run as
// in ReduceRowsFindPivotRowNarrow (blocks from row 1, Keeps, then Offer in
// order), on the unchanged tableau.
constexpr unsigned long long kExponentBits = 0x7FF0000000000000ULL;
constexpr unsigned long long kExponentUnit = 0x0010000000000000ULL;
constexpr unsigned long long kCarryBit = 0x8000000000000000ULL;

// Whether any of count consecutive doubles is a NaN or an infinity (the bit
// test of TableauSurvey), in one loop the compiler runs in vector registers.
__attribute__((noinline)) bool AnyNotFinite(const double* values, std::ptrdiff_t count) {
  unsigned long long found = 0;
  for (std::ptrdiff_t e = 0; e < count; ++e) {
    unsigned long long bits;
    __builtin_memcpy(&bits, &values[e], sizeof bits);
    found |= ((bits & kExponentBits) + kExponentUnit) & kCarryBit;
  }
  return found != 0;
}

template <int kWidth>
int SurveyFindPivotRowOf(double** a, int m, int n, int q, TableauSurvey& survey) {
  const int width = kWidth > 0 ? kWidth : n + 1;
  const std::ptrdiff_t stride = m >= 2 ? a[3] - a[2] : 0;
  bool uniform = stride > 0;
  for (int i = 3; uniform && i <= m + 1; ++i) uniform = a[i] == a[2] + static_cast<std::ptrdiff_t>(i - 2) * stride;
  unsigned long long found = 0;
  int firstNegative = 0;
  // Rows first..last (tableau rows) of the survey. When the constraint rows
  // lie `stride` apart, the stretch of memory from the first entry in use of
  // row first to the last of row last holds every entry the survey tests
  // (and column 0 of the rows between, and any gap): when it holds no NaN
  // or infinity at all, neither do the rows, and the test row by row is
  // needed only when it does.
  auto surveyRows = [&](int first, int last) {
    const bool flat = uniform && first >= 2;
    if (!flat || AnyNotFinite(a[first] + 1, static_cast<std::ptrdiff_t>(last - first) * stride + width)) {
      for (int i = first; i <= last; ++i) {
        const double* row = a[i] + 1;
        unsigned long long rowFound = 0;
        for (int k = 0; k < width; ++k) {
          unsigned long long bits;
          __builtin_memcpy(&bits, &row[k], sizeof bits);
          rowFound |= ((bits & kExponentBits) + kExponentUnit) & kCarryBit;
        }
        found |= rowFound;
      }
    }
    for (int i = first < 2 ? 2 : first; firstNegative == 0 && i <= last; ++i) {
      if (a[i][1] < 0.0) firstNegative = i - 1;
    }
  };
  surveyRows(1, 1);
  int r = 0;
  if (q == 0) {
    surveyRows(2, m + 1);
  } else {
    RatioTestState test(a, n, q);
    constexpr int kBlock = 256;
    int kept[kBlock];
    for (int start = 2; start <= m + 1; start += kBlock) {
      const int end = m + 1 - start < kBlock ? m + 1 : start + kBlock - 1;
      surveyRows(start, end);
      const int count = KeepRowsOfWidth<kWidth>(a, start, end, q, test.Bounds(), kept);
      for (int c = 0; c < count; ++c) test.Offer(kept[c]);
    }
    r = test.r;
  }
  survey.firstNegative = firstNegative;
  survey.hasNaN = found != 0;
  survey.stride = uniform ? stride : 0;
  return r;
}

int SurveyFindPivotRow(double** a, int m, int n, int q, TableauSurvey& survey) {
  switch (n + 1) {
    case 2: return SurveyFindPivotRowOf<2>(a, m, n, q, survey);
    case 3: return SurveyFindPivotRowOf<3>(a, m, n, q, survey);
    case 4: return SurveyFindPivotRowOf<4>(a, m, n, q, survey);
    case 5: return SurveyFindPivotRowOf<5>(a, m, n, q, survey);
    case 6: return SurveyFindPivotRowOf<6>(a, m, n, q, survey);
    case 7: return SurveyFindPivotRowOf<7>(a, m, n, q, survey);
    case 8: return SurveyFindPivotRowOf<8>(a, m, n, q, survey);
    case 9: return SurveyFindPivotRowOf<9>(a, m, n, q, survey);
    case 10: return SurveyFindPivotRowOf<10>(a, m, n, q, survey);
    default: return SurveyFindPivotRowOf<0>(a, m, n, q, survey);
  }
}

}  // namespace

extern const SimplexKernels KORU_KERNEL_NAME(KORU_KERNEL_PATH);
const SimplexKernels KORU_KERNEL_NAME(KORU_KERNEL_PATH) = {FindLargestCandidate,
                                                           FindLargestAscendingCandidate,
                                                           FindPivotRow,
                                                           ReduceOtherRows,
                                                           ExchangeRows,
                                                           ReduceRowsFindPivotRow,
                                                           SurveyFindPivotRow,
                                                           KORU_KERNEL_STRING(KORU_KERNEL_PATH)};

#if defined(KORU_KERNEL_TARGET_POP)
#pragma clang attribute pop
#endif
