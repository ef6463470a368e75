#pragma once
// KORU as a library: a panel in memory in, results in memory out.
//
//   koru::Panel panel = ...;                 // counts, quantities, identifiers
//   koru::Settings settings;                 // family, returns to scale, ...
//   koru::Results results = koru::analyze(panel, settings);
//   const std::vector<double>& dtfp = results.indexes.Column("dTFP");
//   koru::write_result_files(results, "farms");   // farms_output_*.csv, as the console program
//
// Every value is the engine's full-precision double; the result files round
// them as they always have. A value the run could not compute is kMissing
// (the files print -9999).
//
// Nothing here prints, reads standard input, waits or touches a file unless
// the function says so. Every call is reentrant: two analyses may run on two
// threads at once. Every hook is called on the thread that called analyze.
// Refusals are exceptions: InputError carries the console program's message
// for the same stop (without its prompts), Cancelled a run the cancel hook
// ended. A call that throws leaves no partial results and no file.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace koru {

// The library's version, the console program's "KORU 3.1".
const char* version();

// A value that could not be computed, printed as -9999 by the files.
constexpr double kMissing = -9999.0;

// The eight index families, in the order of the input file's commands.
enum class Family { Laspeyres, Paasche, Fisher, Lowe, MalmquistHs, MalmquistIt, HicksMoorsteen, FarePrimont };
// Variable, constant, non-increasing (the reference combinations may be
// scaled down: sum of lambda <= 1) and non-decreasing (sum of lambda >= 1)
// returns to scale of the D programs; the H programs are constant returns.
enum class ReturnsToScale { Variable, Constant, NonIncreasing, NonDecreasing };
// Each period's own technology, no technical regress, no technical change.
enum class Technology { EachPeriod, NoTechRegress, NoTechChange };

// The printed name of a family, as the files and the console write it
// ("Fare-Primont", ...), and the lower-case token front ends take
// ("fare-primont", "malmquist-hs", "hicks-moorsteen", ...).
std::string family_name(Family family);
std::string family_token(Family family);
// The token of a returns-to-scale setting: "vrs", "crs", "nirs", "ndrs".
std::string returns_to_scale_token(ReturnsToScale returnsToScale);

// The tokens front ends take, back to values: "laspeyres" ... "fare-primont";
// "vrs", "crs", "nirs", "ndrs"; "each-period", "no-regress", "no-change". An unknown token
// throws InputError naming the setting and the tokens it takes.
Family family_from_token(const std::string& token);
ReturnsToScale returns_to_scale_from_token(const std::string& token);
Technology technology_from_token(const std::string& token);

// A panel of N firms over T periods. Observation o (0-based) is firm i
// (1-based) in period t (1-based) with o = N (t - 1) + i - 1: period by period
// and, within a period, firm by firm, as in the input file. Every observation
// has its place in the arrays; one the panel lacks is marked absent in
// `present` and its values are not read.
//
// An absent observation is in no reference set and poses no program; every
// value of it is kMissing and the result files leave out its row. Under a
// chained family an observation whose previous-period observation is absent
// is weighed as one of the first period (with itself, against its own
// period's technology) and its index numbers are missing;
// a fixed-base family needs its base present. Every period and every firm
// needs a present observation.
struct Panel {
  uint32_t firms = 0;    // N
  uint32_t periods = 0;  // T
  uint32_t outputs = 0;  // M
  uint32_t inputs = 0;   // K

  // Row-major, one row per observation: NT x M and NT x K.
  std::vector<double> outputQuantities;
  std::vector<double> inputQuantities;
  // Empty without prices; otherwise NT x M and NT x K, row-major.
  std::vector<double> outputPrices;
  std::vector<double> inputPrices;

  // The two identifier columns the result files print after the observation
  // number ("%6.0f" each). Empty: firm number i and period number t.
  std::vector<double> id1;
  std::vector<double> id2;
  // The text that heads the observation number and the identifier columns in
  // every result file, e.g. "obs,firm,year" (the input file's header up to its
  // third comma).
  std::string idHeading = "obs,firm,period";
  // The input file the panel was read from (read_input_file); the report
  // names it. Empty for a panel built in memory.
  std::string source;
  // One entry per observation, false for an absent one; empty: all present.
  std::vector<bool> present;

  bool IsPresent(uint64_t observation) const { return present.empty() || present[observation]; }
  bool HasPrices() const { return !outputPrices.empty() || !inputPrices.empty(); }
};

// Rows of a data frame in any order, one per firm and period, as front ends
// hand them over: each row's firm and period as codes (0-based positions in
// firmLabels and periodLabels) and named numeric columns.
struct PanelRows {
  std::vector<std::string> firmLabels;    // firms in the order they are to be numbered
  std::vector<std::string> periodLabels;  // periods in the order they are to be numbered
  std::vector<uint32_t> firm;             // per row
  std::vector<uint32_t> period;           // per row
  std::string firmColumn = "firm";        // names used in messages and the heading
  std::string periodColumn = "period";
  // Each variable: its column name and one value per row.
  std::vector<std::pair<std::string, std::vector<double>>> outputs, inputs, outputPrices, inputPrices;
};

// Orders the rows into a panel (period by period, firm by firm). A (firm,
// period) pair without a row is an absent observation (Panel::present), its
// values kMissing. The identifier columns are the firm and the period labels
// where every label of that kind is a number, otherwise their positions
// 1..N or 1..T; the heading is "obs,<firm column>,<period column>" with the
// names given here. Throws InputError naming the column and the firm and
// period for a duplicated (firm, period) pair and for a value that is not
// finite. analyze says in Results::note how many observations are absent.
Panel panel_from_rows(const PanelRows& rows);

// What the input file's command section chooses; the defaults are its.
struct Settings {
  bool familyGiven = false;        // false: Fare-Primont, or Lowe with prices
  Family family = Family::FarePrimont;
  ReturnsToScale returnsToScale = ReturnsToScale::Variable;
  Technology technology = Technology::EachPeriod;
  uint32_t window = 1;             // periods in each period's reference set
  uint32_t base = 1;               // the comparison observation of Lowe and Fare-Primont, 1..NT
  bool unitMeans = false;          // rescale every quantity to a mean of 1 before solving
  bool singleSolve = false;        // never solve a doubtful program again on a rescaled copy
  bool malmquist = false;          // also the Malmquist index and its decomposition (Results::malmquist)
  bool peers = false;              // also the peers, slacks and targets (Results::peers, ::targets)
  unsigned threads = 0;            // worker threads; 0: one per processor available
  // The smoothed bootstrap of the efficiencies (and, with malmquist, of the
  // Malmquist indexes): replicates, the random streams' seed and the
  // intervals' level 1 - alpha (Results::bootstrap). 0 replicates: none.
  // Only with each period's own technology (window 1) or, without
  // malmquist, no technical change.
  uint32_t bootstrap = 0;
  uint64_t seed = 1;
  double alpha = 0.05;
  // With bootstrap: analyze computes the estimates only and leaves the
  // replicates to bootstrap_replicates and add_bootstrap (a run spread over
  // processes or machines).
  bool bootstrapInParts = false;
};

// Optional callbacks, all called on the thread that called analyze.
struct Hooks {
  // Progress of the computation sets that solve programs (1, 2 and 3; sets
  // 4 to 6 take no time worth showing; 7 is the Malmquist set, run after set
  // 1; 8 the bootstrap's replicates, run after every other set, whose unit
  // is one replicate): once at a set's start with done 0, then after each
  // unit (an observation's programs) up to total.
  std::function<void(int set, uint64_t done, uint64_t total)> progress;
  // Polled between programs (at most every 5 ms) and at each set's start;
  // returning true ends the run with Cancelled, within a few programs.
  std::function<bool()> cancel;
  // The console text a run prints while it works, in order: the warning
  // about badly scaled quantities, the counts, the set headings and the LP
  // error lines as they happen. The configuration summary and the closing
  // warning are not among it (Results::summary and Results::warning: the
  // console program prints the summary while reading its file and the
  // warning after writing the result files). The console program prints it;
  // other callers may ignore it.
  std::function<void(const std::string& text)> console;
};

// One table of a result file: the value columns after the observation number
// and the identifiers, headed as the file heads them, one entry per
// observation (0-based, observation order).
struct Table {
  std::string title;                          // the file's heading line above the table, trimmed
  std::vector<std::string> headings;          // "dTFP", "OTE", "pstar1", ...
  std::vector<std::vector<double>> columns;   // columns[c][o]
  // Whether the file prints values for observation o (the chained families
  // print only the identifiers of the first period's rows in the indexes).
  std::vector<bool> printed;

  // The column headed `heading`; throws std::out_of_range when there is none.
  const std::vector<double>& Column(const std::string& heading) const;
};

// A program worth telling the user about, labelled as in the error log
// ("Determining DItss, Obs 19").
struct ProgramNote {
  std::string label;
  uint32_t observation = 0;  // 1-based, 0 when the program belongs to none
  int code = 0;              // failed: the result code; stopped short: 0
  double gain = 0.0;         // stopped short: the objective gain relative to the optimum
};

// With Settings::peers: for every observation and orientation the reference
// observations its frontier point is made of. lambda is the first stage's
// weight: the dual value of the observation's row in the solved DOttt
// (output) or DIttt (input) multiplier program, i.e. the envelopment
// program's lambda at that distance; lambda2 the second stage's: the
// envelopment program with the distance fixed, maximising the sum of the
// slacks each divided by the observation's own quantity. One row per
// observation, orientation and peer of either stage (0 where a stage names it
// not, kMissing where the second stage failed); an observation whose first
// program failed has none.
struct PeersTable {
  std::vector<uint32_t> observation;     // 1-based
  std::vector<std::string> orientation;  // "output" or "input"
  std::vector<uint32_t> peer;            // 1-based
  std::vector<double> lambda;
  std::vector<double> lambda2;
};

// With Settings::peers: the second stage's slacks and targets, one row per
// observation and orientation (observation order, output first); kMissing
// where a stage failed. The targets are the radial projection moved by the
// slacks (phi y + s+, x - s- in the output orientation; y + s+, theta x - s-
// in the input one), in the units of the panel.
struct TargetsTable {
  std::vector<uint32_t> observation;     // 1-based
  std::vector<std::string> orientation;  // "output" or "input"
  std::vector<std::string> headings;     // target_headings of y1.., x1..
  std::vector<std::vector<double>> columns;  // columns[c][row]
};

// The column names front ends give the peers and targets frames: the
// peers' (firm, period, orientation, peer_firm, peer_period, lambda,
// lambda2), the targets' first three (firm, period, orientation), and the
// value columns of the targets for the variables named so ("slack_NAME" for
// every output then input, then "target_NAME").
const std::vector<std::string>& peers_columns();
const std::vector<std::string>& targets_key_columns();
std::vector<std::string> target_headings(const std::vector<std::string>& outputNames,
                                         const std::vector<std::string>& inputNames);

struct Results {
  Panel panel;           // the panel as analysed (identifiers filled in)
  Settings settings;     // as applied: the family chosen by default, the base, the workers used, ...
  std::string summary;   // the configuration summary the console prints

  Table indexes;         // the index numbers
  Table levels;          // the levels
  std::vector<bool> atMaxTfp;  // the levels' "max" marker per observation
  Table shadowPrices;    // revenue- and cost-deflated shadow prices
  Table extras;          // the intermediate values of each observation
  PeersTable peers;      // with settings.peers only
  TargetsTable targets;  // with settings.peers only
  // The representative observation's values (Fare-Primont): "DO000",
  // "alpha0", ..., each with its entries, in the order of the extras file.
  std::vector<std::pair<std::string, std::vector<double>>> representative;
  // With Settings::malmquist: the Malmquist file's columns (DOsss, DOtts,
  // DOsst, DOttt, M_O, EC_O, TC_O, DIsss, ..., TC_I and, unless returns to
  // scale are constant, the constant-returns ones and PEC, SEC); the first
  // period's rows are not printed. Empty without the setting.
  Table malmquist;
  // Its cross-period distances missing (kMissing) because the observation
  // lies outside the other period's technology: no program failed for them.
  uint64_t malmquistOutside = 0;
  // With Settings::bootstrap: per observation and measure NAME (in the order
  // of bootstrap_measures) the columns NAME, NAME_bc, NAME_bias, NAME_se,
  // NAME_lo, NAME_hi and NAME_n (bootstrap_statistics: the estimate, the
  // bias-corrected estimate, the bias, the standard error, the interval's
  // ends and the replicates used). Empty without the setting.
  Table bootstrap;
  // Replicate programs that failed; their values are left out. The
  // replicate programs are in none of the counts, notes and error-log
  // entries below, which are those of a run without the bootstrap (but for
  // the note on the failed replicates, whose line ends Results::note).
  uint64_t bootstrapFailed = 0;

  std::vector<ProgramNote> failed;        // in program order
  std::vector<ProgramNote> stoppedShort;  // in program order, after any second solve
  uint64_t programsSolved = 0;
  uint64_t programsFailed = 0;
  uint64_t programsSolvedAgain = 0;       // solved again on a rescaled copy and taken
  // The closing text the console prints before "Processing finished": the
  // note on absent observations, the note on programs solved again on a
  // rescaled copy (one " NOTE: " line each) and, with Settings::malmquist,
  // the note on cross-period distances that are missing because the
  // observation lies outside the other period's technology, and with
  // Settings::bootstrap the note on failed replicate programs; then the warning
  // that some results may be inaccurate (" WARNING: " lines). Each "" when
  // there is none.
  std::string note;
  std::string warning;

  // What write_result_files and write_report need beyond the tables.
  std::shared_ptr<const void> engineState;
};

// A refused panel or setting: what() is the console program's message for
// the same stop, without its prompts, or names the field and the observation.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A run the cancel hook ended.
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("KORU: the run was cancelled") {}
};

// A result or report file that could not be written whole; what() names the
// file and the reason. Earlier files of the same names are left whole.
class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Results analyze(const Panel& panel, const Settings& settings, const Hooks& hooks = {});

// The bootstrap in parts, for runs spread over processes or machines.
// The measures bootstrapped under these settings: "OTE", "ITE" and, with
// Settings::malmquist, "M_O", "EC_O", "TC_O", "M_I", "EC_I", "TC_I"; and the
// column suffixes of each ("", "_bc", "_bias", "_se", "_lo", "_hi", "_n").
std::vector<std::string> bootstrap_measures(const Settings& settings);
const std::vector<std::string>& bootstrap_statistics();

// Replicates first .. first + count - 1 (0-based) of the bootstrap of this
// panel under these settings. Replicate b draws only from its own random
// stream keyed by (seed, b, reference set), so any split of 0 .. B - 1 into
// parts gives the same values, bit for bit. settings.bootstrap is the run's
// B (first + count must not exceed it). Throws InputError as analyze does.
struct BootstrapPart {
  uint32_t first = 0;
  uint32_t count = 0;
  std::vector<std::string> measures;        // bootstrap_measures(settings)
  // values[m][r * NT + o]: measure m of observation o in replicate first + r,
  // kMissing where its program failed or the observation is absent.
  std::vector<std::vector<double>> values;
  uint64_t failed = 0;                      // replicate programs that failed
};
BootstrapPart bootstrap_replicates(const Panel& panel, const Settings& settings, uint32_t first,
                                   uint32_t count, const Hooks& hooks = {});

// Fills results.bootstrap and results.bootstrapFailed from parts that cover
// the replicates 0 .. results.settings.bootstrap - 1 once each, in any order,
// exactly as analyze fills them itself. results comes from analyze with the
// same panel and settings, Settings::bootstrapInParts set. Throws
// InputError for parts that do not fit.
void add_bootstrap(Results& results, const std::vector<BootstrapPart>& parts);

// Reads an input file as the console program does. Throws InputError with
// the console's message where the console program stops. The panel holds
// the values as read (single precision, before any UnitMeans rescaling,
// which analyze does); the settings hold the family the file chose or its
// default (familyGiven is true), threads 0.
struct InputFile {
  Panel panel;
  Settings settings;
  // The text the console program prints while reading: warnings about the
  // command section, the configuration summary and the data size warning.
  // The warning about badly scaled quantities comes from analyze.
  std::string console;
};
InputFile read_input_file(const std::string& path);

// Writes an input file that read_input_file reads back as this panel and
// these settings: the command section, the heading and one row per
// observation. The file holds values as single-precision numbers, as the
// console program reads them. Throws WriteError.
void write_input_file(const std::string& path, const Panel& panel, const Settings& settings);

// Writes base_output_indexes.csv, _levels.csv, _shadowprices.csv,
// _xtras.csv and _xxerrors.txt (and _malmquist.csv with Settings::malmquist,
// _peers.csv with Settings::peers, _bootstrap.csv with Settings::bootstrap
// once Results::bootstrap is filled), byte for byte as the console program
// writes them for the same panel and settings. Throws WriteError.
void write_result_files(const Results& results, const std::string& baseName);

// Writes the HTML report of the decomposition by period. Throws WriteError.
void write_report(const Results& results, const std::string& path);

}  // namespace koru
