// Set 4: TFP = Q / X of every observation and of its comparison observation,
// TFP*, the largest TFP the technology of the period allows, and the mark of
// the observations that attain it. No linear programs.
//
// Chained families: TFP* of o is the running maximum, over the reference set
// of o's period, of R(r) = (sum_m y_r,m p_m) / (sum_k x_r,k w_k) with o's
// aggregator weights p, w; TFP*s the same over the previous period's
// reference set. Fisher and Hicks-Moorsteen weigh twice; each pass keeps its
// own maximum and TFP* is the square root of the product of the two, the
// same geometric mean that the aggregates of these families use.
// Fixed-base families: TFP* of o is the running maximum of the stored TFP
// over the reference set, and TFP*s is TFP* of the Base observation.
// A running maximum takes a value when it is greater than or equal to the
// current one, reference observations in storage order.

#include <cmath>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "measures/AggregatorWeights.h"
#include "measures/AbsentObservations.h"
#include "measures/ComputationSets.h"
#include "measures/Observations.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

// TFP of reference observation r under the current weights.
double WeightedRatio(AnalysisRecord& record, WorkingCopies& copies, uint32_t r) {
  const uint32_t M = record.Outputs, K = record.Inputs;
  double output = 0.0;
  for (uint32_t m = 0; m < M; ++m) output += copies.outputs.GetValue(r - 1, m) * record.CurrentOutputWeights[m];
  double input = 0.0;
  for (uint32_t k = 0; k < K; ++k) input += copies.inputs.GetValue(r - 1, k) * record.CurrentInputWeights[k];
  return output / input;
}

// Raises v over the reference set with the current weights. When the whole
// reference set lies within the copies (always, unless Window names periods
// beyond the data) the same sums are taken untested.
void RaiseOverReferenceSet(AnalysisRecord& record, WorkingCopies& copies, const ReferenceRange& range, double& v) {
  const uint32_t M = record.Outputs, K = record.Inputs;
  if (M > 0 && K > 0 && range.first >= 1 && copies.outputs.Contains(range.first - 1, range.last - 1, 0, M - 1) &&
      copies.inputs.Contains(range.first - 1, range.last - 1, 0, K - 1)) {
    const double* p = record.CurrentOutputWeights.data();
    const double* w = record.CurrentInputWeights.data();
    for (uint32_t r = range.first; r <= range.last; ++r) {
      if (record.IsAbsent(r)) continue;
      const double* y = copies.outputs.Row(r - 1);
      const double* x = copies.inputs.Row(r - 1);
      double output = 0.0;
      for (uint32_t m = 0; m < M; ++m) output += y[m] * p[m];
      double input = 0.0;
      for (uint32_t k = 0; k < K; ++k) input += x[k] * w[k];
      const double ratio = output / input;
      if (ratio >= v) v = ratio;
    }
    return;
  }
  for (uint32_t r = range.first; r <= range.last; ++r) {
    if (record.IsAbsent(r)) continue;
    const double ratio = WeightedRatio(record, copies, r);
    if (ratio >= v) v = ratio;
  }
}

// Maximum TFP of observation o (comparison observation b) over the
// reference set, raised in v; firstPass receives the pass-1 maximum of the
// two-pass families.
void RaiseChainedMaximum(AnalysisRecord& record, WorkingCopies& copies, const ReferenceRange& range, uint32_t o,
                         uint32_t b, double& v, double& firstPass) {
  FillAggregatorWeights(record, copies, o, b, 1);
  RaiseOverReferenceSet(record, copies, range, v);
  if (!IsTwoPass(record)) return;
  firstPass = v;
  double second = 0.0;
  FillAggregatorWeights(record, copies, o, b, 2);
  RaiseOverReferenceSet(record, copies, range, second);
  v = std::sqrt(firstPass * second);
}

}  // namespace

void ComputeSet4(AnalysisRecord& record) {
  ConsolePrintf(" Computing Set 4: TFP, TFP* \n");

  const uint32_t N = record.Firms, T = record.Periods, NT = record.Observations;
  const bool chained = record.IsChained();
  WorkingCopies copies;
  CreateWorkingCopies(record, copies);

  // TFP of the observation and of its comparison observation.
  for (uint32_t e = 0; e < NT; ++e) {
    record.TFP[e] = kMissing;
    if (Present(record.Q[e]) && Present(record.X[e])) record.TFP[e] = record.Q[e] / record.X[e];
    record.TFPs[e] = kMissing;
    if (Present(record.Qs[e]) && Present(record.Xs[e])) record.TFPs[e] = record.Qs[e] / record.Xs[e];
  }

  // TFP* against the technology of the observation's own period.
  for (uint32_t t = 1; t <= T; ++t) {
    const ReferenceRange range = SetReferenceSet(record, t);
    for (uint32_t i = 1; i <= N; ++i) {
      const uint32_t o = N * (t - 1) + i;
      if (record.IsAbsent(o)) continue;
      if (chained) {
        const uint32_t b = ChainedComparison(record, o);
        record.Base = b;
        RaiseChainedMaximum(record, copies, range, o, b, record.TFPstar[o - 1], record.FirstPassQ[o - 1]);
      } else {
        double& v = record.TFPstar[o - 1];
        for (uint32_t r = range.first; r <= range.last; ++r)
          if (!record.IsAbsent(r) && record.TFP[r - 1] >= v) v = record.TFP[r - 1];
      }
    }
  }

  // TFP*s: the comparison observation's maximum.
  if (chained) {
    for (uint32_t o = 1; o <= N && o <= NT; ++o) record.TFPstars[o - 1] = record.TFPstar[o - 1];
    for (uint32_t t = 2; t <= T; ++t) {
      const ReferenceRange range = SetReferenceSet(record, t - 1);
      for (uint32_t i = 1; i <= N; ++i) {
        const uint32_t o = N * (t - 1) + i;
        if (record.IsAbsent(o) || LacksComparison(record, o)) continue;
        record.Base = o - N;
        RaiseChainedMaximum(record, copies, range, o, o - N, record.TFPstars[o - 1], record.FirstPassQs[o - 1]);
      }
    }
  } else {
    for (uint32_t e = 0; e < NT; ++e) record.TFPstars[e] = record.TFPstar[record.Base - 1];
  }

  // The observations that attain the maximum.
  for (uint32_t e = 0; e < NT; ++e)
    if (!record.IsAbsent(e + 1) && record.TFPstar[e] <= record.TFP[e]) record.TfpMaxFlag[e] = 1.0;

  FreeWorkingCopies(copies);
}
