#pragma once
// The inner loops of simplx, one set per vector unit, chosen at run time.
//
// The executable carries a plain set (the baseline x86-64 instructions) and,
// on x86-64, sets built for AVX2 and for AVX-512; at start-up the widest one
// the processor runs is chosen. All of them give the same bits: the same
// operations per element in the same order, no fused multiply-add.

#include <cstddef>
#include <cstdint>

// An exchange step at constraint row r, column p over tableau rows 1..lastRow
// and columns 1..n+1, the caller having already updated row doneRow (the row
// the next entering-column search reads) and chosen the next entering column
// from it. The pass updates every other row as the plain exchange step does,
// in row order, the pivot row (r+1) included, from a copy of the pivot row's
// entries taken before any is written. With negatePivotColumn it stores
// column p+1 negated in every row it writes (the column flip that follows
// the step when an artificial or unflipped surplus variable leaves in phase
// 1). With nextColumn q != 0 it also runs the ratio test for q over the
// constraint rows 1..m (tableau rows 2..m+1, the row list being 1..m) on
// the rows' new entries.
struct FusedExchange {
  int lastRow = 0;
  int n = 0;
  int r = 0;
  int p = 0;
  double piv = 0.0;  // 1 / (r+1, p+1), read before the step
  int doneRow = 0;
  bool negatePivotColumn = false;
  int m = 0;
  int nextColumn = 0;
};

// The checks simplx makes of its input, from one pass over rows 1..m+1:
// - firstNegative: the first constraint row i (1..m) whose right-hand side
//   (i+1, 1) is below 0, or 0.
// - hasNaN: some entry of rows 1..m+1, columns 1..n+1, is a NaN or an
//   infinity. A double is infinite or NaN exactly when all its exponent bits
//   are set; one unit added to the lowest of them then carries into the sign
//   bit, so the test runs on the bit patterns without a branch per element.
// - stride: the distance from one constraint row to the next when rows 1..m
//   all lie that far apart from row 1 (a packed tableau), else 0.
struct TableauSurvey {
  int firstNegative = 0;
  bool hasNaN = false;
  std::ptrdiff_t stride = 0;
};

// The widest tableau (columns in use, n + 1) the fused step takes; its pivot
// row is held in registers.
constexpr int kFusedMaxWidth = 16;

struct SimplexKernels {
  // Entering-column search over candidates[1..numCandidates] of `entries`
  // (a tableau row); `absolute` compares absolute values.
  void (*findLargestCandidate)(const double* entries, const int* candidates, int numCandidates, bool absolute,
                               int& column, double& value);
  // The same search (not `absolute`) over a list in ascending column order,
  // as simplx keeps its candidates: the same column and value.
  void (*findLargestAscendingCandidate)(const double* entries, const int* candidates, int numCandidates, int& column,
                                        double& value);
  // Ratio test for column p over rows[1..m]; the pivot row, or 0. A stride
  // other than 0 says that rows[i] = i and that row i starts at
  // a[1] + i * stride, for every constraint row.
  int (*findPivotRow)(double** a, const int* rows, int m, int n, int p, std::ptrdiff_t stride);
  // The other rows 1..lastRow (but r + 1) of an exchange step at row r, column p.
  void (*reduceOtherRows)(double** a, int lastRow, int n, int r, int p, double piv);
  // The whole exchange step at row r, column p over rows 1..lastRow: the
  // other rows as reduceOtherRows, then the pivot row becomes (-entry) * piv
  // and its pivot entry piv. Wide tableaus go in blocks of columns.
  void (*exchangeRows)(double** a, int lastRow, int n, int r, int p, double piv);
  // An exchange step whose pass over the rows also runs the ratio test of the
  // step after it (see FusedExchange); the pivot row of that test, or 0. For
  // tableaus of 2..kFusedMaxWidth columns in use.
  int (*reduceRowsFindPivotRow)(double** a, const struct FusedExchange& step);
  // The survey of the input (TableauSurvey) and, with q != 0, in the same
  // pass the ratio test for column q over the constraint rows 1..m in order
  // (the row list simplx starts from): its pivot row, or 0. The ratio test's
  // result means something only when the survey finds nothing wrong.
  int (*surveyFindPivotRow)(double** a, int m, int n, int q, TableauSurvey& survey);
  const char* name;  // "plain", "avx2" or "avx512"
};

enum class VectorPath { kPlain, kAvx2, kAvx512 };

// The widest path this processor runs.
VectorPath BestVectorPath();
const char* VectorPathName(VectorPath path);

// The kernels in use (BestVectorPath unless a test chose another).
const SimplexKernels& ActiveSimplexKernels();
VectorPath ActiveVectorPath();

// Why this build or processor cannot run `path` ("this build has no vector
// kernels", "the processor has no AVX2", ...); nullptr when it can.
const char* VectorPathUnavailable(VectorPath path);

// Visible for testing: switches every later solve to `path`; false (and no
// change) when this processor or build cannot run it.
bool UseVectorPath(VectorPath path);
