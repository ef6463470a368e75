#pragma once
// What the library keeps behind its public interface (include/koru/koru.h),
// and what the console program needs beyond it: the engine's record of a
// run, the stops' console framing and the run's end-of-run warning.

#include <memory>
#include <string>
#include <vector>

#include <koru/koru.h>

#include "core/AnalysisRecord.h"
#include "core/RunContext.h"

class StagedFiles;

namespace koru {
namespace detail {

// The whole record of a finished analysis, from which write_result_files and
// write_report print exactly what the console program prints.
struct EngineState {
  AnalysisRecord record;
  std::string errorLog;  // the error log's entries
};

// Writes the error log and the four result files of the results (and the
// report when `reportName` is given) into a staged set, which the caller
// commits. Throws WriteError with the console's text for a failure.
void WriteResultFiles(const Results& results, StagedFiles& files, const std::string& baseName,
                      const std::string* reportName);

// The record behind results; throws WriteError for results without one.
const AnalysisRecord& RecordOf(const Results& results);

// A stop of the console program: what() is the text it prints for the stop;
// `prompt` how it then asks for ENTER; `consoleBefore` the console text the
// call printed before the stop and had not yet handed on (read_input_file
// hands its console text over only when it returns).
class StopError : public InputError {
 public:
  StopError(const std::string& text, StopPrompt prompt, std::string consoleBefore = "")
      : InputError(text), prompt(prompt), consoleBefore(std::move(consoleBefore)) {}
  StopPrompt prompt;
  std::string consoleBefore;
};

// How analyze treats a panel beyond the public settings.
struct AnalyzeOptions {
  // Values that are not finite (nan, inf in an input file) are analysed as
  // the console program always has (their programs fail) instead of refused.
  bool acceptNonFinite = false;
};

Results Analyze(const Panel& panel, const Settings& settings, const Hooks& hooks, const AnalyzeOptions& options);

// The configuration summary analyze gives the panel and settings
// (Results::summary), without analysing; "" where analyze refuses them.
std::string ConfigurationSummary(const Panel& panel, const Settings& settings);

// The text printed at the end of a run whose results the solver may not
// have got right (record.Tally): first, when programs were solved again on a
// rescaled copy and some of them reached the optimum there (or the warning
// follows), one line " NOTE: " saying how many and how many of them reached
// it; then, when some program still stopped short of its optimum, or
// programs failed while UnitMeans is off and the mean of some output or
// input quantity lies outside 0.01..100, the warning, whose lines start with
// " WARNING: " or continue one indented. "" when none of this holds. With
// record.SingleSolve the text is that of earlier versions.
std::string RunEndWarning(const AnalysisRecord& record);

// The note analyze gives a run before any bootstrap note: the absent
// observations', then RunEndNote's.
std::string RunNote(const AnalysisRecord& record);

// Fills results.bootstrap, results.bootstrapFailed and the bootstrap's line
// of results.note from the replicates 0 .. B - 1 of every measure
// (values[m][b * NT + o]) and the count of failed replicate programs.
void FillBootstrap(Results& results, const std::vector<std::vector<double>>& values, uint64_t failed);

// A program's label as the error log pads it, without its trailing blanks.
std::string WithoutTrailingSpaces(std::string text);

// The two parts of that text: the note on the second solves (one line, or
// ""), then the note on the Malmquist set's distances outside the other
// period's technology, and the warning proper (its " WARNING: " lines, or
// "").
std::string RunEndNote(const AnalysisRecord& record);
std::string AccuracyWarning(const AnalysisRecord& record);

}  // namespace detail
}  // namespace koru
