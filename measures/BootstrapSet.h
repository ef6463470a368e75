#pragma once
// The smoothed bootstrap of the efficiencies (measures/BootstrapSet.cpp) and
// the statistics of its replicates (measures/BootstrapStatistics.cpp).
//
// Reads Set 1's OTE, ITE, DOttt and DIttt, the Malmquist set's indexes and
// the data; writes nothing into the record:
// the replicates go to the caller's BootstrapValues, so that replicates
// computed in parts (on other processes or machines) join into the same
// statistics as a run's own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct AnalysisRecord;
class WorkerPool;

// The measures bootstrapped, in the order of their values and columns: OTE,
// ITE and, with the Malmquist set, M_O, EC_O, TC_O, M_I, EC_I, TC_I.
std::vector<std::string> BootstrapMeasureNames(bool malmquist);
// The suffixes of each measure's columns: the estimate, the bias-corrected
// estimate, the bias, the standard error, the interval's ends and the
// replicates used.
const std::vector<std::string>& BootstrapStatisticSuffixes();

// The run's estimates of measure m (Set 1's OTE, ITE, the Malmquist set's
// indexes), per observation.
const std::vector<double>& BootstrapEstimates(const AnalysisRecord& record, std::size_t m);

// The refusal of a technology whose reference sets the bootstrap cannot
// resample; nullptr for each period's own (Window 1, technical regress
// allowed) and, without the Malmquist set, for one pooled set (no technical
// change).
const char* BootstrapRefusal(const AnalysisRecord& record);

// Replicates first .. first + count - 1 of every measure.
struct BootstrapValues {
  uint32_t first = 0;
  uint32_t count = 0;
  // values[m][r * NT + o - 1]: measure m of observation o in replicate
  // first + r; -9999 where the observation has no estimate, is absent, or
  // its replicate program failed.
  std::vector<std::vector<double>> values;
  uint64_t failed = 0;  // replicate programs that failed
};

// Computes the replicates on the workers (one replicate per task, each
// replicate drawing from its own streams), reporting progress as set 8.
// The programs are solved quietly: they print nothing, enter nothing in
// the error log and are not counted in the run's tally; a failed one counts
// in BootstrapValues::failed only. Set 1 has run.
void ComputeBootstrapReplicates(AnalysisRecord& record, WorkerPool& workers, uint64_t seed, uint32_t first,
                                uint32_t count, BootstrapValues& replicates);

// The statistics of every measure from its replicates (values[m] holds B x
// NT values, replicate by replicate): per measure the columns of
// BootstrapStatisticSuffixes, one entry per observation, in measure order.
std::vector<std::vector<double>> BootstrapStatistics(const AnalysisRecord& record,
                                                     const std::vector<std::vector<double>>& values, uint32_t B,
                                                     double alpha);

// The quantile of type 7 (R's and numpy's default) of sorted values at
// probability p: with h = (n - 1) p and j = floor(h), x[j] + (h - j)
// (x[j+1] - x[j]).
double QuantileType7(const std::vector<double>& sorted, double p);
// The sample standard deviation (divisor n - 1), summed in index order;
// 0 for fewer than 2 values.
double SampleStandardDeviation(const std::vector<double>& values);
