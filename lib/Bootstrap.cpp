// The library's side of the bootstrap: its column names, the statistics of
// a run's replicates into Results::bootstrap, and the joining of replicates
// computed in parts (bootstrap_replicates is beside analyze).

#include <algorithm>
#include <string>
#include <vector>

#include <koru/koru.h>

#include "core/Format.h"
#include "lib/Engine.h"
#include "measures/BootstrapSet.h"
#include "output/ResultFiles.h"
#include "output/WriterPieces.h"

namespace koru {
namespace {

// The note on failed replicate programs; "" when none failed.
std::string BootstrapNote(uint64_t failed) {
  if (failed == 0) return "";
  return FormatText(" NOTE: %llu bootstrap replicate program%s failed; %s left out of the\n"
                    "       statistics (the _n columns of the bootstrap file count the replicates used).\n",
                    static_cast<unsigned long long>(failed), failed == 1 ? "" : "s",
                    failed == 1 ? "its value is" : "their values are");
}

}  // namespace

std::vector<std::string> bootstrap_measures(const Settings& settings) {
  return BootstrapMeasureNames(settings.malmquist);
}

const std::vector<std::string>& bootstrap_statistics() { return BootstrapStatisticSuffixes(); }

namespace detail {

void FillBootstrap(Results& results, const std::vector<std::vector<double>>& values, uint64_t failed) {
  const AnalysisRecord& record = RecordOf(results);
  const Settings& settings = results.settings;
  Table& table = results.bootstrap;
  table = Table();
  table.title = TrimmedTitle(BootstrapTitleLine(settings.bootstrap, settings.seed, settings.alpha, settings.malmquist));
  for (const std::string& measure : bootstrap_measures(settings))
    for (const std::string& suffix : bootstrap_statistics()) table.headings.push_back(measure + suffix);
  table.columns = BootstrapStatistics(record, values, settings.bootstrap, settings.alpha);
  table.printed = PrintedRows(record);
  results.bootstrapFailed = failed;
  results.note = RunNote(record) + BootstrapNote(failed);
}

}  // namespace detail

void add_bootstrap(Results& results, const std::vector<BootstrapPart>& parts) {
  if (!results.engineState) throw InputError("add_bootstrap: these results carry no record of their analysis");
  const Settings& settings = results.settings;
  const uint32_t B = settings.bootstrap;
  if (B == 0 || !settings.bootstrapInParts)
    throw InputError("add_bootstrap needs results of analyze with settings.bootstrap and bootstrapInParts");
  const std::vector<std::string> measures = bootstrap_measures(settings);
  const std::size_t NT = static_cast<std::size_t>(results.panel.firms) * results.panel.periods;
  std::vector<std::vector<double>> values(measures.size(), std::vector<double>(B * NT, kMissing));
  std::vector<bool> covered(B, false);
  uint64_t failed = 0;
  for (const BootstrapPart& part : parts) {
    if (part.measures != measures || part.values.size() != measures.size() ||
        static_cast<uint64_t>(part.first) + part.count > B)
      throw InputError(FormatText("add_bootstrap: the part of replicates from %u does not fit these results",
                                  part.first));
    for (uint32_t r = 0; r < part.count; ++r) {
      if (covered[part.first + r])
        throw InputError(FormatText("add_bootstrap: replicate %u is in two parts", part.first + r));
      covered[part.first + r] = true;
    }
    for (std::size_t m = 0; m < measures.size(); ++m) {
      if (part.values[m].size() != part.count * NT)
        throw InputError(FormatText("add_bootstrap: the part of replicates from %u holds %zu values of %s, not %zu",
                                    part.first, part.values[m].size(), measures[m].c_str(), part.count * NT));
      std::copy(part.values[m].begin(), part.values[m].end(), values[m].begin() + part.first * NT);
    }
    failed += part.failed;
  }
  for (uint32_t b = 0; b < B; ++b)
    if (!covered[b]) throw InputError(FormatText("add_bootstrap: no part holds replicate %u", b));
  detail::FillBootstrap(results, values, failed);
}

}  // namespace koru
