#pragma once
// The aggregator weights of an observation, shared by Sets 2 to 4: which
// prices or normalised shadow prices weigh outputs and inputs, by family and
// pass.
//
//   family            pass 1                      pass 2
//   Laspeyres         prices of b                 -
//   Paasche           prices of o                 -
//   Fisher            prices of b                 prices of o
//   Lowe              mean prices                 -
//   Malmquist-hs      pstarhs, wstarhs row o      -
//   Malmquist-it      pstarit, wstarit row o      -
//   Hicks-Moorsteen   pstarhs, wstarhs row o      pstarit, wstarit row o
//   Fare-Primont      pstar0, wstar0              -

#include <cstdint>
#include <vector>

struct AnalysisRecord;
struct WorkingCopies;

// Fills the record's current output and input weights for observation o
// (1-based) with comparison observation b, for pass 1 or 2. Rows are read
// with the checked access.
void FillAggregatorWeights(AnalysisRecord& record, WorkingCopies& copies, uint32_t o, uint32_t b, int pass);

// Whether the output and the input weights of observation o are shadow
// prices of a program that failed: they were computed from its distance
// marker and whatever solution it left.
struct WeightSources {
  bool outputFromMissing = false;
  bool inputFromMissing = false;
};

// The same into the vectors given (M and K entries), for a worker that keeps
// its own weights; returns where they came from.
WeightSources FillAggregatorWeights(AnalysisRecord& record, WorkingCopies& copies, uint32_t o, uint32_t b, int pass,
                                    std::vector<double>& outputWeights, std::vector<double>& inputWeights);
