#include "measures/BootstrapSmoothing.h"

#include <algorithm>
#include <cmath>

#include "core/AnalysisRecord.h"
#include "core/RandomStream.h"
#include "measures/BootstrapSet.h"
#include "measures/Observations.h"

namespace {

// An estimate the smoothing can take: computed, finite and positive (a
// value that is not a number, from quantities that are not, would keep the
// redraws below from ever ending).
bool Usable(double estimate) { return Present(estimate) && std::isfinite(estimate) && estimate > 0.0; }

// The own-period efficiency of observation o in an orientation, <= 1: the
// output distance DOttt or the input efficiency 1 / DIttt; -9999 without one.
double OwnEfficiency(const AnalysisRecord& record, Orientation orientation, uint32_t o) {
  if (orientation == Orientation::kOutput) return record.DOttt[o - 1];
  return Present(record.DIttt[o - 1]) ? 1.0 / record.DIttt[o - 1] : kMissing;
}

}  // namespace

SmoothingSample PrepareSample(const AnalysisRecord& record, ReferenceRange range,
                              const std::vector<double>& estimates) {
  SmoothingSample sample;
  sample.range = range;
  for (uint32_t o = range.first; o <= range.last; ++o) {
    if (record.IsAbsent(o) || !Usable(estimates[o - 1])) continue;
    sample.members.push_back(o);
    sample.theta.push_back(estimates[o - 1]);
  }
  const std::size_t n = sample.theta.size();
  if (n == 0) return sample;
  sample.reflected = sample.theta;
  for (double theta : sample.theta) sample.reflected.push_back(2.0 - theta);
  sample.s = SampleStandardDeviation(sample.reflected);
  std::vector<double> sorted = sample.reflected;
  std::sort(sorted.begin(), sorted.end());
  const double iqr = QuantileType7(sorted, 0.75) - QuantileType7(sorted, 0.25);
  sample.h = 0.9 * std::min(sample.s, iqr / 1.34) * std::pow(static_cast<double>(2 * n), -0.2);
  return sample;
}

void DrawEfficiencies(const SmoothingSample& sample, RandomStream& stream, std::vector<double>& t) {
  const std::size_t n = sample.members.size();
  const uint32_t size = static_cast<uint32_t>(sample.reflected.size());
  t.resize(n);
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    t[i] = sample.reflected[stream.Index(size)];
    sum = sum + t[i];
  }
  if (sample.h > 0.0) {
    const double betaBar = sum / static_cast<double>(n);
    const double root = std::sqrt(1.0 + (sample.h * sample.h) / (sample.s * sample.s));
    for (std::size_t i = 0; i < n; ++i) {
      const double beta = t[i];
      double smoothed;
      do {
        smoothed = betaBar + (beta + sample.h * stream.Normal() - betaBar) / root;
      } while (!(smoothed > 0.0 && smoothed < 2.0));
      t[i] = smoothed;
    }
  }
  for (double& value : t)
    if (value > 1.0) value = 2.0 - value;
}


PairSample PreparePairSample(const AnalysisRecord& record, uint32_t t, Orientation orientation) {
  const uint32_t N = record.Firms;
  PairSample sample;
  sample.orientation = orientation;
  sample.before = ReferenceSetOfPeriod(record, t - 1);
  sample.now = ReferenceSetOfPeriod(record, t);
  for (uint32_t o = N * (t - 1) + 1; o <= N * t; ++o) {
    if (record.IsAbsent(o) || record.IsAbsent(o - N)) continue;
    const double a = OwnEfficiency(record, orientation, o - N), b = OwnEfficiency(record, orientation, o);
    if (!Usable(a) || !Usable(b)) continue;
    sample.members.push_back(o);
    sample.a.push_back(a);
    sample.b.push_back(b);
  }
  const std::size_t n = sample.members.size();
  if (n == 0) return sample;
  double meanA = 0.0, meanB = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    meanA = meanA + sample.a[i];
    meanB = meanB + sample.b[i];
  }
  meanA = meanA / static_cast<double>(n);
  meanB = meanB / static_cast<double>(n);
  double saa = 0.0, sab = 0.0, sbb = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    saa = saa + (sample.a[i] - meanA) * (sample.a[i] - meanA);
    sab = sab + (sample.a[i] - meanA) * (sample.b[i] - meanB);
    sbb = sbb + (sample.b[i] - meanB) * (sample.b[i] - meanB);
  }
  if (n >= 2) {
    saa = saa / static_cast<double>(n - 1);
    sab = sab / static_cast<double>(n - 1);
    sbb = sbb / static_cast<double>(n - 1);
  }
  for (int kind = 0; kind < 2; ++kind) {
    const double covariance = kind == 0 ? sab : -sab;
    double* L = sample.factor[kind];
    L[0] = std::sqrt(saa);
    L[1] = L[0] > 0.0 ? covariance / L[0] : 0.0;
    L[2] = std::sqrt(std::max(0.0, sbb - L[1] * L[1]));
  }
  sample.h = std::pow(4.0 / (5.0 * static_cast<double>(n)), 1.0 / 6.0);
  return sample;
}

void DrawPairs(const PairSample& sample, RandomStream& stream, std::vector<double>& ta, std::vector<double>& tb) {
  const std::size_t n = sample.members.size();
  std::vector<int> kind(n);
  ta.resize(n);
  tb.resize(n);
  double sumA = 0.0, sumB = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const uint32_t j = stream.Index(static_cast<uint32_t>(4 * n));
    const std::size_t pair = j % n;
    const uint32_t reflection = static_cast<uint32_t>(j / n);
    ta[i] = (reflection & 1) != 0 ? 2.0 - sample.a[pair] : sample.a[pair];
    tb[i] = (reflection & 2) != 0 ? 2.0 - sample.b[pair] : sample.b[pair];
    kind[i] = reflection == 1 || reflection == 2 ? 1 : 0;
    sumA = sumA + ta[i];
    sumB = sumB + tb[i];
  }
  const double meanA = sumA / static_cast<double>(n), meanB = sumB / static_cast<double>(n);
  const double root = std::sqrt(1.0 + sample.h * sample.h);
  for (std::size_t i = 0; i < n; ++i) {
    const double* L = sample.factor[kind[i]];
    double sa, sb;
    do {
      const double e1 = stream.Normal(), e2 = stream.Normal();
      sa = meanA + (ta[i] + sample.h * (L[0] * e1) - meanA) / root;
      sb = meanB + (tb[i] + sample.h * (L[1] * e1 + L[2] * e2) - meanB) / root;
    } while (!(sa > 0.0 && sa < 2.0 && sb > 0.0 && sb < 2.0));
    ta[i] = sa > 1.0 ? 2.0 - sa : sa;
    tb[i] = sb > 1.0 ? 2.0 - sb : sb;
  }
}

