#include "app/RunSequence.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>
#include <sys/stat.h>

#include "app/Interrupts.h"
#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "core/FatalStop.h"
#include "core/Format.h"
#include "core/ResultFile.h"
#include "core/StagedFiles.h"
#include "input/InputFile.h"
#include "lp/WorkerPool.h"
#include "measures/ComputationSets.h"
#include "output/ResultFiles.h"
#include "report/ReportFile.h"

namespace {

// Reads one whole line from standard input without its line end. Returns
// false at the end of input when nothing was read.
bool ReadConsoleLine(std::string& line) {
  std::fflush(stdout);
  line.clear();
  int c;
  bool any = false;
  while ((c = std::getchar()) != EOF) {
    any = true;
    if (c == '\n') break;
    line += static_cast<char>(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

bool IsExistingFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

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

std::string WithoutTrailingSpaces(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string Programs(uint64_t count) {
  return FormatText("%llu linear program%s", static_cast<unsigned long long>(count), count == 1 ? "" : "s");
}

// Prints the message and the closing prompt, waits; returns kStoppedStatus.
int StopWithMessage(const char* text) {
  ConsolePrintf("%s", text);
  ConsolePrintf("\n Press ENTER to terminate.\n");
  WaitForEnter();
  return kStoppedStatus;
}

std::string ReportName(const RunFileNames& names) { return names.base + "_output_report.html"; }

// Reading, the six sets and the result files, each step run only while the
// steps before it went on; false once a step stopped the run. A critical
// error-log entry, or an entry that could not be written, stops the run
// after the step that wrote it.
bool ReadComputeAndWrite(AnalysisRecord& record, ErrorLog& log, const RunFileNames& names,
                         const RunOptions& options, StagedFiles& files) {
  if (!ReadInputFile(record, names.input)) return false;
  PrintCounts(record);

  WorkerPool workers(options.threads >= 1 ? options.threads : DefaultThreadCount());
  PrepareWorkers(record, workers);
  void (*const sets[])(AnalysisRecord&, WorkerPool&) = {
      ComputeSet1,
      ComputeSet2,
      ComputeSet3,
      [](AnalysisRecord& r, WorkerPool&) { ComputeSet4(r); },
      [](AnalysisRecord& r, WorkerPool&) { ComputeSet5(r); },
      [](AnalysisRecord& r, WorkerPool&) { ComputeSet6(r); },
  };
  for (auto set : sets) {
    set(record, workers);
    if (log.HasCriticalEntry()) return log.CriticalStop();
    if (files.Failed()) return StopOnWriteFailure(files);
  }

  return WriteIndexesFile(record, files, names.indexes) && WriteLevelsFile(record, files, names.levels) &&
         WriteShadowPricesFile(record, files, names.shadowPrices) && WriteExtrasFile(record, files, names.extras) &&
         (!options.report || WriteReportFile(record, names.input, files, ReportName(names)));
}

}  // namespace

std::string RunEndWarning(const AnalysisRecord& record) {
  const ProgramTally& tally = record.Tally;
  const bool offScale = record.UnitMeans == 0 && HasMeanOutsideSafeRange(record);
  const bool inaccurate = tally.stoppedShort > 0 || (tally.failed > 0 && offScale);
  // Programs solved again with no better result fail or stop short as
  // before; they alone add no note to a run that needs no warning.
  if (!inaccurate && tally.solvedAgainTaken == 0) return "";

  constexpr const char* kMore = "          ";
  std::string text;
  if (tally.solvedAgain > 0) {
    text += " NOTE: " + Programs(tally.solvedAgain) + " solved again on a rescaled copy; " +
            FormatText("%llu reached the optimum there.\n", static_cast<unsigned long long>(tally.solvedAgainTaken));
  }
  if (!inaccurate) return text;
  text += " WARNING: Some results may be inaccurate. The linear programs behind them are\n";
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

bool DeriveFileNames(const std::string& chosenPath, RunFileNames& names) {
  if (chosenPath.size() < 10) return false;
  names.base = chosenPath.substr(0, chosenPath.size() - 10);
  names.input = names.base + "_input.csv";
  names.indexes = names.base + "_output_indexes.csv";
  names.levels = names.base + "_output_levels.csv";
  names.shadowPrices = names.base + "_output_shadowprices.csv";
  names.extras = names.base + "_output_xtras.csv";
  names.errorLog = names.base + "_output_xxerrors.txt";
  return true;
}

bool ChooseInputFile(std::string& path) {
  for (;;) {
    ConsolePrintf(" Input file (a name ending in _input.csv; an empty line cancels): ");
    std::string line;
    if (!ReadConsoleLine(line) || line.empty()) return false;
    if (IsExistingFile(line)) {
      path = line;
      return true;
    }
    ConsolePrintf(" No such file: %s\n", line.c_str());
  }
}

void StartUp() {
  ConsolePrintf("\n KORU Version 3.1 Professional\n\n");
  ConsolePrintf(" Press ENTER to continue . . .\n");
  if (BatchMode()) {
    std::fflush(stdout);
    return;
  }
  std::string discarded;
  ReadConsoleLine(discarded);
}

int RunKoru(const std::string& chosenPath, const RunOptions& options) {
  RunFileNames names;
  bool named = DeriveFileNames(chosenPath, names);
  ConsolePrintf("\n Input file:  %s\n", named ? names.input.c_str() : chosenPath.c_str());

  std::FILE* test = named ? std::fopen(names.input.c_str(), "r") : nullptr;
  if (test == nullptr) return StopWithMessage("\n ERROR: unable to open the input file. \n");
  std::fclose(test);

  // Every output is opened as a temporary beside it; the earlier files stay
  // as they are until the finished run replaces them all at its end.
  InterruptGuard interrupts;
  StagedFiles files;
  std::vector<std::string> outputs = {names.indexes, names.levels, names.shadowPrices, names.extras, names.errorLog};
  if (options.report) outputs.push_back(ReportName(names));
  for (const std::string& name : outputs) {
    if (files.Open(name) == nullptr) {
      files.Discard();
      return StopWithMessage("\n ERROR: unable to open an output file. \n");
    }
  }

  ErrorLog log(files.Open(names.errorLog));
  AnalysisRecord record;
  record.Log = &log;
  record.SingleSolve = options.singleSolve ? 1 : 0;
  if (!ReadComputeAndWrite(record, log, names, options, files)) return kStoppedStatus;
  const int committed = interrupts.Commit(files);
  if (committed == kStoppedStatus) {
    StopOnWriteFailure(files);
    return kStoppedStatus;
  }
  if (committed != 0) return committed;

  const std::string warning = RunEndWarning(record);
  if (!warning.empty()) ConsolePrintf("%s", warning.c_str());
  ConsolePrintf("\n Processing finished. Press ENTER to exit.\n");
  WaitForEnter();
  return 0;
}
