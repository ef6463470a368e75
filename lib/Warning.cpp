// The warning at the end of a run whose results the solver may not have got
// right.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/Format.h"
#include "lib/Engine.h"

namespace koru {
namespace detail {
namespace {

// Quantity means outside this range mark data in units far from 1, where the
// solver's absolute tolerance is too coarse or too fine.
constexpr double kSmallestSafeMean = 0.01;
constexpr double kLargestSafeMean = 100.0;

// An infinite or NaN mean comes from values that are not numbers, which no
// rescaling mends: it does not count.
bool HasMeanOutsideSafeRange(const AnalysisRecord& record) {
  for (const std::vector<double>* means : {&record.OutputMeans, &record.InputMeans}) {
    for (double mean : *means) {
      if (std::isfinite(mean) && (mean < kSmallestSafeMean || mean > kLargestSafeMean)) return true;
    }
  }
  return false;
}

std::string Programs(uint64_t count) {
  return FormatText("%llu linear program%s", static_cast<unsigned long long>(count), count == 1 ? "" : "s");
}

bool RunIsInaccurate(const AnalysisRecord& record) {
  const ProgramTally& tally = record.Tally;
  const bool offScale = record.UnitMeans == 0 && HasMeanOutsideSafeRange(record);
  return tally.stoppedShort > 0 || (tally.failed > 0 && offScale);
}

}  // namespace

std::string WithoutTrailingSpaces(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

namespace {

// The Malmquist set's cross-period distances that are missing because their
// observation lies outside the other period's technology; "" when none.
std::string OutsideNote(const AnalysisRecord& record) {
  const uint64_t outside = record.MalmquistSet.outside;
  if (record.Malmquist != 1 || outside == 0) return "";
  return FormatText(" NOTE: %llu cross-period distance%s of the Malmquist file %s missing (-9999): the\n"
                    "       observation lies outside the other period's technology under these\n"
                    "       returns to scale, so no program failed.\n",
                    static_cast<unsigned long long>(outside), outside == 1 ? "" : "s", outside == 1 ? "is" : "are");
}

}  // namespace

std::string RunEndNote(const AnalysisRecord& record) {
  const ProgramTally& tally = record.Tally;
  std::string note;
  // Programs solved again with no better result fail or stop short as
  // before; they alone add no note to a run that needs no warning.
  if (tally.solvedAgain != 0 && (RunIsInaccurate(record) || tally.solvedAgainTaken != 0)) {
    note = " NOTE: " + Programs(tally.solvedAgain) + " solved again on a rescaled copy; " +
           FormatText("%llu reached the optimum there.\n", static_cast<unsigned long long>(tally.solvedAgainTaken));
  }
  // Programs that cycled or passed the step limit and were solved with the
  // rule that cannot cycle; those it could not solve are failures.
  if (tally.cycling != 0 || tally.stalled != 0 || tally.antiCyclingSolved != 0) {
    note += " NOTE: " + Programs(tally.cycling) + " turned in a cycle of degenerate steps" +
            (tally.stalled != 0
                 ? FormatText(", %llu stalled in one", static_cast<unsigned long long>(tally.stalled))
                 : std::string()) +
            FormatText("; %llu solved with a pivot rule that cannot cycle.\n",
                       static_cast<unsigned long long>(tally.antiCyclingSolved));
  }
  return note + OutsideNote(record);
}

std::string RunEndWarning(const AnalysisRecord& record) { return RunEndNote(record) + AccuracyWarning(record); }

std::string AccuracyWarning(const AnalysisRecord& record) {
  const ProgramTally& tally = record.Tally;
  if (!RunIsInaccurate(record)) return "";

  constexpr const char* kMore = "          ";
  std::string text = " WARNING: Some results may be inaccurate. The linear programs behind them are\n";
  text += std::string(kMore) + "solved to a fixed accuracy that suits quantities with means near 1.\n";
  if (tally.stoppedShort > 0) {
    text += " WARNING: " + Programs(tally.stoppedShort) + " stopped before reaching the optimum, so the\n";
    if (record.SingleSolve != 0) {
      // --single-solve: the run as earlier versions printed it.
      text += std::string(kMore) + "results computed from them may be off in their last printed digits:\n";
    } else {
      text += std::string(kMore) + "results computed from them may be wrong by far more than their last\n";
      text += std::string(kMore) + "digit. Every one is named in the error log (\"LP stopped short\"):\n";
    }
    constexpr std::size_t kListed = 5;
    const std::size_t listed = std::min(kListed, tally.shortStops.size());
    for (std::size_t k = 0; k < listed; ++k) text += kMore + WithoutTrailingSpaces(tally.shortStops[k].label) + "\n";
    if (tally.stoppedShort > listed) {
      text += kMore + FormatText("and %llu more\n", static_cast<unsigned long long>(tally.stoppedShort - listed));
    }
  }
  if (tally.failed > 0) {
    text += " WARNING: " + Programs(tally.failed) + " failed. They are listed in the error log (the file\n";
    text += std::string(kMore) + "ending in _output_xxerrors.txt); their results are printed as -9999.\n";
  }
  if (record.UnitMeans == 0) {
    text += " WARNING: To avoid this, rescale the data so that every output and input quantity\n";
    text += std::string(kMore) + "has a mean near 1 (for example, money in millions instead of single\n";
    text += std::string(kMore) + "units), or add the line UnitMeans to the command section of the\n";
    text += std::string(kMore) + "input file, which does this rescaling for you.\n";
  } else {
    text += " WARNING: The data already have unit means (UnitMeans). Quantities that differ by\n";
    text += std::string(kMore) + "many orders of magnitude between firms can still cause this; check the\n";
    text += std::string(kMore) + "results listed above before relying on them.\n";
  }
  return text;
}

}  // namespace detail
}  // namespace koru
