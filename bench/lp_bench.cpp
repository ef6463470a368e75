// Cost of one linear program, SetProblem plus Solve, on the two shapes the
// computation sets pose for a panel of 1000 observations:
//
//   Envelopment (6 rows x 1000 columns): output-oriented VRS distance of one
//     observation; variables phi and lambda_1..lambda_999; 3 input rows (<=),
//     2 output rows (>=, right-hand side 0), the convexity row (=).
//   Multiplier (1000 rows x 6 columns): input-oriented CRS efficiency in
//     multiplier form; weights u_1..u_3 on outputs and v_1..v_3 on inputs;
//     u . y_j - v . x_j <= 0 for the 999 other observations, v . x_o = 1.
//
// Each benchmark iteration lays out and solves the program of the next
// observation in turn, so the reported time is the cost per program.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "lp/LPProblem.h"
#include "lp/Matrix.h"

namespace {

constexpr uint32_t kObservations = 1000;
constexpr uint32_t kOutputs = 3;
constexpr uint32_t kInputs = 3;

struct Panel {
  std::vector<std::vector<double>> y;  // [observation][output]
  std::vector<std::vector<double>> x;  // [observation][input]
};

// A fixed panel: quantities between 1 and 100, outputs loosely tied to inputs.
Panel MakePanel() {
  std::mt19937 random(20240611u);
  std::uniform_real_distribution<double> uniform(1.0, 100.0);
  Panel panel;
  panel.y.resize(kObservations);
  panel.x.resize(kObservations);
  for (uint32_t o = 0; o < kObservations; ++o) {
    double size = 0.0;
    for (uint32_t k = 0; k < kInputs; ++k) {
      panel.x[o].push_back(uniform(random));
      size = size + panel.x[o][k];
    }
    for (uint32_t m = 0; m < kOutputs; ++m) panel.y[o].push_back(size * uniform(random) / 100.0);
  }
  return panel;
}

// Lays out the envelopment program of observation o: 6 rows, 1000 columns.
void PoseEnvelopment(const Panel& panel, uint32_t o, Matrix& A, std::vector<double>& rhs,
                     std::vector<double>& obj) {
  const uint32_t rows = kInputs + 2 + 1;
  A.ResetMatrix(rows, kObservations);
  for (uint32_t j = 0; j < kObservations; ++j) obj[j] = 0.0;
  obj[0] = 1.0;  // maximise phi
  // Reference set: observation o itself and the 998 that follow it.
  for (uint32_t j = 1; j < kObservations; ++j) {
    const uint32_t peer = (o + j - 1) % kObservations;
    for (uint32_t k = 0; k < kInputs; ++k) A.SetValue(k, j, panel.x[peer][k]);
    for (uint32_t m = 0; m < 2; ++m) A.SetValue(kInputs + m, j, panel.y[peer][m]);
    A.SetValue(kInputs + 2, j, 1.0);
  }
  for (uint32_t k = 0; k < kInputs; ++k) rhs[k] = panel.x[o][k];
  for (uint32_t m = 0; m < 2; ++m) {
    A.SetValue(kInputs + m, 0, -panel.y[o][m]);
    rhs[kInputs + m] = 0.0;
  }
  rhs[kInputs + 2] = 1.0;
}

// Lays out the multiplier program of observation o: 1000 rows, 6 columns.
void PoseMultiplier(const Panel& panel, uint32_t o, Matrix& A, std::vector<double>& rhs, std::vector<double>& obj) {
  const uint32_t cols = kOutputs + kInputs;
  A.ResetMatrix(kObservations, cols);
  // Reference set: observation o itself and the 998 that follow it.
  const uint32_t row = kObservations - 1;
  for (uint32_t i = 0; i < row; ++i) {
    const uint32_t peer = (o + i) % kObservations;
    for (uint32_t m = 0; m < kOutputs; ++m) A.SetValue(i, m, panel.y[peer][m]);
    for (uint32_t k = 0; k < kInputs; ++k) A.SetValue(i, kOutputs + k, -panel.x[peer][k]);
    rhs[i] = 0.0;
  }
  for (uint32_t k = 0; k < kInputs; ++k) A.SetValue(row, kOutputs + k, panel.x[o][k]);
  rhs[row] = 1.0;
  for (uint32_t m = 0; m < kOutputs; ++m) obj[m] = panel.y[o][m];
  for (uint32_t k = 0; k < kInputs; ++k) obj[kOutputs + k] = 0.0;
}

template <bool kEnvelopment>
void BM_SolveBatch(benchmark::State& state) {
  const Panel panel = MakePanel();
  const uint32_t capacity = kObservations + kOutputs + kInputs + 10;
  LPProblem problem;
  problem.Create(capacity, capacity);
  Matrix A;
  A.Create(capacity, capacity, 0, 0);
  std::vector<double> rhs(capacity, 0.0), obj(capacity, 0.0);

  // Filling A is the caller's work and is left out of the timing; SetProblem
  // (laying out the tableau) and Solve are timed.
  uint32_t o = 0;
  int64_t failures = 0;
  uint64_t steps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (kEnvelopment) {
      PoseEnvelopment(panel, o, A, rhs, obj);
    } else {
      PoseMultiplier(panel, o, A, rhs, obj);
    }
    state.ResumeTiming();
    if (kEnvelopment) {
      SetProblem(A, problem, rhs.data(), obj.data(), kInputs, 2, 1);
    } else {
      SetProblem(A, problem, rhs.data(), obj.data(), kObservations - 1, 0, 1);
    }
    if (Solve(problem) != kLPOptimal) ++failures;
    steps += problem.m_StepCount;
    benchmark::DoNotOptimize(problem.Objective());
    o = (o + 1) % kObservations;
  }
  state.counters["failures"] = static_cast<double>(failures);
  state.counters["steps/program"] =
      benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kAvgIterations);
}

void BM_Envelopment6x1000(benchmark::State& state) { BM_SolveBatch<true>(state); }
void BM_Multiplier1000x6(benchmark::State& state) { BM_SolveBatch<false>(state); }

BENCHMARK(BM_Envelopment6x1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Multiplier1000x6)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
