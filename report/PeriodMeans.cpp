#include "report/PeriodMeans.h"

#include <algorithm>
#include <cmath>

#include "core/Format.h"

namespace {

bool IsUsable(double value) { return value != kMissing && std::isfinite(value); }

// Entry of firm i (1-based) in period t (1-based).
std::size_t Entry(uint32_t firms, uint32_t t, uint32_t i) {
  return static_cast<std::size_t>(firms) * (t - 1) + (i - 1);
}

PeriodSeries EmptySeries(uint32_t periods) {
  PeriodSeries series;
  series.value.assign(periods, 0.0);
  series.present.assign(periods, false);
  series.leftOut.assign(periods, 0);
  return series;
}

// The first firm present in period t (firm 1 when none is).
uint32_t FirstPresentFirm(const AnalysisRecord& record, uint32_t firms, uint32_t t) {
  for (uint32_t i = 1; i <= firms; ++i)
    if (!record.IsAbsent(static_cast<uint32_t>(Entry(firms, t, i)) + 1)) return i;
  return 1;
}

// Whether an identifier column holds one whole number within each period
// (over its present observations) that strictly increases from period to
// period.
bool NamesPeriods(const AnalysisRecord& record, const ObservationVector& id, uint32_t firms, uint32_t periods) {
  if (id.size() < static_cast<std::size_t>(firms) * periods || firms == 0) return false;
  double previous = 0.0;
  for (uint32_t t = 1; t <= periods; ++t) {
    const uint32_t firstFirm = FirstPresentFirm(record, firms, t);
    const double first = id[Entry(firms, t, firstFirm)];
    if (!std::isfinite(first) || first != std::floor(first) || std::fabs(first) >= 1e9) return false;
    for (uint32_t i = firstFirm + 1; i <= firms; ++i)
      if (!record.IsAbsent(static_cast<uint32_t>(Entry(firms, t, i)) + 1) && id[Entry(firms, t, i)] != first)
        return false;
    if (t > 1 && !(first > previous)) return false;
    previous = first;
  }
  return true;
}

// The mean of each period over the firms' usable values, summed from zero in
// firm order: of their logarithms (then raised back) for the geometric mean,
// which can use positive values only, or of the values themselves.
PeriodSeries MeansByPeriod(const ObservationVector& values, uint32_t firms, uint32_t periods, bool geometric) {
  PeriodSeries series = EmptySeries(periods);
  for (uint32_t t = 1; t <= periods; ++t) {
    double sum = 0.0;
    uint32_t used = 0;
    for (uint32_t i = 1; i <= firms; ++i) {
      const double value = values[Entry(firms, t, i)];
      if (!IsUsable(value) || (geometric && value <= 0.0)) {
        ++series.leftOut[t - 1];
        continue;
      }
      sum += geometric ? std::log(value) : value;
      ++used;
    }
    if (used == 0) continue;
    series.value[t - 1] = geometric ? std::exp(sum / used) : sum / used;
    series.present[t - 1] = true;
  }
  return series;
}

}  // namespace

PeriodSeries GeometricMeansByPeriod(const ObservationVector& values, uint32_t firms, uint32_t periods) {
  return MeansByPeriod(values, firms, periods, true);
}

PeriodSeries ArithmeticMeansByPeriod(const ObservationVector& values, uint32_t firms, uint32_t periods) {
  return MeansByPeriod(values, firms, periods, false);
}

PeriodSeries RunningProducts(const PeriodSeries& means) {
  const std::size_t periods = means.value.size();
  PeriodSeries running = EmptySeries(static_cast<uint32_t>(periods));
  running.leftOut = means.leftOut;
  if (periods == 0) return running;
  // Period 1 is compared with itself: the cumulated level starts at 1.
  running.value[0] = 1.0;
  running.present[0] = true;
  for (std::size_t t = 1; t < periods && means.present[t]; ++t) {
    running.value[t] = running.value[t - 1] * means.value[t];
    running.present[t] = true;
  }
  return running;
}

double Quantile(const std::vector<double>& sorted, double p) {
  const double position = (sorted.size() - 1) * p;
  const std::size_t below = static_cast<std::size_t>(std::floor(position));
  if (below + 1 >= sorted.size()) return sorted[below];
  const double fraction = position - below;
  return sorted[below] + fraction * (sorted[below + 1] - sorted[below]);
}

std::vector<Spread> SpreadsByPeriod(const ObservationVector& values, uint32_t firms, uint32_t periods) {
  std::vector<Spread> spreads(periods);
  std::vector<double> usable;
  for (uint32_t t = 1; t <= periods; ++t) {
    Spread& spread = spreads[t - 1];
    usable.clear();
    for (uint32_t i = 1; i <= firms; ++i) {
      const double value = values[Entry(firms, t, i)];
      if (IsUsable(value))
        usable.push_back(value);
      else
        ++spread.leftOut;
    }
    spread.used = static_cast<uint32_t>(usable.size());
    if (usable.empty()) continue;
    std::sort(usable.begin(), usable.end());
    spread.present = true;
    spread.minimum = usable.front();
    spread.lowerQuartile = Quantile(usable, 0.25);
    spread.median = Quantile(usable, 0.5);
    spread.upperQuartile = Quantile(usable, 0.75);
    spread.maximum = usable.back();
  }
  return spreads;
}

std::vector<std::string> PeriodNames(const AnalysisRecord& record, int& column) {
  const uint32_t firms = record.Firms;
  const uint32_t periods = record.Periods;
  const ObservationVector* id = nullptr;
  column = 0;
  if (NamesPeriods(record, record.Id1, firms, periods)) {
    id = &record.Id1;
    column = 1;
  } else if (NamesPeriods(record, record.Id2, firms, periods)) {
    id = &record.Id2;
    column = 2;
  }
  std::vector<std::string> names(periods);
  for (uint32_t t = 1; t <= periods; ++t)
    names[t - 1] =
        id != nullptr ? FormatText("%.0f", (*id)[Entry(firms, t, FirstPresentFirm(record, firms, t))]) : FormatText("%u", t);
  return names;
}
