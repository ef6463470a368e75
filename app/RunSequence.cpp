#include "app/RunSequence.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>

#include <koru/koru.h>

#include "app/Interrupts.h"
#include "core/FatalStop.h"
#include "core/Format.h"
#include "app/Progress.h"
#include "core/ResultFile.h"
#include "core/RunContext.h"
#include "core/StagedFiles.h"
#include "lib/Engine.h"

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

// The progress line of the sets on standard error (when it is a terminal),
// fed by the library's progress hook; console text first clears it.
class SetProgressLines {
 public:
  void Show(int set, uint64_t done, uint64_t total) {
    if (set != m_Set) {
      m_Line.reset();
      // Set 8 is the bootstrap, whose units are replicates.
      m_Line = set == 8 ? std::make_unique<ProgressLine>("Bootstrap", total, "replicates")
                        : std::make_unique<ProgressLine>(FormatText("Set %d", set).c_str(), total);
      m_Set = set;
      m_Done = 0;
    }
    if (done > m_Done) m_Line->Advance(done - m_Done);
    m_Done = done;
  }
  void Print(const std::string& text) {
    if (m_Line) m_Line->Hide();
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
  void End() {
    m_Line.reset();
    m_Set = 0;
  }

 private:
  std::unique_ptr<ProgressLine> m_Line;
  int m_Set = 0;
  uint64_t m_Done = 0;
};

// Prints a stop's text and its prompt and waits as the prompt asks;
// returns kStoppedStatus.
int StopWithPrompt(const std::string& text, StopPrompt prompt) {
  ConsolePrintf("%s", text.c_str());
  switch (prompt) {
    case StopPrompt::kTerminate:
      ConsolePrintf("\n Press ENTER to terminate.\n");
      WaitForEnter();
      break;
    case StopPrompt::kTerminateSameLine:
      ConsolePrintf(" Press ENTER to terminate.");
      WaitForEnter();
      break;
    case StopPrompt::kCritical:
      std::fflush(stdout);
      if (!BatchMode()) {
        std::getchar();
        std::getchar();
      }
      break;
  }
  return kStoppedStatus;
}

std::string ReportName(const RunFileNames& names) { return names.base + "_output_report.html"; }

// Reading, the analysis, the result files and the report, through the
// library; returns the finished results or stops the run (false, its
// message printed and its wait done).
bool ReadComputeAndWrite(const RunFileNames& names, const RunOptions& options, StagedFiles& files,
                         koru::Results& results, int& status) {
  try {
    koru::InputFile input;
    if (options.table.given) {
      input = ReadPlainTable(options.table);
      input.console = koru::detail::ConfigurationSummary(input.panel, input.settings);
    } else {
      input = koru::read_input_file(names.input);
    }
    ConsolePrintf("%s", input.console.c_str());
    koru::Settings settings = input.settings;
    settings.threads = options.threads;
    settings.singleSolve = options.singleSolve;
    settings.malmquist = options.malmquist;
    settings.peers = options.peers;
    settings.bootstrap = options.bootstrap;
    settings.seed = options.seed;
    settings.alpha = options.alpha;
    SetProgressLines lines;
    koru::Hooks hooks;
    hooks.console = [&](const std::string& text) { lines.Print(text); };
    hooks.progress = [&](int set, uint64_t done, uint64_t total) { lines.Show(set, done, total); };
    koru::detail::AnalyzeOptions analyzeOptions;
    analyzeOptions.acceptNonFinite = true;
    results = koru::detail::Analyze(input.panel, settings, hooks, analyzeOptions);
    lines.End();
    const std::string report = ReportName(names);
    koru::detail::WriteResultFiles(results, files, names.base, options.report ? &report : nullptr);
    return true;
  } catch (const koru::detail::StopError& stop) {
    ConsolePrintf("%s", stop.consoleBefore.c_str());
    status = StopWithPrompt(stop.what(), stop.prompt);
  } catch (const koru::InputError& refusal) {
    // A refusal of the library's own (none arises from a file the reader
    // accepted) stops as the reader's stops do.
    status = StopWithPrompt(FormatText("\n ERROR: %s ", refusal.what()), StopPrompt::kTerminate);
  } catch (const koru::WriteError& stop) {
    status = StopWithPrompt(stop.what(), StopPrompt::kTerminate);
  }
  return false;
}

}  // namespace

std::string RunEndWarning(const AnalysisRecord& record) { return koru::detail::RunEndWarning(record); }

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

namespace {

void WriteStandardOutput(const char* data, std::size_t size) { std::fwrite(data, 1, size, stdout); }
void FlushStandardOutput() { std::fflush(stdout); }
int ReadStandardInput() { return std::getchar(); }

const ProcessConsole kStandardConsole = {WriteStandardOutput, FlushStandardOutput, ReadStandardInput};

}  // namespace

void InstallStandardConsole() { InstallProcessConsole(&kStandardConsole); }

void StartUp() {
  InstallStandardConsole();
  ConsolePrintf("\n KORU Version 3.1 Professional\n\n");
  ConsolePrintf(" Press ENTER to continue . . .\n");
  if (BatchMode()) {
    std::fflush(stdout);
    return;
  }
  std::string discarded;
  ReadConsoleLine(discarded);
}

namespace {

int RunOnNames(const RunFileNames& names, const RunOptions& options, SimplexTotals* totals);

}  // namespace

int RunKoru(const std::string& chosenPath, const RunOptions& options, SimplexTotals* totals) {
  InstallStandardConsole();
  RunFileNames names;
  bool named = DeriveFileNames(chosenPath, names);
  ConsolePrintf("\n Input file:  %s\n", named ? names.input.c_str() : chosenPath.c_str());

  std::FILE* test = named ? std::fopen(names.input.c_str(), "r") : nullptr;
  if (test == nullptr) return StopWithPrompt("\n ERROR: unable to open the input file. \n", StopPrompt::kTerminate);
  std::fclose(test);
  return RunOnNames(names, options, totals);
}

int RunKoruOnTable(const RunOptions& options, SimplexTotals* totals) {
  InstallStandardConsole();
  RunFileNames names;
  DeriveFileNames(TableBaseName(options.table) + "_input.csv", names);
  names.input = options.table.path;
  ConsolePrintf("\n Input table: %s\n", options.table.path.c_str());
  std::FILE* test = std::fopen(options.table.path.c_str(), "r");
  if (test == nullptr) return StopWithPrompt("\n ERROR: unable to open the input table. \n", StopPrompt::kTerminate);
  std::fclose(test);
  return RunOnNames(names, options, totals);
}

namespace {

// The run after the input is known to open: the staged outputs, reading,
// analysis, the result files and the closing text.
int RunOnNames(const RunFileNames& names, const RunOptions& options, SimplexTotals* totals) {
  // Every output is opened as a temporary beside it; the earlier files stay
  // as they are until the finished run replaces them all at its end.
  InterruptGuard interrupts;
  StagedFiles files;
  std::vector<std::string> outputs = {names.indexes, names.levels, names.shadowPrices, names.extras, names.errorLog};
  if (options.report) outputs.push_back(ReportName(names));
  if (options.malmquist) outputs.push_back(names.base + "_output_malmquist.csv");
  if (options.peers) outputs.push_back(names.base + "_output_peers.csv");
  if (options.bootstrap > 0) outputs.push_back(names.base + "_output_bootstrap.csv");
  for (const std::string& name : outputs) {
    if (files.Open(name) == nullptr) {
      files.Discard();
      return StopWithPrompt("\n ERROR: unable to open an output file. \n", StopPrompt::kTerminate);
    }
  }

  koru::Results results;
  int status = 0;
  const bool finished = ReadComputeAndWrite(names, options, files, results, status);
  if (totals != nullptr && results.engineState) {
    const ProgramTally& tally = koru::detail::RecordOf(results).Tally;
    *totals = SimplexTotals{tally.simplexCalls, tally.pivots, tally.updates};
  }
  if (!finished) return status;
  const int committed = interrupts.Commit(files);
  if (committed == kStoppedStatus) {
    StopOnWriteFailure(files);
    return kStoppedStatus;
  }
  if (committed != 0) return committed;

  const std::string closing = results.note + results.warning;
  if (!closing.empty()) ConsolePrintf("%s", closing.c_str());
  ConsolePrintf("\n Processing finished. Press ENTER to exit.\n");
  WaitForEnter();
  return 0;
}

}  // namespace
