#pragma once
// The arithmetic of the report: means and spreads of a measure over the firms
// of each period, running products of chained indexes, and period names.
//
// A value takes part only when it is usable: not the missing marker -9999 and
// finite. A geometric mean also needs a logarithm, so it leaves out values of
// zero or below as well. Every value left out is counted.

#include <cstdint>
#include <string>
#include <vector>

#include "core/AnalysisRecord.h"

// One mean per period (entry t - 1 for period t).
struct PeriodSeries {
  std::vector<double> value;     // the mean; meaningful only where present
  std::vector<bool> present;     // false where no firm had a usable value
  std::vector<uint32_t> leftOut; // firms whose value was left out of the mean
};

// Geometric mean over the firms of each period: exp of the mean of the logs,
// the logs summed from zero in firm order.
PeriodSeries GeometricMeansByPeriod(const ObservationVector& values, uint32_t firms, uint32_t periods);

// Arithmetic mean over the firms of each period, summed from zero in firm order.
PeriodSeries ArithmeticMeansByPeriod(const ObservationVector& values, uint32_t firms, uint32_t periods);

// Running products of the period means of a chained index: 1 in period 1,
// then the product of the means up to each period. A period without a mean
// breaks the chain: the level there and in every later period cannot be
// formed and is absent.
PeriodSeries RunningProducts(const PeriodSeries& means);

// The spread of a measure over the firms of one period.
struct Spread {
  bool present = false;  // false where no firm had a usable value
  double minimum = 0.0, lowerQuartile = 0.0, median = 0.0, upperQuartile = 0.0, maximum = 0.0;
  uint32_t used = 0;
  uint32_t leftOut = 0;
};

// Quantile of sorted values by linear interpolation between order
// statistics: position (n - 1) p, counted from 0.
double Quantile(const std::vector<double>& sorted, double p);

// Minimum, quartiles, median and maximum over the firms of each period.
std::vector<Spread> SpreadsByPeriod(const ObservationVector& values, uint32_t firms, uint32_t periods);

// Names of the periods: the year (or other whole number) that an identifier
// column carries when it is one whole number within each period and strictly
// increases from period to period (the first identifier column tried first);
// otherwise the period numbers 1..T. `column` receives 1 or 2 for the
// identifier column used, 0 for period numbers.
std::vector<std::string> PeriodNames(const AnalysisRecord& record, int& column);
