#pragma once
// The reference set of a period's technology, shared by Sets 1 to 4.
//
// With W = Window: periods 1..W when t <= W, else periods t-W+1..t; without
// technical regress the range starts at observation 1; without technical
// change it is every observation. Absent observations are left out.

#include <cstdint>

struct AnalysisRecord;

// The observations first..last that are present; `count` of them. With
// absent observations in the range (count below its length) the programs
// lay out the present ones only, in storage order.
struct ReferenceRange {
  uint32_t first;  // first observation, 1-based
  uint32_t last;   // last observation, 1-based
  uint32_t count;  // present observations in first..last
  uint32_t Count() const { return count; }
  bool Whole() const { return count == last - first + 1; }
};

ReferenceRange ReferenceSetOfPeriod(const AnalysisRecord& record, uint32_t period);

// Every present observation: the technology of all observations.
ReferenceRange ReferenceSetOfAll(const AnalysisRecord& record);
