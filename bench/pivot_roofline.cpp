// Roofline figures for the exchange steps (bench/README.md, "Roofline of the
// worst case" and "The wide steps of Set 3").
//
// 1. Second-level-cache bandwidth of one core, on a buffer of the size of the
//    tableau measured (the worst case's tall tableau, 5003 rows of 8 doubles,
//    313 KB; its wide one, 7 rows of 5004 doubles, 274 KB: larger than the
//    first-level cache, smaller than the second): a read pass, a write pass
//    and an update pass (read and write back, x = x - c * y as the pivot does).
// 2. One exchange step of a tall tableau and the ratio test that follows it,
//    on every vector path this processor runs: the two passes one after the
//    other (the pivot pass, then the ratio test walking the rows again), and
//    the fused step (one pass that updates each row and feeds the ratio test).
// 3. One exchange step of a wide tableau (the envelopment programs of Set 3)
//    with the entering-column search and the ratio test that follow it:
//    row by row with the pivot row read again for every row and the search
//    through the candidate list's indices (the code before the column
//    blocks), against the kernels' exchange in blocks of columns and the
//    search over consecutive candidates. Both must leave the same bits.
//
// Every figure is the shortest of many repetitions, each on a tableau freshly
// copied into the cache, so that other jobs on the machine disturb it little.
//
//   pivot_roofline [rows [width [repetitions [wideRows [wideWidth]]]]]
//   (default 5003 7 3000 7 5003: the worst case of bench/README.md, M = K = 2)

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "lp/Simplex.h"
#include "lp/SimplexKernels.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Storage from a 64-byte boundary, as the solver's tableaus have it: a row
// of 8 doubles is then one cache line.
template <typename T>
struct CacheLineAllocator {
  using value_type = T;
  CacheLineAllocator() = default;
  template <typename U>
  CacheLineAllocator(const CacheLineAllocator<U>&) {}
  T* allocate(std::size_t count) {
    return static_cast<T*>(::operator new(count * sizeof(T), std::align_val_t(64)));
  }
  void deallocate(T* cells, std::size_t) { ::operator delete(cells, std::align_val_t(64)); }
  bool operator==(const CacheLineAllocator&) const { return true; }
  bool operator!=(const CacheLineAllocator&) const { return false; }
};
using Cells = std::vector<double, CacheLineAllocator<double>>;

// Keeps a value alive without the compiler knowing it is unused.
volatile double gSink = 0.0;

// The shortest time of `repetitions` runs of `work`, each after `prepare`.
template <typename Prepare, typename Work>
double Shortest(int repetitions, Prepare prepare, Work work) {
  double best = 1e30;
  for (int i = 0; i < repetitions; ++i) {
    prepare();
    const Clock::time_point start = Clock::now();
    work();
    best = std::min(best, Seconds(start, Clock::now()));
  }
  return best;
}

// Two doubles side by side: the loops below move 16 bytes per load and store
// with the baseline instructions, so that they are bound by the cache, not by
// the count of instructions.
typedef double Pair __attribute__((vector_size(16)));

// The same passes with 64-byte loads and stores (AVX-512), as the kernels'
// widest path moves the tableau: the 16-byte passes above are bound by the
// count of their instructions before the cache is.
typedef double Lanes8 __attribute__((vector_size(64)));

__attribute__((target("avx512f"), noinline)) double ReadPass64(const double* x, std::size_t lanes) {
  Lanes8 s[4] = {};
  for (std::size_t i = 0; i + 31 < lanes; i += 32) {
    for (int j = 0; j < 4; ++j) {
      Lanes8 v;
      __builtin_memcpy(&v, x + i + 8 * j, sizeof v);
      s[j] = s[j] + v;
    }
  }
  const Lanes8 total = s[0] + s[1] + s[2] + s[3];
  return total[0] + total[7];
}

__attribute__((target("avx512f"), noinline)) void UpdatePass64(double* x, std::size_t lanes, double c) {
  const Lanes8 factor = {c, c, c, c, c, c, c, c};
  for (std::size_t i = 0; i + 7 < lanes; i += 8) {
    Lanes8 v;
    __builtin_memcpy(&v, x + i, sizeof v);
    v = v - factor * v;
    __builtin_memcpy(x + i, &v, sizeof v);
  }
}

void WideStreamFigures(double* x, std::size_t doubles, int repetitions) {
  const std::size_t lanes = doubles / 32 * 32;
  const double bytes = static_cast<double>(lanes * sizeof(double));
  auto warm = [&] { gSink = ReadPass64(x, lanes); };
  const double read = Shortest(repetitions, warm, [&] { gSink = ReadPass64(x, lanes); });
  // A factor of 0 (not known when compiling) keeps the values at 1, clear of
  // subnormal numbers however many repetitions run.
  const double update = Shortest(repetitions, warm, [&] { UpdatePass64(x, lanes, gSink * 0.0); });
  std::printf("  with 64-byte registers (AVX-512): read %7.2f GB/s, update %7.2f GB/s (bytes read + written)\n",
              bytes / read / 1e9, 2.0 * bytes / update / 1e9);
}

void StreamFigures(std::size_t doubles, int repetitions) {
  const std::size_t pairs = doubles / 2;
  std::vector<Pair> x(pairs, Pair{1.0, 1.0});
  const double bytes = static_cast<double>(pairs * sizeof(Pair));
  auto warm = [&] {
    double sum = 0.0;
    for (std::size_t i = 0; i < pairs; i += 4) sum = sum + x[i][0];
    gSink = sum;
  };
  // Eight sums side by side, so that the additions do not wait on one another.
  const double read = Shortest(repetitions, warm, [&] {
    Pair s[8] = {};
    for (std::size_t i = 0; i + 7 < pairs; i += 8) {
      for (int j = 0; j < 8; ++j) s[j] = s[j] + x[i + j];
    }
    Pair total = {0.0, 0.0};
    for (int j = 0; j < 8; ++j) total = total + s[j];
    gSink = total[0] + total[1];
  });
  const double write = Shortest(repetitions, warm, [&] {
    const Pair value = {gSink, gSink};
    for (std::size_t i = 0; i < pairs; ++i) x[i] = value;
  });
  const double update = Shortest(repetitions, warm, [&] {
    const double c = 0.25 + gSink * 0.0;
    const Pair factor = {c, c};
    for (std::size_t i = 0; i < pairs; ++i) x[i] = x[i] - factor * x[i];
  });
  std::printf("second-level cache, one core, %.0f KB buffer:\n", bytes / 1024.0);
  std::printf("  read   %7.2f GB/s\n", bytes / read / 1e9);
  std::printf("  write  %7.2f GB/s\n", bytes / write / 1e9);
  std::printf("  update %7.2f GB/s (bytes read + written)\n", 2.0 * bytes / update / 1e9);
  if (__builtin_cpu_supports("avx512f")) WideStreamFigures(reinterpret_cast<double*>(x.data()), doubles, repetitions);
}

// A packed tall tableau with random entries: rows 1..rows-1 of width
// columns in use (column 0 unused), right-hand sides >= 0, many entries of the
// pivot column below the tolerance.
struct Tableau {
  int rows = 0;
  int width = 0;
  std::ptrdiff_t stride = 0;
  Cells cells;
  std::vector<double*> table;

  Tableau(int rowCount, int columns, bool degenerate) : rows(rowCount), width(columns), stride(columns + 1) {
    cells.assign(static_cast<std::size_t>(rows + 1) * static_cast<std::size_t>(stride), 0.0);
    table.resize(static_cast<std::size_t>(rows) + 1);
    for (int i = 0; i <= rows; ++i) table[static_cast<std::size_t>(i)] = cells.data() + i * stride;
    std::mt19937 random(5003u);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int i = 1; i <= rows; ++i) {
      for (int k = 1; k <= width; ++k) table[static_cast<std::size_t>(i)][k] = uniform(random);
      table[static_cast<std::size_t>(i)][1] = i == 1 || degenerate ? 0.0 : 1.0 + uniform(random);
    }
  }
};

void PivotFigures(int rows, int width, int repetitions, bool degenerate) {
  const int n = width - 1;
  const int m = rows - 2;  // constraint rows 1..m; row m+2 is the auxiliary row of phase 1
  Tableau pristine(rows, width, degenerate);
  Tableau work(rows, width, degenerate);
  std::vector<int> rowList(static_cast<std::size_t>(m) + 1);
  for (int i = 1; i <= m; ++i) rowList[static_cast<std::size_t>(i)] = i;
  const int p = 2, q = 3;
  // The pivot row: the ratio test's choice for column p on the fresh tableau.
  const int r = ActiveSimplexKernels().findPivotRow(pristine.table.data(), rowList.data(), m, n, p, 0);
  if (r == 0) {
    std::printf("no pivot row\n");
    return;
  }
  const double bytes = static_cast<double>(rows) * static_cast<double>(work.stride) * sizeof(double);
  // A fresh copy, then one read of it, so that it is the tableau the
  // second-level cache holds.
  auto refresh = [&] {
    std::memcpy(work.cells.data(), pristine.cells.data(), pristine.cells.size() * sizeof(double));
    double sum = 0.0;
    for (std::size_t i = 0; i < work.cells.size(); i += 8) sum = sum + work.cells[i];
    gSink = sum;
  };
  auto updateRow1 = [&](double** a, double piv) {
    double* target = a[1];
    const double* pivotRow = a[r + 1];
    const double factor = target[p + 1] * piv;
    for (int k = 1; k <= n + 1; ++k) target[k] = target[k] - pivotRow[k] * factor;
    target[p + 1] = factor;
  };

  std::printf("exchange step and next ratio test, %d rows x %d columns in use (%.0f KB), pivot (%d, %d), next "
              "column %d:\n",
              rows, width, bytes / 1024.0, r, p, q);
  std::printf("  %-7s %12s %12s %12s %14s %14s\n", "path", "pivot us", "ratio us", "separate us", "fused us",
              "fused/separate");
  for (VectorPath path : {VectorPath::kPlain, VectorPath::kAvx2, VectorPath::kAvx512}) {
    if (!UseVectorPath(path)) continue;
    const SimplexKernels& kernels = ActiveSimplexKernels();
    double** a = work.table.data();
    int chosen = 0;
    const double pivotOnly = Shortest(repetitions, refresh, [&] {
      const double piv = 1.0 / a[r + 1][p + 1];
      kernels.reduceOtherRows(a, m + 1, n, r, p, piv);
      for (int k = 1; k <= n + 1; ++k) a[r + 1][k] = -a[r + 1][k] * piv;
      a[r + 1][p + 1] = piv;
    });
    const double ratioOnly = Shortest(repetitions, refresh, [&] {
      chosen = kernels.findPivotRow(a, rowList.data(), m, n, q, work.stride);
    });
    int separateRow = 0;
    const double separate = Shortest(repetitions, refresh, [&] {
      const double piv = 1.0 / a[r + 1][p + 1];
      kernels.reduceOtherRows(a, m + 1, n, r, p, piv);
      for (int k = 1; k <= n + 1; ++k) a[r + 1][k] = -a[r + 1][k] * piv;
      a[r + 1][p + 1] = piv;
      separateRow = kernels.findPivotRow(a, rowList.data(), m, n, q, work.stride);
    });
    Cells separateCells = work.cells;
    int fusedRow = 0;
    const double fused = Shortest(repetitions, refresh, [&] {
      FusedExchange step;
      step.lastRow = m + 1;
      step.n = n;
      step.r = r;
      step.p = p;
      step.piv = 1.0 / a[r + 1][p + 1];
      step.doneRow = 1;
      step.m = m;
      step.nextColumn = q;
      updateRow1(a, step.piv);
      fusedRow = kernels.reduceRowsFindPivotRow(a, step);
    });
    const bool same = fusedRow == separateRow &&
                      std::memcmp(separateCells.data(), work.cells.data(), work.cells.size() * sizeof(double)) == 0;
    gSink = gSink + chosen;
    std::printf("  %-7s %12.2f %12.2f %12.2f %14.2f %14.3f%s\n", VectorPathName(path), pivotOnly * 1e6,
                ratioOnly * 1e6, separate * 1e6, fused * 1e6, fused / separate, same ? "" : "  (results differ!)");
    std::printf("  %-7s bytes per step at those rates: separate %.2f GB/s (3 passes), fused %.2f GB/s (2 passes)\n",
                "", 3.0 * bytes / separate / 1e9, 2.0 * bytes / fused / 1e9);
  }
  UseVectorPath(BestVectorPath());
}

// A wide tableau as Set 3 poses it: rows 1..rows (the objective, rows - 2
// constraint rows and the auxiliary row of phase 1) of width columns in use,
// packed with stride width + 1; right-hand sides >= 0.
struct WideTableau {
  int rows = 0;
  int width = 0;
  std::ptrdiff_t stride = 0;
  Cells cells;
  std::vector<double*> table;

  WideTableau(int rowCount, int columns) : rows(rowCount), width(columns), stride(columns + 1) {
    cells.assign(static_cast<std::size_t>(rows + 2) * static_cast<std::size_t>(stride), 0.0);
    table.resize(static_cast<std::size_t>(rows) + 1);
    for (int i = 0; i <= rows; ++i) table[static_cast<std::size_t>(i)] = cells.data() + i * stride;
    std::mt19937 random(5004u);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int i = 1; i <= rows; ++i) {
      for (int k = 1; k <= width; ++k) table[static_cast<std::size_t>(i)][k] = uniform(random);
      table[static_cast<std::size_t>(i)][1] = i == 1 ? 0.0 : 1.0 + uniform(random);
    }
  }
};

void WideFigures(int rows, int width, int repetitions) {
  const int n = width - 1;
  const int m = rows - 2;  // constraint rows 1..m; tableau rows 2..m+1, the auxiliary row m+2
  const int lastRow = m + 2;  // a phase-1 step
  WideTableau pristine(rows, width);
  WideTableau work(rows, width);
  std::vector<int> rowList(static_cast<std::size_t>(m) + 1);
  for (int i = 1; i <= m; ++i) rowList[static_cast<std::size_t>(i)] = i;
  // Candidates 1..n but one column, as after an artificial variable has left.
  std::vector<int> candidates(static_cast<std::size_t>(n) + 1);
  int numCandidates = 0;
  for (int k = 1; k <= n; ++k) {
    if (k != n / 3) candidates[static_cast<std::size_t>(++numCandidates)] = k;
  }
  const int p = n / 2;
  const int r = ActiveSimplexKernels().findPivotRow(pristine.table.data(), rowList.data(), m, n, p, 0);
  if (r == 0) {
    std::printf("no pivot row\n");
    return;
  }
  const double rowBytes = static_cast<double>(width) * sizeof(double);
  const double bytes = static_cast<double>(lastRow) * rowBytes;
  auto refresh = [&] {
    std::memcpy(work.cells.data(), pristine.cells.data(), pristine.cells.size() * sizeof(double));
    double sum = 0.0;
    for (std::size_t i = 0; i < work.cells.size(); i += 8) sum = sum + work.cells[i];
    gSink = sum;
  };
  // Bytes each way moves through the second-level cache: row by row, every
  // other row is read and written and the pivot row read with it, the pivot
  // row read and written at the end; in blocks every row is read and written
  // once. The search reads row 1 and the candidate list.
  const double searchBytes = rowBytes + static_cast<double>(numCandidates) * sizeof(int);
  const double rowByRowBytes = 3.0 * (lastRow - 1) * rowBytes + 2.0 * rowBytes + searchBytes;
  const double blockBytes = 2.0 * bytes + searchBytes;
  std::printf("wide exchange step, entering-column search and ratio test, %d rows x %d columns in use (%.0f KB), "
              "pivot (%d, %d), %d candidates:\n",
              lastRow, width, bytes / 1024.0, r, p, numCandidates);
  std::printf("  %-7s %14s %14s %14s %14s %10s\n", "path", "row-by-row us", "(search us)", "blocks us", "(search us)",
              "ratio");
  for (VectorPath path : {VectorPath::kPlain, VectorPath::kAvx2, VectorPath::kAvx512}) {
    if (!UseVectorPath(path)) continue;
    const SimplexKernels& kernels = ActiveSimplexKernels();
    double** a = work.table.data();
    int columnBefore = 0, rowBefore = 0, columnAfter = 0, rowAfter = 0;
    double value = 0.0;
    // Before: the other rows one after another, the pivot row as Pivot
    // wrote it, the search through the list's indices.
    const double rowByRow = Shortest(repetitions, refresh, [&] {
      const double piv = 1.0 / a[r + 1][p + 1];
      kernels.reduceOtherRows(a, lastRow, n, r, p, piv);
      double* pivotRow = a[r + 1];
      for (int k = 1; k <= n + 1; ++k) pivotRow[k] = -pivotRow[k] * piv;
      pivotRow[p + 1] = piv;
      kernels.findLargestCandidate(a[1], candidates.data(), numCandidates, false, columnBefore, value);
      rowBefore = kernels.findPivotRow(a, rowList.data(), m, n, columnBefore, work.stride);
    });
    Cells rowByRowCells = work.cells;
    const double searchBefore = Shortest(repetitions, [] {}, [&] {
      kernels.findLargestCandidate(a[1], candidates.data(), numCandidates, false, columnBefore, value);
    });
    const double blocks = Shortest(repetitions, refresh, [&] {
      const double piv = 1.0 / a[r + 1][p + 1];
      kernels.exchangeRows(a, lastRow, n, r, p, piv);
      kernels.findLargestAscendingCandidate(a[1], candidates.data(), numCandidates, columnAfter, value);
      rowAfter = kernels.findPivotRow(a, rowList.data(), m, n, columnAfter, work.stride);
    });
    const bool same = columnAfter == columnBefore && rowAfter == rowBefore && rowBefore != 0 &&
                      std::memcmp(rowByRowCells.data(), work.cells.data(), work.cells.size() * sizeof(double)) == 0;
    const double searchAfter = Shortest(repetitions, [] {}, [&] {
      kernels.findLargestAscendingCandidate(a[1], candidates.data(), numCandidates, columnAfter, value);
    });
    std::printf("  %-7s %14.2f %14.2f %14.2f %14.2f %10.3f%s\n", VectorPathName(path), rowByRow * 1e6,
                searchBefore * 1e6, blocks * 1e6, searchAfter * 1e6, rowByRow / blocks,
                same ? "" : "  (results differ!)");
    std::printf("  %-7s bytes per step: row by row %.0f KB (%.2f GB/s), blocks %.0f KB (%.2f GB/s)\n", "",
                rowByRowBytes / 1024.0, rowByRowBytes / rowByRow / 1e9, blockBytes / 1024.0,
                blockBytes / blocks / 1e9);
  }
  UseVectorPath(BestVectorPath());
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 5003;
  const int width = argc > 2 ? std::atoi(argv[2]) : 7;
  const int repetitions = argc > 3 ? std::atoi(argv[3]) : 3000;
  const int wideRows = argc > 4 ? std::atoi(argv[4]) : 7;
  const int wideWidth = argc > 5 ? std::atoi(argv[5]) : 5003;
  if (rows < 4 || width < 2 || width > kFusedMaxWidth || repetitions < 1 || wideRows < 4 ||
      wideWidth <= kFusedMaxWidth) {
    std::fprintf(stderr,
                 "usage: pivot_roofline [rows (>= 4) [width (2..%d) [repetitions [wideRows (>= 4) "
                 "[wideWidth (> %d)]]]]]\n",
                 kFusedMaxWidth, kFusedMaxWidth);
    return 2;
  }
  StreamFigures(static_cast<std::size_t>(rows) * static_cast<std::size_t>(width + 1), repetitions);
  PivotFigures(rows, width, repetitions, false);
  PivotFigures(rows, width, repetitions, true);
  StreamFigures(static_cast<std::size_t>(wideRows) * static_cast<std::size_t>(wideWidth + 1), repetitions);
  WideFigures(wideRows, wideWidth, repetitions);
  return 0;
}
