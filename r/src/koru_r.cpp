// The R side of the library: R vectors to a panel and settings, the results
// back as plain vectors and lists that the package's R code turns into data
// frames. Nothing here computes a result: values pass through unchanged,
// except that the missing marker and unprinted entries become NA.
//
// The engine calls its hooks on this (R's) thread; the cancel hook asks R
// whether the user interrupted, inside R_ToplevelExec so that R's jump never
// crosses the engine's frames. Worker threads never call into R.

#include <Rcpp.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "koru/koru.h"

namespace {

using Variables = std::vector<std::pair<std::string, std::vector<double>>>;

Variables VariablesOf(const Rcpp::List& columns) {
  Variables variables;
  if (columns.size() == 0) return variables;
  const Rcpp::CharacterVector names = columns.names();
  for (R_xlen_t c = 0; c < columns.size(); ++c)
    variables.emplace_back(Rcpp::as<std::string>(names[c]), Rcpp::as<std::vector<double>>(columns[c]));
  return variables;
}

// Column c of a row-major NT x width matrix, one entry per observation.
Rcpp::List MatrixColumns(const std::vector<double>& values, std::size_t rows, uint32_t width) {
  Rcpp::List columns(width);
  for (uint32_t c = 0; c < width; ++c) {
    Rcpp::NumericVector column(rows);
    for (std::size_t o = 0; o < rows; ++o) column[o] = values[o * width + c];
    columns[c] = column;
  }
  return columns;
}

// A value as R shows it: NA where the engine could not compute it or the
// file prints nothing for the observation.
Rcpp::NumericVector ValuesOf(const std::vector<double>& values) {
  Rcpp::NumericVector column(values.size());
  for (std::size_t r = 0; r < values.size(); ++r) column[r] = values[r] != koru::kMissing ? values[r] : NA_REAL;
  return column;
}

Rcpp::IntegerVector NumbersOf(const std::vector<uint32_t>& values) {
  Rcpp::IntegerVector numbers(values.size());
  for (std::size_t r = 0; r < values.size(); ++r) numbers[r] = static_cast<int>(values[r]);
  return numbers;
}

// The peers table: the frame's column names, then one entry per row
// (observations 1-based, NA for kMissing); NULL without peers.
SEXP PeersOf(const koru::Results& results) {
  if (!results.settings.peers) return R_NilValue;
  const koru::PeersTable& table = results.peers;
  return Rcpp::List::create(Rcpp::Named("columns") = koru::peers_columns(),
                            Rcpp::Named("observation") = NumbersOf(table.observation),
                            Rcpp::Named("orientation") = table.orientation, Rcpp::Named("peer") = NumbersOf(table.peer),
                            Rcpp::Named("lambda") = ValuesOf(table.lambda),
                            Rcpp::Named("lambda2") = ValuesOf(table.lambda2));
}

// The targets table: its key columns' names, then observation, orientation
// and the slack and target columns (NA for kMissing); NULL without peers.
SEXP TargetsOf(const koru::Results& results) {
  if (!results.settings.peers) return R_NilValue;
  const koru::TargetsTable& table = results.targets;
  Rcpp::List columns(table.columns.size());
  for (std::size_t c = 0; c < table.columns.size(); ++c) columns[c] = ValuesOf(table.columns[c]);
  return Rcpp::List::create(Rcpp::Named("columns") = koru::targets_key_columns(),
                            Rcpp::Named("observation") = NumbersOf(table.observation),
                            Rcpp::Named("orientation") = table.orientation, Rcpp::Named("values") = columns);
}

Rcpp::List TableOf(const koru::Table& table) {
  Rcpp::List columns(table.columns.size());
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    const std::vector<double>& values = table.columns[c];
    Rcpp::NumericVector column(values.size());
    for (std::size_t o = 0; o < values.size(); ++o) {
      const bool printed = o >= table.printed.size() || table.printed[o];
      column[o] = printed && values[o] != koru::kMissing ? values[o] : NA_REAL;
    }
    columns[c] = column;
  }
  return Rcpp::List::create(Rcpp::Named("title") = table.title, Rcpp::Named("headings") = table.headings,
                            Rcpp::Named("columns") = columns);
}

Rcpp::List NotesOf(const std::vector<koru::ProgramNote>& notes) {
  Rcpp::IntegerVector observation(notes.size()), code(notes.size());
  Rcpp::CharacterVector program(notes.size());
  Rcpp::NumericVector gain(notes.size());
  for (std::size_t n = 0; n < notes.size(); ++n) {
    observation[n] = static_cast<int>(notes[n].observation);
    program[n] = notes[n].label;
    code[n] = notes[n].code;
    gain[n] = notes[n].gain;
  }
  return Rcpp::List::create(Rcpp::Named("observation") = observation, Rcpp::Named("program") = program,
                            Rcpp::Named("code") = code, Rcpp::Named("gain") = gain);
}

// The argument values of the R interface for the settings' choices (the
// returns-to-scale tokens are the library's).
const char* TechnologyToken(koru::Technology technology) {
  switch (technology) {
    case koru::Technology::NoTechRegress: return "no-regress";
    case koru::Technology::NoTechChange: return "no-change";
    case koru::Technology::EachPeriod: break;
  }
  return "each-period";
}

// The base observation as the positions of its firm and period, NULL for
// the first observation (the default).
SEXP BasePositions(uint32_t base, uint32_t firms) {
  if (base <= 1 || firms == 0) return R_NilValue;
  return Rcpp::IntegerVector::create(static_cast<int>((base - 1) % firms + 1), static_cast<int>((base - 1) / firms + 1));
}

Rcpp::List SettingsOf(const koru::Settings& settings, uint32_t firms) {
  return Rcpp::List::create(
      Rcpp::Named("family") = settings.familyGiven ? Rcpp::wrap(koru::family_token(settings.family)) : R_NilValue,
      Rcpp::Named("family_name") = koru::family_name(settings.family),
      Rcpp::Named("rts") = koru::returns_to_scale_token(settings.returnsToScale),
      Rcpp::Named("technology") = TechnologyToken(settings.technology),
      Rcpp::Named("window") = static_cast<int>(settings.window), Rcpp::Named("base") = BasePositions(settings.base, firms),
      Rcpp::Named("unit_means") = settings.unitMeans, Rcpp::Named("single_solve") = settings.singleSolve,
      Rcpp::Named("threads") = static_cast<int>(settings.threads), Rcpp::Named("malmquist") = settings.malmquist,
      Rcpp::Named("bootstrap") = static_cast<double>(settings.bootstrap),
      Rcpp::Named("seed") = static_cast<double>(settings.seed), Rcpp::Named("alpha") = settings.alpha);
}

// Whether each observation of the panel is present.
Rcpp::LogicalVector PresentOf(const koru::Panel& panel) {
  Rcpp::LogicalVector present(static_cast<R_xlen_t>(panel.firms) * panel.periods);
  for (R_xlen_t o = 0; o < present.size(); ++o) present[o] = panel.IsPresent(static_cast<uint64_t>(o));
  return present;
}

// A refusal the R code raises as an error of class koru_<kind>_error.
Rcpp::List Failure(const char* kind, const char* message) {
  Rcpp::List failure = Rcpp::List::create(Rcpp::Named("kind") = kind, Rcpp::Named("message") = message);
  failure.attr("class") = "koru_failure";
  return failure;
}

// Runs `work`, handing the engine's refusals back as failures and a run the
// user interrupted back to R as an interrupt.
template <typename Work>
SEXP Guarded(Work work) {
  try {
    return work();
  } catch (const koru::InputError& error) {
    return Failure("input", error.what());
  } catch (const koru::WriteError& error) {
    return Failure("write", error.what());
  } catch (const koru::Cancelled&) {
    throw Rcpp::internal::InterruptedException();
  }
}

// Whether the user asked R to interrupt. R's check may jump; inside
// R_ToplevelExec the jump ends at its boundary instead.
void CheckInterrupt(void*) { R_CheckUserInterrupt(); }

struct InterruptPoll {
  std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
  bool interrupted = false;

  bool operator()() {
    if (interrupted) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now < next) return false;
    next = now + std::chrono::milliseconds(20);
    interrupted = R_ToplevelExec(CheckInterrupt, nullptr) == FALSE;
    return interrupted;
  }
};

}  // namespace

// [[Rcpp::export]]
SEXP koru_analyze_rows(Rcpp::List rows, Rcpp::List options) {
  return Guarded([&]() -> SEXP {
    koru::PanelRows panelRows;
    panelRows.firmLabels = Rcpp::as<std::vector<std::string>>(rows["firm_labels"]);
    panelRows.periodLabels = Rcpp::as<std::vector<std::string>>(rows["period_labels"]);
    panelRows.firm = Rcpp::as<std::vector<uint32_t>>(rows["firm"]);
    panelRows.period = Rcpp::as<std::vector<uint32_t>>(rows["period"]);
    panelRows.firmColumn = Rcpp::as<std::string>(rows["firm_column"]);
    panelRows.periodColumn = Rcpp::as<std::string>(rows["period_column"]);
    panelRows.outputs = VariablesOf(rows["outputs"]);
    panelRows.inputs = VariablesOf(rows["inputs"]);
    panelRows.outputPrices = VariablesOf(rows["output_prices"]);
    panelRows.inputPrices = VariablesOf(rows["input_prices"]);

    koru::Settings settings;
    if (!Rf_isNull(options["family"])) {
      settings.familyGiven = true;
      settings.family = koru::family_from_token(Rcpp::as<std::string>(options["family"]));
    }
    settings.returnsToScale = koru::returns_to_scale_from_token(Rcpp::as<std::string>(options["rts"]));
    settings.technology = koru::technology_from_token(Rcpp::as<std::string>(options["technology"]));
    settings.window = Rcpp::as<uint32_t>(options["window"]);
    settings.unitMeans = Rcpp::as<bool>(options["unit_means"]);
    settings.singleSolve = Rcpp::as<bool>(options["single_solve"]);
    settings.malmquist = Rcpp::as<bool>(options["malmquist"]);
    settings.peers = Rcpp::as<bool>(options["peers"]);
    settings.threads = Rcpp::as<unsigned>(options["threads"]);
    // The seed comes as a whole double (R has no 64-bit integers), at most 2^53.
    settings.bootstrap = Rcpp::as<uint32_t>(options["bootstrap"]);
    settings.seed = static_cast<uint64_t>(Rcpp::as<double>(options["seed"]));
    settings.alpha = Rcpp::as<double>(options["alpha"]);

    koru::Panel panel = koru::panel_from_rows(panelRows);
    // Identifier columns given by the caller replace the firm and period
    // labels, row by row in observation order; an absent observation keeps
    // the identifiers of its labels.
    if (!Rf_isNull(rows["id1"])) {
      const std::vector<double> id1 = Rcpp::as<std::vector<double>>(rows["id1"]);
      const std::vector<double> id2 = Rcpp::as<std::vector<double>>(rows["id2"]);
      for (std::size_t r = 0; r < id1.size(); ++r) {
        const std::size_t o = static_cast<std::size_t>(panel.firms) * panelRows.period[r] + panelRows.firm[r];
        panel.id1[o] = id1[r];
        panel.id2[o] = id2[r];
      }
      panel.idHeading = Rcpp::as<std::string>(rows["id_heading"]);
    }
    if (!Rf_isNull(options["base"])) {
      const Rcpp::IntegerVector base = options["base"];
      settings.base = panel.firms * static_cast<uint32_t>(base[1]) + static_cast<uint32_t>(base[0]) + 1;
    }

    InterruptPoll poll;
    koru::Hooks hooks;
    hooks.cancel = [&poll]() { return poll(); };
    // The text the console program would print while the run works (counts,
    // set headings, LP error lines), kept for the caller instead.
    std::string console;
    hooks.console = [&console](const std::string& text) { console += text; };
    // Kept for write_result_files and write_report; R frees it with the
    // results object.
    Rcpp::XPtr<koru::Results> engine(new koru::Results(koru::analyze(panel, settings, hooks)), true);
    const koru::Results& results = *engine;

    Rcpp::List representative(results.representative.size());
    Rcpp::CharacterVector representativeNames(results.representative.size());
    for (std::size_t r = 0; r < results.representative.size(); ++r) {
      representative[r] = Rcpp::wrap(results.representative[r].second);
      representativeNames[r] = results.representative[r].first;
    }
    representative.attr("names") = representativeNames;

    // The levels' marker as a logical column.
    Rcpp::LogicalVector atMax(results.atMaxTfp.size());
    for (std::size_t o = 0; o < results.atMaxTfp.size(); ++o) atMax[o] = results.atMaxTfp[o];

    const koru::Panel& analysed = results.panel;
    Rcpp::NumericVector counts = Rcpp::NumericVector::create(
        Rcpp::Named("firms") = analysed.firms, Rcpp::Named("periods") = analysed.periods,
        Rcpp::Named("outputs") = analysed.outputs, Rcpp::Named("inputs") = analysed.inputs,
        Rcpp::Named("solved") = static_cast<double>(results.programsSolved),
        Rcpp::Named("failed") = static_cast<double>(results.programsFailed),
        Rcpp::Named("solved_again") = static_cast<double>(results.programsSolvedAgain),
        Rcpp::Named("malmquist_outside") = static_cast<double>(results.malmquistOutside),
        Rcpp::Named("bootstrap_failed") = static_cast<double>(results.bootstrapFailed));
    Rcpp::List settingsList = SettingsOf(results.settings, analysed.firms);
    return Rcpp::List::create(
        Rcpp::Named("indexes") = TableOf(results.indexes), Rcpp::Named("levels") = TableOf(results.levels),
        Rcpp::Named("shadow_prices") = TableOf(results.shadowPrices), Rcpp::Named("extras") = TableOf(results.extras),
        Rcpp::Named("malmquist") = results.settings.malmquist ? Rcpp::wrap(TableOf(results.malmquist)) : R_NilValue,
        Rcpp::Named("bootstrap") = results.settings.bootstrap ? Rcpp::wrap(TableOf(results.bootstrap)) : R_NilValue,
        Rcpp::Named("representative") = representative, Rcpp::Named("failed") = NotesOf(results.failed),
        Rcpp::Named("stopped_short") = NotesOf(results.stoppedShort), Rcpp::Named("note") = results.note, Rcpp::Named("warning") = results.warning,
        Rcpp::Named("summary") = results.summary, Rcpp::Named("console") = console,
        Rcpp::Named("settings") = settingsList,
        Rcpp::Named("counts") = counts, Rcpp::Named("at_max_tfp") = atMax,
        Rcpp::Named("present") = PresentOf(analysed),
        Rcpp::Named("peers") = PeersOf(results), Rcpp::Named("targets") = TargetsOf(results),
        Rcpp::Named("engine") = engine);
  });
}

// [[Rcpp::export]]
SEXP koru_write_result_files(SEXP engine, std::string base) {
  return Guarded([&]() -> SEXP {
    Rcpp::XPtr<koru::Results> results(engine);
    koru::write_result_files(*results, base);
    return R_NilValue;
  });
}

// [[Rcpp::export]]
SEXP koru_write_report(SEXP engine, std::string path) {
  return Guarded([&]() -> SEXP {
    Rcpp::XPtr<koru::Results> results(engine);
    koru::write_report(*results, path);
    return R_NilValue;
  });
}

// [[Rcpp::export]]
SEXP koru_read_input_file(std::string path) {
  return Guarded([&]() -> SEXP {
    koru::InputFile file = koru::read_input_file(path);
    const koru::Panel& panel = file.panel;
    const std::size_t rows = static_cast<std::size_t>(panel.firms) * panel.periods;
    const bool prices = panel.HasPrices();
    Rcpp::List panelList = Rcpp::List::create(
        Rcpp::Named("firms") = static_cast<int>(panel.firms), Rcpp::Named("periods") = static_cast<int>(panel.periods),
        Rcpp::Named("outputs") = MatrixColumns(panel.outputQuantities, rows, panel.outputs),
        Rcpp::Named("inputs") = MatrixColumns(panel.inputQuantities, rows, panel.inputs),
        Rcpp::Named("output_prices") = MatrixColumns(panel.outputPrices, rows, prices ? panel.outputs : 0),
        Rcpp::Named("input_prices") = MatrixColumns(panel.inputPrices, rows, prices ? panel.inputs : 0),
        Rcpp::Named("id1") = panel.id1, Rcpp::Named("id2") = panel.id2, Rcpp::Named("id_heading") = panel.idHeading,
        Rcpp::Named("present") = PresentOf(panel));
    return Rcpp::List::create(Rcpp::Named("panel") = panelList,
                              Rcpp::Named("settings") = SettingsOf(file.settings, panel.firms),
                              Rcpp::Named("console") = file.console);
  });
}

// [[Rcpp::export]]
std::string koru_version() { return koru::version(); }

// [[Rcpp::export]]
std::vector<std::string> koru_target_headings(std::vector<std::string> outputs, std::vector<std::string> inputs) {
  return koru::target_headings(outputs, inputs);
}
