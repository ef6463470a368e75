#pragma once
// The reference set of a period's technology, shared by Sets 1 to 4.
//
// With W = Window: periods 1..W when t <= W, else periods t-W+1..t; without
// technical regress the range starts at observation 1; without technical
// change it is every observation.

#include <cstdint>

struct AnalysisRecord;

struct ReferenceRange {
  uint32_t first;  // first observation, 1-based
  uint32_t last;   // last observation, 1-based
  uint32_t Count() const { return last - first + 1; }
};

ReferenceRange ReferenceSetOfPeriod(const AnalysisRecord& record, uint32_t period);
