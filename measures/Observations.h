#pragma once
// Helpers on observations shared by the computation sets: the 1-based access
// to observation vectors, the value of a comparison observation, the test for
// a computed value, the two-pass families, the reference set of a period,
// column means and the shadow-price formula.

#include <cstdint>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "lp/Matrix.h"
#include "measures/MultiplierProgram.h"
#include "measures/ReferenceSet.h"

// Entry `observation` (1-based) of an observation vector.
inline double& At(ObservationVector& v, uint32_t observation) { return v[observation - 1]; }

// The value of a comparison observation; -9999 when the observation lies
// outside the data, so that a bad Base cannot read beyond the vector.
inline double ComparisonValue(const ObservationVector& v, uint32_t observation) {
  if (observation < 1 || observation > v.size()) return kMissing;
  return v[observation - 1];
}

// True for a value that could be computed (not the -9999 marker).
inline bool Present(double value) { return value != kMissing; }

// Fisher and Hicks-Moorsteen weigh twice and take the geometric mean.
inline bool IsTwoPass(const AnalysisRecord& record) { return AnyChosenFamily(record, &FamilyFacts::twoPass); }

// The reference set of `period`, also left in the record's RefFirst,
// RefLast and RefCount.
inline ReferenceRange SetReferenceSet(AnalysisRecord& record, uint32_t period) {
  const ReferenceRange range = ReferenceSetOfPeriod(record, period);
  record.RefFirst = range.first;
  record.RefLast = range.last;
  record.RefCount = range.Count();
  return range;
}

// The mean of each of the first `cols` columns over the rows 0..rows-1 of
// present observations (`absent` as AnalysisRecord::Absent), summed in row
// order.
inline void ColumnMeans(Matrix& table, uint32_t rows, uint32_t cols, std::vector<double>& means,
                        const std::vector<char>& absent) {
  for (uint32_t j = 0; j < cols; ++j) {
    double sum = 0.0;
    uint32_t present = 0;
    for (uint32_t r = 0; r < rows; ++r) {
      if (!absent.empty() && absent[r] != 0) continue;
      sum = sum + table.GetValue(r, j);
      ++present;
    }
    means[j] = sum / present;
  }
}

// Row o (1-based) of `prices` = multipliers x distance / (multipliers .
// quantities): the shadow prices, normalised by o's own quantities.
inline void StoreShadowPrices(Matrix& prices, uint32_t o, const double* multipliers, const double* quantities,
                              uint32_t count, double distance) {
  const double s = WeightedSum(multipliers, quantities, count);
  for (uint32_t j = 0; j < count; ++j) prices.SetValue(o - 1, j, multipliers[j] * distance / s);
}
