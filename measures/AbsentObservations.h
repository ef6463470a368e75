#pragma once
// Observations a panel lacks. Every value of an absent observation is -9999;
// a chained observation whose previous-period observation is absent is
// weighed as one of the first period (it is its own comparison observation,
// against its own period's technology) and its comparison values and index
// numbers are -9999.

#include <cstdint>

#include "core/AnalysisRecord.h"

// The comparison observation of observation o (1-based) under a chained
// family: the same firm one period earlier when that one is present, else o.
inline uint32_t ChainedComparison(const AnalysisRecord& record, uint32_t o) {
  const uint32_t N = record.Firms;
  return o > N && !record.IsAbsent(o - N) ? o - N : o;
}

// Whether a chained observation o has no comparison observation: it lies
// beyond the first period and the same firm's previous observation is absent.
inline bool LacksComparison(const AnalysisRecord& record, uint32_t o) {
  return o > record.Firms && record.IsAbsent(o - record.Firms);
}

// Sets every value of the absent observations to -9999 (and their "max"
// marks to 0) and, under a chained family, the comparison values and index
// numbers of the observations that lack a comparison observation. Nothing
// for a balanced panel.
void MarkAbsentValues(AnalysisRecord& record);
