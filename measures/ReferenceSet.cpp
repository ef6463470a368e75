#include "measures/ReferenceSet.h"

#include "core/AnalysisRecord.h"

namespace {

// The count of present observations in the range; its length in a balanced
// panel (and for a range reaching beyond the data, which the programs report).
void CountPresent(const AnalysisRecord& record, ReferenceRange& range) {
  range.count = range.last - range.first + 1;
  if (record.Absent.empty()) return;
  for (uint32_t r = range.first; r <= range.last && r <= record.Observations; ++r)
    if (record.IsAbsent(r)) --range.count;
}

}  // namespace

ReferenceRange ReferenceSetOfPeriod(const AnalysisRecord& record, uint32_t period) {
  const uint32_t N = record.Firms;
  const uint32_t W = record.Window;
  ReferenceRange range{0, 0, 0};
  if (period <= W) {
    range.first = 1;
    range.last = N * W;
  } else {
    range.first = N * (period - W) + 1;
    range.last = N * period;
  }
  if (record.TechRegress == 0) range.first = 1;
  if (record.TechChange == 0) {
    range.first = 1;
    range.last = record.Observations;
  }
  CountPresent(record, range);
  return range;
}

ReferenceRange ReferenceSetOfAll(const AnalysisRecord& record) {
  ReferenceRange range{1, record.Observations, 0};
  CountPresent(record, range);
  return range;
}
