// analyze: a panel and settings in, results out. The panel and settings fill
// an analysis record as the input file's reader fills it; then the data are
// prepared (means, rescaling, identifiers), the six computation sets run on a
// worker pool whose worker 0 is the calling thread, and the results are
// copied out of the record, which the results keep for the file writers.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/ErrorLog.h"
#include "core/Families.h"
#include "core/Format.h"
#include "input/InputFile.h"
#include "lib/Engine.h"
#include "lp/WorkerPool.h"
#include "measures/AbsentObservations.h"
#include "measures/BootstrapSet.h"
#include "measures/ComputationSets.h"
#include "measures/Peers.h"
#include "output/ResultTables.h"

namespace koru {
namespace {

[[noreturn]] void ThrowStop(const RunContext& context) {
  throw detail::StopError(context.stopText, context.stopPrompt);
}

// The record's configuration from the settings; the family flags stay clear
// when the settings leave the family to the default rules. An enumerator out
// of range (a front end's cast) is refused.
void Configure(AnalysisRecord& record, const Panel& panel, const Settings& settings) {
  if (static_cast<unsigned>(settings.family) >= kFamilyCount)
    throw InputError(FormatText("family %d is none of the eight families", static_cast<int>(settings.family)));
  if (static_cast<unsigned>(settings.returnsToScale) > 3)
    throw InputError(FormatText("returns to scale %d is none of variable, constant, non-increasing, non-decreasing",
                                static_cast<int>(settings.returnsToScale)));
  if (static_cast<unsigned>(settings.technology) > 2)
    throw InputError(FormatText("technology %d is none of each period, no technical regress, no technical change",
                                static_cast<int>(settings.technology)));
  record.Prices = panel.HasPrices() ? 1 : 0;
  record.Vrs = settings.returnsToScale == ReturnsToScale::Constant ? 0 : 1;
  record.ScaleBound = settings.returnsToScale == ReturnsToScale::NonIncreasing   ? kNonIncreasing
                      : settings.returnsToScale == ReturnsToScale::NonDecreasing ? kNonDecreasing
                                                                                  : kFreeScale;
  record.Malmquist = settings.malmquist ? 1 : 0;
  record.TechRegress = settings.technology == Technology::EachPeriod ? 1 : 0;
  record.TechChange = settings.technology == Technology::NoTechChange ? 0 : 1;
  record.UnitMeans = settings.unitMeans ? 1 : 0;
  record.SingleSolve = settings.singleSolve ? 1 : 0;
  record.Peers = settings.peers ? 1 : 0;
  if (settings.familyGiven) record.*kFamilies[static_cast<int>(settings.family)].flag = 1;
  record.Firms = panel.firms;
  record.Periods = panel.periods;
  record.Outputs = panel.outputs;
  record.Inputs = panel.inputs;
  record.Window = settings.window;
  record.Base = settings.base;
}

// The bootstrap's settings, once the record holds the technology.
void CheckBootstrapSettings(const AnalysisRecord& record, const Settings& settings) {
  if (settings.bootstrap == 0) return;
  if (!(settings.alpha > 0.0 && settings.alpha < 1.0))
    throw InputError(FormatText("alpha %g is not between 0 and 1", settings.alpha));
  if (const char* refusal = BootstrapRefusal(record)) throw InputError(refusal);
}

Family ChosenFamily(const AnalysisRecord& record) {
  for (std::size_t f = 0; f < kFamilyCount; ++f)
    if (record.*kFamilies[f].flag == 1) return static_cast<Family>(f);
  return Family::FarePrimont;
}

void CheckSize(const std::vector<double>& values, uint64_t expected, const char* field, const char* product) {
  if (values.size() == expected) return;
  throw InputError(FormatText("%s holds %llu values; %s = %llu", field, static_cast<unsigned long long>(values.size()),
                              product, static_cast<unsigned long long>(expected)));
}

// Every value of a present observation in a row-major NT x width block is
// finite.
void CheckFinite(const Panel& panel, const std::vector<double>& values, uint32_t width, const char* what) {
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (std::isfinite(values[k])) continue;
    const uint64_t o = k / width;
    if (!panel.IsPresent(o)) continue;
    throw InputError(FormatText("%s %u of firm %u in period %u (observation %llu) is not finite (%g)", what,
                                static_cast<unsigned>(k % width + 1), static_cast<unsigned>(o % panel.firms + 1),
                                static_cast<unsigned>(o / panel.firms + 1), static_cast<unsigned long long>(o + 1),
                                values[k]));
  }
}

// The sizes of the panel's arrays against its counts, then its values.
void CheckPanel(const Panel& panel, bool acceptNonFinite) {
  const uint64_t NT = static_cast<uint64_t>(panel.firms) * panel.periods;
  CheckSize(panel.outputQuantities, NT * panel.outputs, "outputQuantities", "firms x periods x outputs");
  CheckSize(panel.inputQuantities, NT * panel.inputs, "inputQuantities", "firms x periods x inputs");
  if (panel.HasPrices()) {
    CheckSize(panel.outputPrices, NT * panel.outputs, "outputPrices", "firms x periods x outputs");
    CheckSize(panel.inputPrices, NT * panel.inputs, "inputPrices", "firms x periods x inputs");
  }
  if (!panel.id1.empty()) CheckSize(panel.id1, NT, "id1", "firms x periods");
  if (!panel.id2.empty()) CheckSize(panel.id2, NT, "id2", "firms x periods");
  if (!panel.present.empty() && panel.present.size() != NT)
    throw InputError(FormatText("present holds %llu values; firms x periods = %llu",
                                static_cast<unsigned long long>(panel.present.size()),
                                static_cast<unsigned long long>(NT)));
  if (acceptNonFinite) return;
  CheckFinite(panel, panel.outputQuantities, panel.outputs, "output quantity");
  CheckFinite(panel, panel.inputQuantities, panel.inputs, "input quantity");
  CheckFinite(panel, panel.outputPrices, panel.outputs, "output price");
  CheckFinite(panel, panel.inputPrices, panel.inputs, "input price");
  CheckFinite(panel, panel.id1, 1, "id1");
  CheckFinite(panel, panel.id2, 1, "id2");
}

// The identifier value of observation o (0-based) in column 1 or 2.
double IdentifierOf(const Panel& panel, uint64_t o, int column) {
  const std::vector<double>& ids = column == 1 ? panel.id1 : panel.id2;
  if (!ids.empty()) return ids[o];
  return static_cast<double>(column == 1 ? o % panel.firms + 1 : o / panel.firms + 1);
}

// Every period and every firm has a present observation; a fixed-base
// family's base is present. Throws InputError naming the period, the firm
// or the base otherwise.
void CheckPresentObservations(const AnalysisRecord& record, const Panel& panel) {
  if (panel.present.empty()) return;
  const uint32_t N = panel.firms, T = panel.periods;
  std::vector<bool> firmSeen(N, false), periodSeen(T, false);
  for (uint64_t o = 0; o < static_cast<uint64_t>(N) * T; ++o) {
    if (!panel.IsPresent(o)) continue;
    firmSeen[o % N] = true;
    periodSeen[o / N] = true;
  }
  for (uint32_t t = 0; t < T; ++t)
    if (!periodSeen[t])
      throw InputError(FormatText("period %u (identifier %.0f) has no present observation; drop the period",
                                  t + 1, IdentifierOf(panel, static_cast<uint64_t>(N) * t, 2)));
  for (uint32_t i = 0; i < N; ++i)
    if (!firmSeen[i])
      throw InputError(FormatText("firm %u (identifier %.0f) has no present observation; drop the firm", i + 1,
                                  IdentifierOf(panel, i, 1)));
  if (record.IsFixedBase() && record.Base >= 1 && record.Base <= static_cast<uint64_t>(N) * T &&
      !panel.IsPresent(record.Base - 1))
    throw InputError(FormatText("the base observation %u (firm %u in period %u) is absent; %s compares every "
                                "observation with it: choose a present one",
                                record.Base, (record.Base - 1) % N + 1, (record.Base - 1) / N + 1,
                                FamilyName(record) + 1));
}

// The note on the absent observations; "" for a balanced panel.
std::string AbsentNote(const AnalysisRecord& record) {
  if (record.Absent.empty()) return "";
  uint32_t absent = 0;
  for (char a : record.Absent) absent += a != 0 ? 1 : 0;
  return FormatText(" NOTE: %u of the %u observations are absent from the panel; the result files leave out their"
                    " rows.\n",
                    absent, record.Observations);
}

// The data matrix as the reader leaves it before the means are taken; the
// rows of absent observations hold -9999 for every quantity and price.
void FillData(AnalysisRecord& record, const Panel& panel) {
  CreateDataMatrix(record);
  const uint32_t N = panel.firms, M = panel.outputs, K = panel.inputs, NT = record.Observations;
  const std::size_t heading = std::min(panel.idHeading.size(), sizeof record.IdHeading - 1);
  std::memcpy(record.IdHeading, panel.idHeading.data(), heading);
  record.IdHeading[heading] = '\0';
  if (!panel.present.empty()) record.Absent.assign(NT, 0);
  for (uint32_t o = 0; o < NT; ++o) {
    double* row = record.Data.Row(o);
    row[0] = panel.id1.empty() ? static_cast<double>(o % N + 1) : panel.id1[o];
    row[1] = panel.id2.empty() ? static_cast<double>(o / N + 1) : panel.id2[o];
    if (!panel.IsPresent(o)) {
      record.Absent[o] = 1;
      const uint32_t values = (record.Prices == 1 ? 2 : 1) * (M + K);
      for (uint32_t c = 0; c < values; ++c) row[2 + c] = kMissing;
      continue;
    }
    for (uint32_t m = 0; m < M; ++m) row[2 + m] = panel.outputQuantities[static_cast<std::size_t>(o) * M + m];
    for (uint32_t k = 0; k < K; ++k) row[2 + M + k] = panel.inputQuantities[static_cast<std::size_t>(o) * K + k];
    if (record.Prices != 1) continue;
    for (uint32_t m = 0; m < M; ++m)
      row[2 + M + K + m] = panel.outputPrices[static_cast<std::size_t>(o) * M + m];
    for (uint32_t k = 0; k < K; ++k)
      row[2 + 2 * M + K + k] = panel.inputPrices[static_cast<std::size_t>(o) * K + k];
  }
}

// The observation a program's label names ("..., Obs 19 "); 0 for none.
uint32_t ObservationOfLabel(const std::string& label) {
  const std::size_t at = label.rfind("Obs ");
  if (at == std::string::npos) return 0;
  uint32_t o = 0;
  for (std::size_t i = at + 4; i < label.size() && label[i] >= '0' && label[i] <= '9'; ++i)
    o = o * 10 + static_cast<uint32_t>(label[i] - '0');
  return o;
}

std::vector<ProgramNote> Notes(const std::vector<::ProgramNote>& notes) {
  std::vector<ProgramNote> out;
  out.reserve(notes.size());
  for (const ::ProgramNote& note : notes)
    out.push_back(ProgramNote{detail::WithoutTrailingSpaces(note.label), ObservationOfLabel(note.label), note.code, note.gain});
  return out;
}

// A missing value stays missing: a number computed from the marker that
// rounds to it in single precision (an aggregate of shadow prices scaled by
// a missing distance comes out as -9999.000000000002) is the marker, which
// the files print for it either way. Front ends then show NaN or NA
// wherever a file prints -9999.
void KeepMissingExact(std::vector<double>& values) {
  for (double& v : values)
    if (v != kMissing && static_cast<float>(v) == static_cast<float>(kMissing)) v = kMissing;
}

void FillPeerTables(const AnalysisRecord& record, Results& results) {
  if (record.Peers == 0) return;
  for (const PeerRow& row : PeerRows(record)) {
    results.peers.observation.push_back(row.observation);
    results.peers.orientation.push_back(OrientationName(row.orientation));
    results.peers.peer.push_back(row.peer);
    results.peers.lambda.push_back(row.lambda);
    results.peers.lambda2.push_back(row.lambda2);
  }
  TargetsTable& targets = results.targets;
  targets.headings =
      TargetHeadings(DefaultVariableNames("y", record.Outputs), DefaultVariableNames("x", record.Inputs));
  targets.columns.assign(targets.headings.size(), {});
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    if (record.IsAbsent(o)) continue;
    for (int orientation = 0; orientation < 2; ++orientation) {
      targets.observation.push_back(o);
      targets.orientation.push_back(OrientationName(orientation));
      const std::vector<double> values = TargetValues(record, o, orientation);
      for (std::size_t c = 0; c < values.size(); ++c) targets.columns[c].push_back(values[c]);
    }
  }
}

Table ToTable(ValueTable&& values) {
  Table table;
  table.title = std::move(values.title);
  table.headings = std::move(values.headings);
  table.columns = std::move(values.columns);
  table.printed = std::move(values.printed);
  for (std::vector<double>& column : table.columns) KeepMissingExact(column);
  return table;
}

// The six computation sets in order, with a look for a cancel before each
// and after each (a set cancelled half-way ends early, its values left
// incomplete, and the run ends there); a critical error-log entry stops the
// run after the set that wrote it.
void ComputeSets(AnalysisRecord& record, ErrorLog& log, WorkerPool& workers) {
  void (*const sets[])(AnalysisRecord&, WorkerPool&) = {
      ComputeSet1,
      // The second stage of the peers right after the programs it follows.
      [](AnalysisRecord& r, WorkerPool& w) { if (r.Peers != 0) ComputePeers(r, w); },
      ComputeSet2,
      ComputeSet3,
      [](AnalysisRecord& r, WorkerPool&) { ComputeSet4(r); },
      [](AnalysisRecord& r, WorkerPool&) { ComputeSet5(r); },
      [](AnalysisRecord& r, WorkerPool&) { ComputeSet6(r); },
  };
  const auto run = [&](void (*set)(AnalysisRecord&, WorkerPool&)) {
    if (CancelRequestedNow()) throw Cancelled();
    set(record, workers);
    if (CancelRequested()) throw Cancelled();
    if (log.HasCriticalEntry() && !log.CriticalStop()) ThrowStop(*ThreadRunContext());
  };
  for (auto set : sets) {
    run(set);
    // The Malmquist set takes Set 1's own-period distances.
    if (set == sets[0] && record.Malmquist == 1) run(ComputeMalmquistSet);
  }
}

// What every analysis does before its computation sets: the record
// configured and checked, the data filled in and prepared, the counts
// printed. Returns the configuration summary; throws for a refusal.
std::string SetUpAnalysis(AnalysisRecord& record, const RunContext& context, const Panel& panel,
                          const Settings& settings, const detail::AnalyzeOptions& options) {
  Configure(record, panel, settings);
  if (!ApplyConsistencyRules(record)) ThrowStop(context);
  std::string summary = ConfigurationText(record);
  if (!CheckConfiguration(record)) ThrowStop(context);
  CheckBootstrapSettings(record, settings);
  CheckPanel(panel, options.acceptNonFinite);
  CheckPresentObservations(record, panel);

  SetUpProblem(record, panel.firms, panel.periods, panel.outputs, panel.inputs);
  FillData(record, panel);
  PrepareData(record);
  PrintCounts(record);
  return summary;
}

}  // namespace

namespace detail {

std::string ConfigurationSummary(const Panel& panel, const Settings& settings) {
  RunContext context;
  RunContextGuard guard(context);
  AnalysisRecord record;
  try {
    Configure(record, panel, settings);
  } catch (const InputError&) {
    return "";
  }
  if (!ApplyConsistencyRules(record)) return "";
  return ConfigurationText(record);
}

Results Analyze(const Panel& panel, const Settings& settings, const Hooks& hooks, const AnalyzeOptions& options) {
  RunContext context;
  context.console = hooks.console;
  context.progress = hooks.progress;
  context.cancel = hooks.cancel;
  RunContextGuard guard(context);

  auto state = std::make_shared<EngineState>();
  AnalysisRecord& record = state->record;
  ErrorLog log;
  record.Log = &log;

  Results results;
  results.summary = SetUpAnalysis(record, context, panel, settings, options);

  const unsigned threads = settings.threads >= 1 ? settings.threads : DefaultThreadCount();
  BootstrapValues replicates;
  {
    WorkerPool workers(threads);
    PrepareWorkers(record, workers);
    ComputeSets(record, log, workers);
    if (settings.bootstrap > 0 && !settings.bootstrapInParts) {
      ComputeBootstrapReplicates(record, workers, settings.seed, 0, settings.bootstrap, replicates);
      if (CancelRequested()) throw Cancelled();
    }
  }
  record.Log = nullptr;
  state->errorLog = log.Text();

  results.panel = panel;
  results.panel.id1 = record.Id1;
  results.panel.id2 = record.Id2;
  results.panel.idHeading = record.IdHeading;
  results.settings = settings;
  results.settings.familyGiven = true;
  results.settings.family = ChosenFamily(record);
  results.settings.threads = threads;

  results.indexes = ToTable(IndexesTable(record));
  results.levels = ToTable(LevelsTable(record));
  results.shadowPrices = ToTable(ShadowPricesTable(record));
  results.extras = ToTable(ExtrasTable(record));
  results.atMaxTfp.resize(record.Observations);
  for (uint32_t o = 0; o < record.Observations; ++o) results.atMaxTfp[o] = record.TfpMaxFlag[o] == 1.0;
  results.representative = RepresentativeValues(record);
  if (record.Malmquist == 1) results.malmquist = ToTable(MalmquistTable(record));
  results.malmquistOutside = record.MalmquistSet.outside;
  for (auto& values : results.representative) KeepMissingExact(values.second);
  FillPeerTables(record, results);

  const ProgramTally& tally = record.Tally;
  results.failed = Notes(tally.failures);
  results.stoppedShort = Notes(tally.shortStops);
  results.programsSolved = tally.solved;
  results.programsFailed = tally.failed;
  results.programsSolvedAgain = tally.solvedAgainTaken;
  results.note = RunNote(record);
  results.warning = AccuracyWarning(record);
  results.engineState = std::move(state);
  if (settings.bootstrap > 0 && !settings.bootstrapInParts)
    FillBootstrap(results, replicates.values, replicates.failed);
  return results;
}

std::string RunNote(const AnalysisRecord& record) { return AbsentNote(record) + RunEndNote(record); }

}  // namespace detail

const std::vector<std::string>& peers_columns() {
  static const std::vector<std::string> columns = {"firm", "period", "orientation", "peer_firm", "peer_period",
                                                   "lambda", "lambda2"};
  return columns;
}

const std::vector<std::string>& targets_key_columns() {
  static const std::vector<std::string> columns = {"firm", "period", "orientation"};
  return columns;
}

std::vector<std::string> target_headings(const std::vector<std::string>& outputNames,
                                         const std::vector<std::string>& inputNames) {
  return TargetHeadings(outputNames, inputNames);
}

Results analyze(const Panel& panel, const Settings& settings, const Hooks& hooks) {
  return detail::Analyze(panel, settings, hooks, detail::AnalyzeOptions());
}

// Set 1 for the estimates, as analyze computes them, then the replicates.
BootstrapPart bootstrap_replicates(const Panel& panel, const Settings& settings, uint32_t first, uint32_t count,
                                   const Hooks& hooks) {
  if (settings.bootstrap == 0) throw InputError("bootstrap_replicates needs settings.bootstrap, the replicates B");
  if (static_cast<uint64_t>(first) + count > settings.bootstrap)
    throw InputError(FormatText("replicates %u to %llu lie beyond the bootstrap's %u", first,
                                static_cast<unsigned long long>(first) + count - 1, settings.bootstrap));
  RunContext context;
  context.console = hooks.console;
  context.progress = hooks.progress;
  context.cancel = hooks.cancel;
  RunContextGuard guard(context);
  AnalysisRecord record;
  ErrorLog log;
  record.Log = &log;
  SetUpAnalysis(record, context, panel, settings, detail::AnalyzeOptions());

  BootstrapValues replicates;
  {
    WorkerPool workers(settings.threads >= 1 ? settings.threads : DefaultThreadCount());
    PrepareWorkers(record, workers);
    if (CancelRequestedNow()) throw Cancelled();
    ComputeSet1(record, workers);
    if (CancelRequested()) throw Cancelled();
    if (log.HasCriticalEntry() && !log.CriticalStop()) ThrowStop(context);
    ComputeBootstrapReplicates(record, workers, settings.seed, first, count, replicates);
    if (CancelRequested()) throw Cancelled();
  }
  record.Log = nullptr;
  BootstrapPart part;
  part.first = first;
  part.count = count;
  part.measures = bootstrap_measures(settings);
  part.values = std::move(replicates.values);
  part.failed = replicates.failed;
  return part;
}

}  // namespace koru
