// The library's file functions: reading an input file as the console program
// reads it, writing one back, and writing the result files and the report of
// finished results.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "core/ErrorLog.h"
#include "core/Families.h"
#include "core/FatalStop.h"
#include "core/ResultFile.h"
#include "core/StagedFiles.h"
#include "core/Format.h"
#include "input/InputFile.h"
#include "lib/Engine.h"
#include "output/ResultFiles.h"
#include "report/ReportFile.h"

namespace koru {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

// Whether a data row marks an absent observation: every quantity is -9999.
bool MarksAbsent(const double* row, uint32_t quantities) {
  for (uint32_t c = 0; c < quantities; ++c)
    if (row[2 + c] != kMissing) return false;
  return quantities > 0;
}

// The panel as the data rows hold it: the reader's data matrix before the
// means are taken and the quantities rescaled. A row whose every quantity is
// -9999 is an absent observation.
Panel PanelOfRecord(const AnalysisRecord& record) {
  Panel panel;
  panel.firms = record.Firms;
  panel.periods = record.Periods;
  panel.outputs = record.Outputs;
  panel.inputs = record.Inputs;
  const uint32_t M = record.Outputs, K = record.Inputs, NT = record.Observations;
  panel.outputQuantities.resize(static_cast<std::size_t>(NT) * M);
  panel.inputQuantities.resize(static_cast<std::size_t>(NT) * K);
  if (record.Prices == 1) {
    panel.outputPrices.resize(static_cast<std::size_t>(NT) * M);
    panel.inputPrices.resize(static_cast<std::size_t>(NT) * K);
  }
  panel.id1.resize(NT);
  panel.id2.resize(NT);
  for (uint32_t o = 0; o < NT; ++o) {
    const double* row = record.Data.Row(o);
    panel.id1[o] = row[0];
    panel.id2[o] = row[1];
    if (MarksAbsent(row, M + K)) {
      if (panel.present.empty()) panel.present.assign(NT, true);
      panel.present[o] = false;
    }
    for (uint32_t m = 0; m < M; ++m) panel.outputQuantities[static_cast<std::size_t>(o) * M + m] = row[2 + m];
    for (uint32_t k = 0; k < K; ++k) panel.inputQuantities[static_cast<std::size_t>(o) * K + k] = row[2 + M + k];
    if (record.Prices != 1) continue;
    for (uint32_t m = 0; m < M; ++m) panel.outputPrices[static_cast<std::size_t>(o) * M + m] = row[2 + M + K + m];
    for (uint32_t k = 0; k < K; ++k) panel.inputPrices[static_cast<std::size_t>(o) * K + k] = row[2 + 2 * M + K + k];
  }
  panel.idHeading = record.IdHeading;
  return panel;
}

Settings SettingsOfRecord(const AnalysisRecord& record) {
  Settings settings;
  settings.familyGiven = true;
  for (std::size_t f = 0; f < kFamilyCount; ++f)
    if (record.*kFamilies[f].flag == 1) settings.family = static_cast<Family>(f);
  settings.returnsToScale = record.Vrs != 1                             ? ReturnsToScale::Constant
                            : record.ScaleBound == kNonIncreasing ? ReturnsToScale::NonIncreasing
                            : record.ScaleBound == kNonDecreasing ? ReturnsToScale::NonDecreasing
                                                                  : ReturnsToScale::Variable;
  settings.technology = record.TechChange == 0   ? Technology::NoTechChange
                        : record.TechRegress == 0 ? Technology::NoTechRegress
                                                  : Technology::EachPeriod;
  settings.window = record.Window;
  settings.base = record.Base;
  settings.unitMeans = record.UnitMeans == 1;
  return settings;
}

const detail::EngineState& StateOf(const Results& results) {
  if (!results.engineState) throw WriteError("these results carry no record of their analysis to write");
  return *static_cast<const detail::EngineState*>(results.engineState.get());
}

// Runs a writer with stops recorded instead of printed; a stop becomes a
// WriteError whose what() is the console's text for it.
template <typename Write>
void WriteOrThrow(Write write) {
  RunContext context;
  RunContextGuard guard(context);
  if (!write()) throw WriteError(context.stopText);
}

// Puts the staged files in place; a failure becomes a WriteError with the
// console's text for it.
void CommitOrThrow(StagedFiles& files) {
  if (files.Commit()) return;
  RunContext context;
  RunContextGuard guard(context);
  StopOnWriteFailure(files);
  throw WriteError(context.stopText);
}

}  // namespace

namespace detail {

const AnalysisRecord& RecordOf(const Results& results) { return StateOf(results).record; }

}  // namespace detail

InputFile read_input_file(const std::string& path) {
  RunContext context;
  InputFile input;
  context.console = [&](const std::string& text) { input.console += text; };
  RunContextGuard guard(context);

  AnalysisRecord record;
  ErrorLog log;
  record.Log = &log;
  const auto stop = [&]() { throw detail::StopError(context.stopText, context.stopPrompt, input.console); };
  OpenFile file(std::fopen(path.c_str(), "r"));
  if (!file) {
    FatalStop("unable to open the input file. \n");
    stop();
  }
  if (!ReadCommandSection(record, file.get())) stop();
  SetUpProblem(record, record.Firms, record.Periods, record.Outputs, record.Inputs);
  if (!ReadDataRows(record, file.get())) stop();

  input.panel = PanelOfRecord(record);
  input.panel.source = path;
  input.settings = SettingsOfRecord(record);
  return input;
}

void write_input_file(const std::string& path, const Panel& panel, const Settings& settings) {
  std::string text = FormatText("Firms %u\nPeriods %u\nOutputs %u\nInputs %u\n", panel.firms, panel.periods,
                                panel.outputs, panel.inputs);
  if (panel.HasPrices()) text += "Prices\n";
  if (settings.familyGiven) {
    // The command keywords without a hyphen, as the family table spells them.
    const char* const keywords[kFamilyCount] = {"Laspeyres",    "Paasche",      "Fisher",         "Lowe",
                                                "Malmquist-hs", "Malmquist-it", "HicksMoorsteen", "FarePrimont"};
    text += std::string(keywords[static_cast<int>(settings.family)]) + "\n";
  }
  if (settings.returnsToScale == ReturnsToScale::Constant) text += "CRS\n";
  if (settings.returnsToScale == ReturnsToScale::NonIncreasing) text += "NIRS\n";
  if (settings.returnsToScale == ReturnsToScale::NonDecreasing) text += "NDRS\n";
  if (settings.technology == Technology::NoTechRegress) text += "NoTechRegress\n";
  if (settings.technology == Technology::NoTechChange) text += "NoTechChange\n";
  text += FormatText("Window %u\nBase %u\n", settings.window, settings.base);
  if (settings.unitMeans) text += "UnitMeans\n";
  text += "End\n";

  const uint32_t M = panel.outputs, K = panel.inputs;
  const uint64_t NT = static_cast<uint64_t>(panel.firms) * panel.periods;
  if (panel.outputQuantities.size() != NT * M || panel.inputQuantities.size() != NT * K ||
      (!panel.present.empty() && panel.present.size() != NT) ||
      (panel.HasPrices() && (panel.outputPrices.size() != NT * M || panel.inputPrices.size() != NT * K)) ||
      (!panel.id1.empty() && panel.id1.size() != NT) || (!panel.id2.empty() && panel.id2.size() != NT))
    throw WriteError(path + ": the panel's arrays do not match its counts");
  // The heading before the third comma names the identifiers; the variables
  // follow it.
  std::string heading = panel.idHeading;
  for (int commas = static_cast<int>(std::count(heading.begin(), heading.end(), ',')); commas < 2; ++commas)
    heading += ",";
  text += heading;
  for (uint32_t m = 1; m <= M; ++m) text += FormatText(",y%u", m);
  for (uint32_t k = 1; k <= K; ++k) text += FormatText(",x%u", k);
  if (panel.HasPrices()) {
    for (uint32_t m = 1; m <= M; ++m) text += FormatText(",p%u", m);
    for (uint32_t k = 1; k <= K; ++k) text += FormatText(",w%u", k);
  }
  text += "\n";
  // Nine significant digits give every single-precision value back exactly.
  // An absent observation's row holds -9999 for every quantity and price.
  const auto value = [](double v) { return FormatText(",%.9g", static_cast<double>(static_cast<float>(v))); };
  const std::string absentValues = [&] {
    std::string values;
    for (uint32_t c = 0; c < (panel.HasPrices() ? 2 : 1) * (M + K); ++c) values += value(kMissing);
    return values;
  }();
  for (uint64_t o = 0; o < NT; ++o) {
    text += std::to_string(o + 1);
    text += value(panel.id1.empty() ? static_cast<double>(o % panel.firms + 1) : panel.id1[o]);
    text += value(panel.id2.empty() ? static_cast<double>(o / panel.firms + 1) : panel.id2[o]);
    if (!panel.IsPresent(o)) {
      text += absentValues + "\n";
      continue;
    }
    for (uint32_t m = 0; m < M; ++m) text += value(panel.outputQuantities[o * M + m]);
    for (uint32_t k = 0; k < K; ++k) text += value(panel.inputQuantities[o * K + k]);
    if (panel.HasPrices()) {
      for (uint32_t m = 0; m < M; ++m) text += value(panel.outputPrices[o * M + m]);
      for (uint32_t k = 0; k < K; ++k) text += value(panel.inputPrices[o * K + k]);
    }
    text += "\n";
  }
  OpenFile file(std::fopen(path.c_str(), "w"));
  if (!file) throw WriteError(path + ": " + std::strerror(errno));
  const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
  if (!written || std::fclose(file.release()) != 0) throw WriteError(path + ": the file could not be written whole");
}

namespace detail {

void WriteResultFiles(const Results& results, StagedFiles& files, const std::string& baseName,
                      const std::string* reportName) {
  const detail::EngineState& state = StateOf(results);
  const AnalysisRecord& record = state.record;
  // The error log first, as the console program's log holds its entries by
  // the time the result files are written.
  WriteOrThrow([&] {
    std::FILE* file = OpenResultFile(files, baseName + "_output_xxerrors.txt",
                                     "Unable to open _output_xxerrors.txt file for writing");
    if (file == nullptr) return false;
    WriteToStream(file, state.errorLog.data(), state.errorLog.size());
    return CloseResultFile(files, file);
  });
  WriteOrThrow([&] { return WriteIndexesFile(record, files, baseName + "_output_indexes.csv"); });
  WriteOrThrow([&] { return WriteLevelsFile(record, files, baseName + "_output_levels.csv"); });
  WriteOrThrow([&] { return WriteShadowPricesFile(record, files, baseName + "_output_shadowprices.csv"); });
  WriteOrThrow([&] { return WriteExtrasFile(record, files, baseName + "_output_xtras.csv"); });
  if (record.Malmquist == 1)
    WriteOrThrow([&] { return WriteMalmquistFile(record, files, baseName + "_output_malmquist.csv"); });
  if (record.Peers != 0) WriteOrThrow([&] { return WritePeersFile(record, files, baseName + "_output_peers.csv"); });
  // A run in parts has its bootstrap file once add_bootstrap has filled the table.
  const Table& bootstrap = results.bootstrap;
  if (results.settings.bootstrap > 0 && !bootstrap.columns.empty()) {
    const std::string title = BootstrapTitleLine(results.settings.bootstrap, results.settings.seed,
                                                 results.settings.alpha, results.settings.malmquist);
    WriteOrThrow([&] {
      return WriteBootstrapFile(record, title, bootstrap.headings, bootstrap.columns, files,
                                baseName + "_output_bootstrap.csv");
    });
  }
  if (reportName != nullptr)
    WriteOrThrow([&] { return WriteReportFile(record, results.panel.source, files, *reportName); });
}

}  // namespace detail

void write_result_files(const Results& results, const std::string& baseName) {
  StagedFiles files;
  detail::WriteResultFiles(results, files, baseName, nullptr);
  CommitOrThrow(files);
}

void write_report(const Results& results, const std::string& path) {
  const detail::EngineState& state = StateOf(results);
  StagedFiles files;
  WriteOrThrow([&] { return WriteReportFile(state.record, results.panel.source, files, path); });
  CommitOrThrow(files);
}

}  // namespace koru
