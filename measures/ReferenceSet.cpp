#include "measures/ReferenceSet.h"

#include "core/AnalysisRecord.h"

ReferenceRange ReferenceSetOfPeriod(const AnalysisRecord& record, uint32_t period) {
  const uint32_t N = record.Firms;
  const uint32_t W = record.Window;
  ReferenceRange range;
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
  return range;
}
