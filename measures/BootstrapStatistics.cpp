// The statistics of the bootstrap's replicates, per observation and measure,
// from the replicates r_1..r_n that were computed (a failed program's
// replicate is left out; n is what the _n column prints) and the estimate e
// of the run:
//   bias = mean(r) - e, the bias-corrected estimate e - bias,
//   the standard error, the sample standard deviation of the r (divisor
//   n - 1), and the 1 - alpha interval [e - q(1 - alpha/2), e - q(alpha/2)],
//   q the type-7 quantiles of the r - e.
// Sums run in replicate order. Without an estimate, or without a replicate,
// every statistic is -9999 (n 0); with one replicate the standard error is.

#include <algorithm>
#include <cmath>

#include "core/AnalysisRecord.h"
#include "measures/BootstrapSet.h"
#include "measures/Observations.h"

namespace {

enum Statistic { kEstimate, kCorrected, kBias, kError, kLow, kHigh, kUsed, kStatisticCount };

}  // namespace

double QuantileType7(const std::vector<double>& sorted, double p) {
  const double h = static_cast<double>(sorted.size() - 1) * p;
  const std::size_t j = static_cast<std::size_t>(std::floor(h));
  if (j + 1 >= sorted.size()) return sorted.back();
  return sorted[j] + (h - static_cast<double>(j)) * (sorted[j + 1] - sorted[j]);
}

double SampleStandardDeviation(const std::vector<double>& values) {
  const std::size_t n = values.size();
  if (n < 2) return 0.0;
  double sum = 0.0;
  for (double v : values) sum = sum + v;
  const double mean = sum / static_cast<double>(n);
  double squares = 0.0;
  for (double v : values) squares = squares + (v - mean) * (v - mean);
  return std::sqrt(squares / static_cast<double>(n - 1));
}

std::vector<std::vector<double>> BootstrapStatistics(const AnalysisRecord& record,
                                                     const std::vector<std::vector<double>>& values, uint32_t B,
                                                     double alpha) {
  const uint32_t NT = record.Observations;
  std::vector<std::vector<double>> columns;
  std::vector<double> replicates;
  for (std::size_t m = 0; m < values.size(); ++m) {
    std::vector<std::vector<double>> statistics(kStatisticCount, std::vector<double>(NT, kMissing));
    for (uint32_t o = 1; o <= NT; ++o) {
      if (record.IsAbsent(o)) continue;
      const double estimate = BootstrapEstimates(record, m)[o - 1];
      statistics[kEstimate][o - 1] = estimate;
      replicates.clear();
      if (Present(estimate))
        for (uint32_t b = 0; b < B; ++b) {
          const double r = values[m][static_cast<std::size_t>(b) * NT + o - 1];
          if (Present(r)) replicates.push_back(r);
        }
      statistics[kUsed][o - 1] = static_cast<double>(replicates.size());
      if (replicates.empty()) continue;
      double sum = 0.0;
      for (double r : replicates) sum = sum + r;
      const double bias = sum / static_cast<double>(replicates.size()) - estimate;
      statistics[kBias][o - 1] = bias;
      statistics[kCorrected][o - 1] = estimate - bias;
      if (replicates.size() >= 2) statistics[kError][o - 1] = SampleStandardDeviation(replicates);
      for (double& r : replicates) r = r - estimate;
      std::sort(replicates.begin(), replicates.end());
      statistics[kLow][o - 1] = estimate - QuantileType7(replicates, 1.0 - alpha / 2.0);
      statistics[kHigh][o - 1] = estimate - QuantileType7(replicates, alpha / 2.0);
    }
    for (std::vector<double>& column : statistics) columns.push_back(std::move(column));
  }
  return columns;
}
