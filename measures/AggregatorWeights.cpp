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

WeightSources FillAggregatorWeights(AnalysisRecord& record, WorkingCopies& copies, uint32_t o, uint32_t b, int pass,
                                    std::vector<double>& p, std::vector<double>& w) {
  // Prices are data; shadow prices come from a program whose distance may be missing.
  WeightSources sources;
  const uint32_t e = o - 1;
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
    sources.outputFromMissing = record.DOsts[e] == kMissing;
    sources.inputFromMissing = record.DItss[e] == kMissing;
  } else if (record.MalmquistIt || record.HicksMoorsteen) {
    CopyRow(record.pstarit, o, p);
    CopyRow(record.wstarit, o, w);
    sources.outputFromMissing = record.DOtst[e] == kMissing;
    sources.inputFromMissing = record.DIstt[e] == kMissing;
  } else if (record.FarePrimont) {
    p = record.pstar0;
    w = record.wstar0;
    sources.outputFromMissing = record.DO000 == kMissing;
    sources.inputFromMissing = record.DI000 == kMissing;
  }
  return sources;
}
