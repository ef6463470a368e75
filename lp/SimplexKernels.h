#pragma once
// The inner loops of simplx, one set per vector unit, chosen at run time.
//
// The executable carries a plain set (the baseline x86-64 instructions) and,
// on x86-64, sets built for AVX2 and for AVX-512; at start-up the widest one
// the processor runs is chosen. All of them give the same bits: the same
// operations per element in the same order, no fused multiply-add.

#include <cstddef>
#include <cstdint>

struct SimplexKernels {
  // Entering-column search over candidates[1..numCandidates] of `entries`
  // (a tableau row); `absolute` compares absolute values.
  void (*findLargestCandidate)(const double* entries, const int* candidates, int numCandidates, bool absolute,
                               int& column, double& value);
  // Ratio test for column p over rows[1..m]; the pivot row, or 0. A stride
  // other than 0 says that rows[i] = i and that row i starts at
  // a[1] + i * stride, for every constraint row.
  int (*findPivotRow)(double** a, const int* rows, int m, int n, int p, std::ptrdiff_t stride);
  // The other rows 1..lastRow (but r + 1) of an exchange step at row r, column p.
  void (*reduceOtherRows)(double** a, int lastRow, int n, int r, int p, double piv);
  const char* name;  // "plain", "avx2" or "avx512"
};

enum class VectorPath { kPlain, kAvx2, kAvx512 };

// The widest path this processor runs.
VectorPath BestVectorPath();
const char* VectorPathName(VectorPath path);

// The kernels in use (BestVectorPath unless a test chose another).
const SimplexKernels& ActiveSimplexKernels();
VectorPath ActiveVectorPath();

// Visible for testing: switches every later solve to `path`; false (and no
// change) when this processor or build cannot run it.
bool UseVectorPath(VectorPath path);
