// Roofline figures for the exchange steps of tall programs (bench/README.md,
// "Roofline of the worst case").
//
// 1. Second-level-cache bandwidth of one core, on a buffer of the size of the
//    worst case's tableau (5003 rows of 9 doubles, 360 KB: larger than the
//    first-level cache, smaller than the second): a read pass, a write pass
//    and an update pass (read and write back, x = x - c * y as the pivot does).
// 2. One exchange step of such a tableau and the ratio test that follows it,
//    on every vector path this processor runs: the two passes one after the
//    other (the pivot pass, then the ratio test walking the rows again), and
//    the fused step (one pass that updates each row and feeds the ratio test).
//
// Every figure is the shortest of many repetitions, each on a tableau freshly
// copied into the cache, so that other jobs on the machine disturb it little.
//
//   pivot_roofline [rows [width [repetitions]]]   (default 5003 8 3000)

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "lp/Simplex.h"
#include "lp/SimplexKernels.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

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
}

// A packed tall tableau with random entries: rows 1..rows-1 of width
// columns in use (column 0 unused), right-hand sides >= 0, many entries of the
// pivot column below the tolerance.
struct Tableau {
  int rows = 0;
  int width = 0;
  std::ptrdiff_t stride = 0;
  std::vector<double> cells;
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
    std::vector<double> separateCells = work.cells;
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

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 5003;
  const int width = argc > 2 ? std::atoi(argv[2]) : 8;
  const int repetitions = argc > 3 ? std::atoi(argv[3]) : 3000;
  if (rows < 4 || width < 2 || width > kFusedMaxWidth || repetitions < 1) {
    std::fprintf(stderr, "usage: pivot_roofline [rows (>= 4) [width (2..%d) [repetitions]]]\n", kFusedMaxWidth);
    return 2;
  }
  StreamFigures(static_cast<std::size_t>(rows) * static_cast<std::size_t>(width + 1), repetitions);
  PivotFigures(rows, width, repetitions, false);
  PivotFigures(rows, width, repetitions, true);
  return 0;
}
