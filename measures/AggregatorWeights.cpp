#include "measures/AggregatorWeights.h"

#include <vector>

#include "core/AnalysisRecord.h"
#include "measures/WorkingCopies.h"

namespace {

void CopyRow(Matrix& source, uint32_t row, std::vector<double>& weights) {
  for (uint32_t j = 0; j < weights.size(); ++j) weights[j] = source.GetValue(row - 1, j);
}

}  // namespace

void FillAggregatorWeights(AnalysisRecord& record, WorkingCopies& copies, uint32_t o, uint32_t b, int pass) {
  FillAggregatorWeights(record, copies, o, b, pass, record.CurrentOutputWeights, record.CurrentInputWeights);
}

void FillAggregatorWeights(AnalysisRecord& record, WorkingCopies& copies, uint32_t o, uint32_t b, int pass,
                           std::vector<double>& p, std::vector<double>& w) {
  if (record.Laspeyres || (record.Fisher && pass == 1)) {
    CopyRow(copies.outputPrices, b, p);
    CopyRow(copies.inputPrices, b, w);
  } else if (record.Paasche || record.Fisher) {
    CopyRow(copies.outputPrices, o, p);
    CopyRow(copies.inputPrices, o, w);
  } else if (record.Lowe) {
    p = record.LoweOutputWeights;
    w = record.LoweInputWeights;
  } else if (record.MalmquistHs || (record.HicksMoorsteen && pass == 1)) {
    CopyRow(record.pstarhs, o, p);
    CopyRow(record.wstarhs, o, w);
  } else if (record.MalmquistIt || record.HicksMoorsteen) {
    CopyRow(record.pstarit, o, p);
    CopyRow(record.wstarit, o, w);
  } else if (record.FarePrimont) {
    p = record.pstar0;
    w = record.wstar0;
  }
}

namespace {

// The distance vectors behind the shadow-price weights of a pass (output,
// input), or nullptr for families weighing by prices.
struct WeightDistances {
  const ObservationVector* output;
  const ObservationVector* input;
};

WeightDistances DistancesOfPass(const AnalysisRecord& record, int pass) {
  if (record.Laspeyres || record.Paasche || record.Fisher || record.Lowe) return {nullptr, nullptr};
  if (record.MalmquistHs || (record.HicksMoorsteen && pass == 1)) return {&record.DOsts, &record.DItss};
  if (record.MalmquistIt || record.HicksMoorsteen) return {&record.DOtst, &record.DIstt};
  return {nullptr, nullptr};
}

}  // namespace

bool OutputWeightsMissing(const AnalysisRecord& record, uint32_t o, int pass) {
  const WeightDistances d = DistancesOfPass(record, pass);
  if (d.output != nullptr) return (*d.output)[o - 1] == kMissing;
  return record.FarePrimont && record.DO000 == kMissing;
}

bool InputWeightsMissing(const AnalysisRecord& record, uint32_t o, int pass) {
  const WeightDistances d = DistancesOfPass(record, pass);
  if (d.input != nullptr) return (*d.input)[o - 1] == kMissing;
  return record.FarePrimont && record.DI000 == kMissing;
}
