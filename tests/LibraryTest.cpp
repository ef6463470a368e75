// The public interface (include/koru/koru.h): panels in memory give the
// console program's files, two analyses on two threads at once give the same
// results as each alone, refusals name the field and the observation, and a
// cancel ends a run with Cancelled.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <koru/koru.h>

#include "core/Format.h"
#include "tests/TestSupport.h"

namespace {

const char* const kResultSuffixes[] = {"_output_indexes.csv", "_output_levels.csv", "_output_shadowprices.csv",
                                       "_output_xtras.csv", "_output_xxerrors.txt"};

// Runs the console program on a copy of `input` in a fresh directory and
// writes the library's files for `results` beside it; every file must match.
void ExpectConsoleBytes(const std::string& input, const koru::Results& results, const std::string& name) {
  const std::string dir = MakeTestDirectory("library_" + name);
  WriteWholeFile(dir + "/console_input.csv", ReadWholeFile(input));
  ASSERT_EQ(RunKoruProcess("'" + dir + "/console_input.csv'").exitStatus, 0) << name;
  koru::write_result_files(results, dir + "/library");
  for (const char* suffix : kResultSuffixes)
    EXPECT_EQ(ReadWholeFile(dir + "/library" + suffix), ReadWholeFile(dir + "/console" + suffix)) << name << suffix;
}

// The value fields of a result row after the observation number and the
// two identifiers, without blanks and the ",max" mark.
std::vector<std::string> ValueFields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : line + ",") {
    if (c == ',') {
      fields.push_back(field);
      field.clear();
    } else if (c != ' ' && c != '\n') {
      field += c;
    }
  }
  fields.erase(fields.begin(), fields.begin() + 3);
  while (!fields.empty() && (fields.back().empty() || fields.back() == "max")) fields.pop_back();
  return fields;
}

// Each printed row of a table in the file, rounded from the results' values
// as the file rounds them (single precision, then the file's format).
void ExpectTableRounds(const koru::Table& table, const std::string& file, const char* format, uint32_t rows) {
  const std::string text = ReadWholeFile(file);
  std::size_t at = 0;
  uint32_t o = 0;
  for (std::size_t end; o < rows && (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = text.substr(at, end - at);
    if (line.rfind(std::to_string(o + 1) + ",", 0) != 0) continue;
    if (table.printed[o]) {
      const std::vector<std::string> fields = ValueFields(line);
      ASSERT_EQ(fields.size(), table.columns.size()) << line;
      for (std::size_t c = 0; c < fields.size(); ++c)
        EXPECT_EQ(fields[c], FormatText(format, SinglePrecision(table.columns[c][o]))) << table.headings[c] << " " << o;
    }
    ++o;
  }
  EXPECT_EQ(o, rows) << file;
}

}  // namespace

// Every example read into a panel, and one panel built by hand (the
// three-firm example of the end-to-end tests), give the console's files.
TEST(Library, PanelsInMemoryGiveTheConsoleProgramsFiles) {
  const std::string example = std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv";
  const koru::InputFile input = koru::read_input_file(example);
  EXPECT_TRUE(input.settings.unitMeans);
  koru::Settings settings = input.settings;
  settings.threads = 2;
  const koru::Results results = koru::analyze(input.panel, settings);
  ExpectConsoleBytes(example, results, "us_states");
  const std::string dir = MakeTestDirectory("library_us_states");
  koru::write_result_files(results, dir + "/rounded");
  const uint32_t NT = 48 * 17;
  ExpectTableRounds(results.levels, dir + "/rounded_output_levels.csv", "%3.4f", NT);
  ExpectTableRounds(results.indexes, dir + "/rounded_output_indexes.csv", "%3.4f", NT);

  koru::Panel panel;
  panel.firms = 3;
  panel.periods = 1;
  panel.outputs = 1;
  panel.inputs = 1;
  panel.outputQuantities = {1, 2, 3};
  panel.inputQuantities = {2, 2, 4};
  panel.id2 = {2001, 2001, 2001};
  panel.idHeading = "obs,firm,year";
  const koru::Results three = koru::analyze(panel, koru::Settings());
  ExpectConsoleBytes(std::string(KORU_TEST_DATA) + "/e2e/three_firms_vrs_input.csv", three, "three_firms");
  // Worked by hand: Q = 3y/7, X = x/2, TFP* = 6/7 (the representative
  // observation lies on the facet y = x/2 + 1).
  const std::vector<double>& q = three.levels.Column("Q");
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(q[i], 3.0 * (i + 1) / 7.0, 1e-12);
  EXPECT_NEAR(three.levels.Column("TFP*")[0], 6.0 / 7.0, 1e-12);
  EXPECT_EQ(three.settings.family, koru::Family::FarePrimont);
  EXPECT_EQ(three.panel.id1, (std::vector<double>{1, 2, 3}));

  // The README's panel under Hicks-Moorsteen with prices, written as an
  // input file: the console program's run of that file gives the bytes of
  // the panel's results, and with one output and one input dTFP is
  // (y2 / y1) / (x2 / x1).
  koru::Panel chained;
  chained.firms = 3;
  chained.periods = 2;
  chained.outputs = 1;
  chained.inputs = 1;
  chained.outputQuantities = {1.0, 2.0, 3.0, 1.5, 2.2, 3.0};
  chained.inputQuantities = {2.0, 2.0, 4.0, 2.0, 2.1, 3.5};
  chained.outputPrices = {1.0, 1.1, 0.9, 1.2, 1.0, 1.0};
  chained.inputPrices = {0.5, 0.6, 0.5, 0.55, 0.5, 0.6};
  koru::Settings hicks;
  hicks.familyGiven = true;
  hicks.family = koru::family_from_token("hicks-moorsteen");
  const std::string file = MakeTestDirectory("library_written") + "/chained_input.csv";
  koru::write_input_file(file, chained, hicks);
  const koru::Results chainedResults = koru::analyze(chained, hicks);
  ExpectConsoleBytes(file, chainedResults, "chained");
  const koru::InputFile back = koru::read_input_file(file);
  EXPECT_EQ(back.panel.inputPrices, (std::vector<double>{0.5, static_cast<float>(0.6), 0.5, static_cast<float>(0.55),
                                                          0.5, static_cast<float>(0.6)}));
  EXPECT_EQ(back.settings.family, koru::Family::HicksMoorsteen);
  const std::vector<double>& dtfp = chainedResults.indexes.Column("dTFP");
  EXPECT_FALSE(chainedResults.indexes.printed[2]);
  EXPECT_NEAR(dtfp[3], 1.5, 1e-9);
  EXPECT_NEAR(dtfp[4], (2.2 / 2.0) / (2.1 / 2.0), 1e-6);
  EXPECT_NEAR(dtfp[5], (3.0 / 3.0) / (3.5 / 4.0), 1e-6);

  // The raw US panel (no UnitMeans) has programs the first solve gets
  // wrong: the second solve takes some, and Settings::singleSolve turns it
  // off as --single-solve does.
  const koru::InputFile raw = koru::read_input_file(std::string(KORU_TEST_DATA) + "/e2e/us_states_12x8_raw_input.csv");
  koru::Settings twice = raw.settings;
  const koru::Results solvedTwice = koru::analyze(raw.panel, twice);
  EXPECT_GT(solvedTwice.programsSolvedAgain, 0u);
  EXPECT_EQ(solvedTwice.note.rfind(" NOTE: ", 0), 0u) << solvedTwice.note;
  EXPECT_EQ(solvedTwice.warning.find(" NOTE: "), std::string::npos) << solvedTwice.warning;
  koru::Settings once = raw.settings;
  once.singleSolve = true;
  const koru::Results solvedOnce = koru::analyze(raw.panel, once);
  EXPECT_EQ(solvedOnce.programsSolvedAgain, 0u);
  EXPECT_EQ(solvedOnce.note, "");
}

namespace {

koru::Results AnalyzeExample(unsigned threads, std::string* console = nullptr) {
  const koru::InputFile input = koru::read_input_file(std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv");
  koru::Settings settings = input.settings;
  settings.threads = threads;
  koru::Hooks hooks;
  if (console != nullptr) hooks.console = [console](const std::string& text) { *console += text; };
  return koru::analyze(input.panel, settings, hooks);
}

// Bit for bit, so that a -9999 or a NaN compares as itself.
bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

void ExpectSameResults(const koru::Results& a, const koru::Results& b) {
  for (const auto& [x, y] : {std::pair<const koru::Table*, const koru::Table*>{&a.indexes, &b.indexes},
                             {&a.levels, &b.levels},
                             {&a.shadowPrices, &b.shadowPrices},
                             {&a.extras, &b.extras}}) {
    ASSERT_EQ(x->headings, y->headings);
    for (std::size_t c = 0; c < x->columns.size(); ++c) EXPECT_TRUE(SameBits(x->columns[c], y->columns[c])) << x->headings[c];
  }
  EXPECT_EQ(a.programsSolved, b.programsSolved);
  EXPECT_EQ(a.warning, b.warning);
  EXPECT_EQ(a.atMaxTfp, b.atMaxTfp);
}

}  // namespace

// Run under ThreadSanitizer in CI: two analyses at once, each on two
// workers, share nothing; each gives what it gives alone, console text too.
TEST(LibraryReentrancy, TwoAnalysesOnTwoThreadsAtOnce) {
  std::string aloneConsole;
  const koru::Results alone = AnalyzeExample(2, &aloneConsole);
  koru::Results first, second;
  std::string firstConsole, secondConsole;
  std::thread one([&] { first = AnalyzeExample(2, &firstConsole); });
  std::thread two([&] { second = AnalyzeExample(2, &secondConsole); });
  one.join();
  two.join();
  ExpectSameResults(first, alone);
  ExpectSameResults(second, alone);
  EXPECT_EQ(firstConsole, aloneConsole);
  EXPECT_EQ(secondConsole, aloneConsole);
  EXPECT_NE(aloneConsole.find(" Computing Set 6: Indexes \n"), std::string::npos);
}

// Every hook runs on the calling thread; progress rises to the total of
// each set; a cancel ends the run with Cancelled and no results.
TEST(LibraryHooks, ProgressAndCancelOnTheCallingThread) {
  const koru::InputFile input = koru::read_input_file(std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv");
  koru::Settings settings = input.settings;
  settings.threads = 3;
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<int> elsewhere{0};
  std::vector<int> sets;
  uint64_t lastDone = 0, lastTotal = 0;
  bool risen = true;
  koru::Hooks hooks;
  hooks.progress = [&](int set, uint64_t done, uint64_t total) {
    if (std::this_thread::get_id() != caller) ++elsewhere;
    if (sets.empty() || sets.back() != set) {
      if (!sets.empty()) risen = risen && lastDone == lastTotal;
      sets.push_back(set);
    } else {
      risen = risen && done == lastDone + 1;
    }
    lastDone = done;
    lastTotal = total;
  };
  int polls = 0;
  hooks.cancel = [&] {
    if (std::this_thread::get_id() != caller) ++elsewhere;
    ++polls;
    return false;
  };
  hooks.console = [&](const std::string&) {
    if (std::this_thread::get_id() != caller) ++elsewhere;
  };
  koru::analyze(input.panel, settings, hooks);
  EXPECT_EQ(elsewhere, 0);
  EXPECT_EQ(sets, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(risen && lastDone == lastTotal && lastTotal == 48u * 17u);
  EXPECT_GT(polls, 0);

  // Cancelled once Set 2 has begun.
  int setAtCancel = 0;
  hooks.cancel = [&] { return setAtCancel >= 2; };
  hooks.progress = [&](int set, uint64_t, uint64_t) { setAtCancel = set; };
  EXPECT_THROW(koru::analyze(input.panel, settings, hooks), koru::Cancelled);
  EXPECT_EQ(setAtCancel, 2);
}

// A refusal is an InputError: the console's text for the stops it shares
// with the console program, otherwise naming the field and the observation.
TEST(LibraryErrors, RefusalsNameTheFieldAndTheObservation) {
  koru::Panel good;
  good.firms = 3;
  good.periods = 2;
  good.outputs = 1;
  good.inputs = 1;
  good.outputQuantities = {1, 2, 3, 2, 3, 4};
  good.inputQuantities = {2, 2, 4, 2, 2, 4};
  struct Case {
    const char* name;
    std::function<void(koru::Panel&, koru::Settings&)> change;
    std::string message;  // what() in full, or the part it must hold
    bool whole;
  };
  const double nan = std::nan("");
  const std::vector<Case> cases = {
      {"no firms", [](koru::Panel& p, koru::Settings&) { p.firms = 0; }, "\n ERROR: firms must be > 0 \n ", true},
      {"window", [](koru::Panel&, koru::Settings& s) { s.window = 3; },
       "\n ERROR: window must be between 1 and the number of periods \n ", true},
      {"base", [](koru::Panel&, koru::Settings& s) { s.base = 7; },
       "\n ERROR: base must be between 1 and the number of observations \n ", true},
      {"prices", [](koru::Panel&, koru::Settings& s) { s.familyGiven = true, s.family = koru::Family::Fisher; },
       "\n ERROR: price-based index requested but no prices available. \n ", true},
      {"limit", [](koru::Panel& p, koru::Settings&) { p.firms = 100000, p.periods = 100; },
       " ERROR: number of observations exceeds maximum for this compilation of KORU = ", false},
      {"sizes", [](koru::Panel& p, koru::Settings&) { p.outputQuantities.pop_back(); },
       "outputQuantities holds 5 values; firms x periods x outputs = 6", true},
      {"identifiers", [](koru::Panel& p, koru::Settings&) { p.id1 = {1, 2}; }, "id1 holds 2 values; firms x periods = 6",
       true},
      {"not finite", [nan](koru::Panel& p, koru::Settings&) { p.inputQuantities[4] = nan; },
       "input quantity 1 of firm 2 in period 2 (observation 5) is not finite", false},
      {"present mask", [](koru::Panel& p, koru::Settings&) { p.present = {true, false}; },
       "present holds 2 values; firms x periods = 6", true},
      {"period without observations", [](koru::Panel& p, koru::Settings&) { p.present = {1, 1, 1, 0, 0, 0}; },
       "period 2 (identifier 2) has no present observation; drop the period", true},
      {"firm without observations", [](koru::Panel& p, koru::Settings&) { p.present = {1, 0, 1, 1, 0, 1}; },
       "firm 2 (identifier 2) has no present observation; drop the firm", true},
      {"absent base", [](koru::Panel& p, koru::Settings& s) { p.present = {1, 0, 1, 1, 1, 1}, s.base = 2; },
       "the base observation 2 (firm 2 in period 1) is absent; Fare-Primont compares every observation with it: "
       "choose a present one",
       true},
      {"not finite where present", [nan](koru::Panel& p, koru::Settings&) { p.present = {1, 1, 0, 1, 1, 1}, p.inputQuantities[1] = nan; },
       "input quantity 1 of firm 2 in period 1 (observation 2) is not finite", false},
  };
  for (const Case& c : cases) {
    koru::Panel panel = good;
    koru::Settings settings;
    c.change(panel, settings);
    try {
      koru::analyze(panel, settings);
      ADD_FAILURE() << c.name << ": no InputError";
    } catch (const koru::InputError& error) {
      if (c.whole)
        EXPECT_EQ(error.what(), c.message) << c.name;
      else
        EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << c.name << ": " << error.what();
    }
  }
  EXPECT_THROW(koru::family_from_token("Fisher"), koru::InputError);
  EXPECT_EQ(koru::family_from_token(koru::family_token(koru::Family::HicksMoorsteen)), koru::Family::HicksMoorsteen);
  try {
    koru::read_input_file(MakeTestDirectory("library_errors") + "/missing_input.csv");
    ADD_FAILURE() << "a missing file was read";
  } catch (const koru::InputError& error) {
    EXPECT_STREQ(error.what(), "\n ERROR: unable to open the input file. \n ");
  }
}

// The Malmquist index of the three-firm example over two periods, by hand.
// (x, y) in period 1: (2, 1), (2, 2), (4, 3); in period 2: (1, 1), (2, 3),
// (4, 4). Variable returns: period 1's frontier runs (2, 2)-(4, 3), period
// 2's (1, 1)-(2, 3)-(4, 4); constant returns: the best ratios y / x are 1 and
// 1.5. Firm 1's period-2 input 1 lies below every period-1 combination, so
// its DOtts program has no bounded optimum; firm 3's period-2 output 4 lies
// above every period-1 combination (DItts). Neither is a failed program.
TEST(LibraryMalmquist, WorkedExampleByHandWithObservationsOutsideTheOtherTechnology) {
  koru::Panel panel;
  panel.firms = 3;
  panel.periods = 2;
  panel.outputs = 1;
  panel.inputs = 1;
  panel.outputQuantities = {1, 2, 3, 1, 3, 4};
  panel.inputQuantities = {2, 2, 4, 1, 2, 4};
  koru::Settings settings;
  settings.malmquist = true;
  const koru::Results results = koru::analyze(panel, settings);
  const koru::Table& table = results.malmquist;
  ASSERT_EQ(table.headings.size(), 32u);
  const double m = koru::kMissing;
  const struct {
    const char* name;
    double values[3];  // firms 1, 2, 3 in period 2
  } expected[] = {
      {"DOsss", {0.5, 1, 1}},        {"DOtts", {m, 1.5, 4.0 / 3}},  {"DOsst", {1.0 / 3, 2.0 / 3, 0.75}},
      {"DOttt", {1, 1, 1}},          {"M_O", {m, 1.5, 4.0 / 3}},    {"EC_O", {2, 1, 1}},
      {"TC_O", {m, 1.5, 4.0 / 3}},   {"DIsss", {1, 1, 1}},          {"DItts", {0.5, 0.5, m}},
      {"DIsst", {2, 4.0 / 3, 2}},    {"DIttt", {1, 1, 1}},          {"M_I", {2, std::sqrt(8.0 / 3), m}},
      {"EC_I", {1, 1, 1}},           {"TC_I", {2, std::sqrt(8.0 / 3), m}},
      {"HOsss", {0.5, 1, 0.75}},     {"HOtts", {1, 1.5, 1}},        {"HOsst", {1.0 / 3, 2.0 / 3, 0.5}},
      {"HOttt", {2.0 / 3, 1, 2.0 / 3}}, {"M_O_crs", {2, 1.5, 4.0 / 3}}, {"EC_O_crs", {4.0 / 3, 1, 8.0 / 9}},
      {"TC_O_crs", {1.5, 1.5, 1.5}}, {"PEC_O", {2, 1, 1}},          {"SEC_O", {2.0 / 3, 1, 8.0 / 9}},
      {"HIsss", {2, 1, 4.0 / 3}},    {"HItts", {1, 2.0 / 3, 1}},    {"HIsst", {3, 1.5, 2}},
      {"HIttt", {1.5, 1, 1.5}},      {"M_I_crs", {2, 1.5, 4.0 / 3}}, {"EC_I_crs", {4.0 / 3, 1, 8.0 / 9}},
      {"TC_I_crs", {1.5, 1.5, 1.5}}, {"PEC_I", {1, 1, 1}},          {"SEC_I", {4.0 / 3, 1, 8.0 / 9}},
  };
  for (std::size_t c = 0; c < 32; ++c) {
    EXPECT_EQ(table.headings[c], expected[c].name);
    const std::vector<double>& column = table.Column(expected[c].name);
    for (uint32_t i = 0; i < 3; ++i) {
      EXPECT_EQ(column[i], m) << expected[c].name << " of the first period";
      if (expected[c].values[i] == m)
        EXPECT_EQ(column[3 + i], m) << expected[c].name << " firm " << i + 1;
      else
        EXPECT_NEAR(column[3 + i], expected[c].values[i], 1e-9) << expected[c].name << " firm " << i + 1;
    }
  }
  EXPECT_EQ(table.printed, std::vector<bool>({false, false, false, true, true, true}));
  EXPECT_EQ(results.malmquistOutside, 2u);
  EXPECT_EQ(results.programsFailed, 0u);
  EXPECT_TRUE(results.failed.empty());
  EXPECT_EQ(results.warning, "");
  EXPECT_NE(results.note.find(" NOTE: 2 cross-period distances of the Malmquist file are missing"), std::string::npos)
      << results.note;

  // The console program with --malmquist writes the same file, with nothing
  // in its error log; without the setting there is no table.
  const std::string dir = MakeTestDirectory("library_malmquist");
  koru::write_input_file(dir + "/console_input.csv", panel, settings);
  const KoruRun run = RunKoruProcess("--malmquist '" + dir + "/console_input.csv'");
  ASSERT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.console.find(results.note), std::string::npos) << run.console;
  EXPECT_EQ(ReadWholeFile(dir + "/console_output_xxerrors.txt"), "");
  koru::write_result_files(results, dir + "/library");
  EXPECT_EQ(ReadWholeFile(dir + "/library_output_malmquist.csv"), ReadWholeFile(dir + "/console_output_malmquist.csv"));
  ExpectTableRounds(table, dir + "/library_output_malmquist.csv", "%3.4f", 6);

  settings.malmquist = false;
  settings.returnsToScale = koru::ReturnsToScale::Constant;
  EXPECT_TRUE(koru::analyze(panel, settings).malmquist.headings.empty());
  settings.malmquist = true;
  const koru::Table crs = koru::analyze(panel, settings).malmquist;
  ASSERT_EQ(crs.headings.size(), 14u);
  EXPECT_NEAR(crs.Column("M_O")[3], 2.0, 1e-9);
  EXPECT_NEAR(crs.Column("DOtts")[3], 1.0, 1e-9);
}

namespace {

// A three-firm, three-period panel whose firm 3 enters in period 2 and
// whose firm 1 lacks period 3, from rows in any order.
koru::PanelRows RowsWithGaps() {
  koru::PanelRows rows;
  rows.firmLabels = {"11", "12", "13"};
  rows.periodLabels = {"2001", "2002", "2003"};
  rows.firm = {0, 1, 0, 1, 2, 1, 2};
  rows.period = {0, 0, 1, 1, 1, 2, 2};
  rows.outputs = {{"q", {10, 12, 11, 14, 9, 15, 10}}};
  rows.inputs = {{"x", {5, 6, 5, 6, 5, 6, 5}}};
  return rows;
}

}  // namespace

TEST(LibraryAbsent, PairsWithoutARowAreAbsentEverywhereAndRoundTripThroughTheInputFile) {
  const koru::Panel panel = koru::panel_from_rows(RowsWithGaps());
  const std::vector<bool> present = {true, true, false, true, true, true, false, true, true};
  EXPECT_EQ(panel.present, present);
  EXPECT_EQ(panel.outputQuantities[2], koru::kMissing);
  EXPECT_EQ(panel.id1[2], 13.0);
  EXPECT_EQ(panel.id2[2], 2001.0);

  for (const koru::Family family : {koru::Family::FarePrimont, koru::Family::MalmquistHs}) {
    SCOPED_TRACE(koru::family_name(family));
    koru::Settings settings;
    settings.familyGiven = true;
    settings.family = family;
    settings.returnsToScale = koru::ReturnsToScale::Constant;
    const koru::Results results = koru::analyze(panel, settings);
    EXPECT_EQ(results.note, " NOTE: 2 of the 9 observations are absent from the panel; the result files leave out "
                            "their rows.\n");
    // One output and one input under constant returns to scale: OTE is the
    // ratio q/x to the best ratio among the present observations of the
    // period (period 1: 10/5 and 12/6, both 2; period 2: 11/5, 14/6, 9/5;
    // period 3: 15/6, 10/5).
    const std::vector<double>& ote = results.levels.Column("OTE");
    const double expected[] = {1, 1, koru::kMissing, (11.0 / 5) / (14.0 / 6), 1, (9.0 / 5) / (14.0 / 6),
                               koru::kMissing, 1, (10.0 / 5) / (15.0 / 6)};
    for (std::size_t o = 0; o < 9; ++o) EXPECT_NEAR(ote[o], expected[o], 1e-6) << "observation " << o + 1;
    for (const koru::Table* table : {&results.indexes, &results.levels, &results.shadowPrices, &results.extras}) {
      for (std::size_t o : {2u, 6u}) {
        EXPECT_FALSE(table->printed[o]) << table->title;
        for (const std::vector<double>& column : table->columns) EXPECT_EQ(column[o], koru::kMissing) << table->title;
      }
    }
    // Firm 3 enters in period 2: under Malmquist-hs it has no comparison
    // observation there and every index number is missing; its levels are not.
    if (family == koru::Family::MalmquistHs) {
      for (const std::vector<double>& column : results.indexes.columns) EXPECT_EQ(column[5], koru::kMissing);
      EXPECT_NE(results.levels.Column("Q")[5], koru::kMissing);
      EXPECT_NE(results.indexes.Column("dQ")[4], koru::kMissing);
    }

    // Through an input file with -9999 rows: the same panel, the same files.
    const std::string dir = MakeTestDirectory("library_absent_" + koru::family_token(family));
    koru::write_input_file(dir + "/gaps_input.csv", panel, settings);
    const std::string text = ReadWholeFile(dir + "/gaps_input.csv");
    EXPECT_NE(text.find("\n3,13,2001,-9999,-9999\n"), std::string::npos) << text;
    const koru::InputFile back = koru::read_input_file(dir + "/gaps_input.csv");
    EXPECT_EQ(back.panel.present, present);
    koru::write_result_files(results, dir + "/memory");
    const KoruRun run = RunKoruProcess("'" + dir + "/gaps_input.csv'");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.console.find(results.note), std::string::npos) << run.console;
    for (const char* suffix : kResultSuffixes)
      EXPECT_EQ(ReadWholeFile(dir + "/gaps" + suffix), ReadWholeFile(dir + "/memory" + suffix)) << suffix;
    EXPECT_EQ(ReadWholeFile(dir + "/gaps_output_levels.csv").find("\n3,"), std::string::npos);
  }
}

// Shadow prices scaled by a distance that could not be computed give
// aggregates that round to the marker (-9999.000000000002); the tables hold
// the marker itself there, so that front ends show them as missing.
TEST(LibraryAbsent, ValuesThatRoundToTheMarkerAreTheMarker) {
  // The shipped panel in its raw units, where some DOtst and DIstt fail.
  koru::InputFile input = koru::read_input_file(std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv");
  input.settings.unitMeans = false;
  input.settings.family = koru::Family::MalmquistIt;
  input.settings.returnsToScale = koru::ReturnsToScale::Constant;
  input.settings.singleSolve = true;
  const koru::Results results = koru::analyze(input.panel, input.settings);
  int missing = 0;
  EXPECT_EQ(results.levels.Column("X")[654], koru::kMissing);
  EXPECT_EQ(results.levels.Column("X")[671], koru::kMissing);
  for (const koru::Table* table : {&results.indexes, &results.levels, &results.shadowPrices, &results.extras})
    for (const std::vector<double>& column : table->columns)
      for (double v : column) {
        EXPECT_FALSE(v != koru::kMissing && static_cast<float>(v) == -9999.0f) << table->title << ": " << v;
        missing += v == koru::kMissing ? 1 : 0;
      }
  EXPECT_GT(missing, 0);
}

namespace {

// The peers of observation o in one orientation: peer -> (lambda, lambda2).
std::map<uint32_t, std::pair<double, double>> PeersOf(const koru::Results& results, uint32_t o,
                                                      const std::string& orientation) {
  std::map<uint32_t, std::pair<double, double>> peers;
  const koru::PeersTable& table = results.peers;
  for (std::size_t r = 0; r < table.observation.size(); ++r)
    if (table.observation[r] == o && table.orientation[r] == orientation)
      peers[table.peer[r]] = {table.lambda[r], table.lambda2[r]};
  return peers;
}

// Observation o's slacks then targets in one orientation.
std::vector<double> TargetsOf(const koru::Results& results, uint32_t o, const std::string& orientation) {
  const koru::TargetsTable& table = results.targets;
  for (std::size_t r = 0; r < table.observation.size(); ++r) {
    if (table.observation[r] != o || table.orientation[r] != orientation) continue;
    std::vector<double> values;
    for (const std::vector<double>& column : table.columns) values.push_back(column[r]);
    return values;
  }
  return {};
}

}  // namespace

// Four firms, one input, one output, one period: (x, y) = (2, 1), (2, 2),
// (4, 3), (5, 3). Solved by hand:
// VRS (frontier (2, 2)-(4, 3), then flat): firm 1 output phi = 2 on firm 2;
//   firm 1 input theta = 1, and the second stage moves it to firm 2 with an
//   output slack 1; firm 4 output phi = 1, second stage on firm 3 with an
//   input slack 1; firm 4 input theta = 0.8 on firm 3; firms 2 and 3 their
//   own peers.
// CRS (the ray of firm 2, y = x): every peer is firm 2 with lambda
//   phi x_o / 2 (output) or y_o / 2 (input), no slack.
TEST(LibraryPeers, HandWorkedPanelGivesTheKnownPeersSlacksAndTargets) {
  koru::Panel panel;
  panel.firms = 4;
  panel.periods = 1;
  panel.outputs = 1;
  panel.inputs = 1;
  panel.outputQuantities = {1, 2, 3, 3};
  panel.inputQuantities = {2, 2, 4, 5};
  koru::Settings settings;
  settings.peers = true;
  settings.threads = 1;
  const koru::Results vrs = koru::analyze(panel, settings);
  using Peers = std::map<uint32_t, std::pair<double, double>>;
  const auto expectPeers = [](const Peers& got, const Peers& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (const auto& [peer, lambdas] : want) {
      ASSERT_EQ(got.count(peer), 1u) << what << " peer " << peer;
      EXPECT_NEAR(got.at(peer).first, lambdas.first, 1e-9) << what << " peer " << peer;
      EXPECT_NEAR(got.at(peer).second, lambdas.second, 1e-9) << what << " peer " << peer;
    }
  };
  const auto expectTargets = [](const std::vector<double>& got, const std::vector<double>& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t c = 0; c < want.size(); ++c) EXPECT_NEAR(got[c], want[c], 1e-9) << what << " column " << c;
  };
  EXPECT_EQ(vrs.targets.headings, (std::vector<std::string>{"slack_y1", "slack_x1", "target_y1", "target_x1"}));
  expectPeers(PeersOf(vrs, 1, "output"), {{2, {1, 1}}}, "VRS 1 output");
  expectTargets(TargetsOf(vrs, 1, "output"), {0, 0, 2, 2}, "VRS 1 output");
  // theta = 1 has several first-stage bases (firm 1 or firm 2): only the second stage is unique.
  EXPECT_EQ(PeersOf(vrs, 1, "input").count(2), 1u);
  EXPECT_NEAR(PeersOf(vrs, 1, "input").at(2).second, 1, 1e-9);
  expectTargets(TargetsOf(vrs, 1, "input"), {1, 0, 2, 2}, "VRS 1 input");
  for (uint32_t o : {2u, 3u}) {
    for (const char* orientation : {"output", "input"}) {
      expectPeers(PeersOf(vrs, o, orientation), {{o, {1, 1}}}, orientation);
      expectTargets(TargetsOf(vrs, o, orientation), {0, 0, panel.outputQuantities[o - 1], panel.inputQuantities[o - 1]},
                    orientation);
    }
  }
  EXPECT_NEAR(PeersOf(vrs, 4, "output").at(3).second, 1, 1e-9);
  expectTargets(TargetsOf(vrs, 4, "output"), {0, 1, 3, 4}, "VRS 4 output");
  expectPeers(PeersOf(vrs, 4, "input"), {{3, {1, 1}}}, "VRS 4 input");
  expectTargets(TargetsOf(vrs, 4, "input"), {0, 0, 3, 4}, "VRS 4 input");

  settings.returnsToScale = koru::ReturnsToScale::Constant;
  const koru::Results crs = koru::analyze(panel, settings);
  const double phi[] = {2, 1, 4.0 / 3.0, 5.0 / 3.0};
  for (uint32_t o = 1; o <= 4; ++o) {
    const double x = panel.inputQuantities[o - 1], y = panel.outputQuantities[o - 1];
    const double outputLambda = phi[o - 1] * y / 2, inputLambda = y / 2;
    expectPeers(PeersOf(crs, o, "output"), {{2, {outputLambda, outputLambda}}}, "CRS output");
    expectTargets(TargetsOf(crs, o, "output"), {0, 0, phi[o - 1] * y, x}, "CRS output");
    expectPeers(PeersOf(crs, o, "input"), {{2, {inputLambda, inputLambda}}}, "CRS input");
    expectTargets(TargetsOf(crs, o, "input"), {0, 0, y, y}, "CRS input");
  }
  // Without peers the tables stay empty.
  settings.peers = false;
  EXPECT_TRUE(koru::analyze(panel, settings).peers.observation.empty());
}

// On the shipped panel and the raw 12 x 8 US panel, every observation under
// CRS and VRS in both orientations: the first stage's lambdas are feasible
// for the envelopment program at the reported distance (outputs covered by
// the expanded outputs, inputs by the contracted inputs, convexity under
// VRS, each to 1e-6 of the row's size) and the expansion (contraction) they
// certify equals the distance, so the reported distance is optimal. The
// targets are the radial projection moved by the slacks and are reached by
// the second stage's lambdas.
TEST(LibraryPeers, LambdasCertifyEveryDistanceOfTheShippedAndTheRawPanels) {
  std::vector<std::string> notOptimal;
  // The third panel, firm sizes spanning four orders of magnitude
  // (bench/make_panel.py --firms 60 --periods 3 --span --seed 1), has D
  // programs solved again on a rescaled copy: their lambdas are the copy's.
  // The fourth, 20 outputs and 20 inputs (bench/make_panel.py --firms 60
  // --periods 2 --outputs 20 --inputs 20 --mix 1 --seed 8), has D programs
  // caught stalling and solved again with the lexicographic rule: their
  // lambdas are that copy's.
  for (const std::string& file : {std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv",
                                  std::string(KORU_TEST_DATA) + "/e2e/us_states_12x8_raw_input.csv",
                                  std::string(KORU_TEST_DATA) + "/input/span_input.csv",
                                  std::string(KORU_TEST_DATA) + "/input/wide_input.csv"}) {
    const koru::InputFile input = koru::read_input_file(file);
    for (koru::ReturnsToScale rts : {koru::ReturnsToScale::Variable, koru::ReturnsToScale::Constant}) {
      koru::Settings settings = input.settings;
      settings.returnsToScale = rts;
      settings.peers = true;
      const koru::Results results = koru::analyze(input.panel, settings);
      const bool vrs = rts == koru::ReturnsToScale::Variable;
      const koru::Panel& panel = results.panel;
      const uint32_t M = panel.outputs, K = panel.inputs, NT = panel.firms * panel.periods;
      // The quantities as analysed: with UnitMeans the lambdas hold for the data as given too.
      const auto y = [&](uint32_t o, uint32_t m) { return panel.outputQuantities[(o - 1) * M + m]; };
      const auto x = [&](uint32_t o, uint32_t k) { return panel.inputQuantities[(o - 1) * K + k]; };
      uint32_t certified = 0;
      for (const char* orientation : {"output", "input"}) {
        const bool output = std::string(orientation) == "output";
        const std::vector<double>& distance = results.extras.Column(output ? "DOttt" : "DIttt");
        for (uint32_t o = 1; o <= NT; ++o) {
          const std::string what = file + (vrs ? " VRS " : " CRS ") + orientation + " obs " + std::to_string(o);
          if (distance[o - 1] == koru::kMissing) continue;
          const double radial = 1.0 / distance[o - 1];  // phi or theta
          const auto peers = PeersOf(results, o, orientation);
          if (radial == 0.0) {
            // No output at all: theta = 0, reached with every lambda 0 (DIttt = inf).
            EXPECT_FALSE(output) << what;
            EXPECT_TRUE(peers.empty()) << what;
            continue;
          }
          ASSERT_FALSE(peers.empty()) << what;
          double sum = 0.0, certifiedRadial = output ? 1e300 : 0.0, worst = 0.0;
          std::vector<double> second(M + K, 0.0);
          for (uint32_t m = 0; m < M; ++m) {
            double covered = 0.0, size = 0.0;
            for (const auto& [peer, lambdas] : peers) {
              covered += lambdas.first * y(peer, m);
              size = std::max(size, std::fabs(lambdas.first * y(peer, m)));
              second[m] += lambdas.second * y(peer, m);
            }
            const double needed = output ? radial * y(o, m) : y(o, m);
            size = std::max({size, needed, 1e-300});
            worst = std::max(worst, (needed - covered) / size);
            if (output && y(o, m) > 0) certifiedRadial = std::min(certifiedRadial, covered / y(o, m));
          }
          for (uint32_t k = 0; k < K; ++k) {
            double used = 0.0, size = 0.0;
            for (const auto& [peer, lambdas] : peers) {
              used += lambdas.first * x(peer, k);
              size = std::max(size, std::fabs(lambdas.first * x(peer, k)));
              second[M + k] += lambdas.second * x(peer, k);
            }
            const double allowed = output ? x(o, k) : radial * x(o, k);
            size = std::max({size, allowed, 1e-300});
            worst = std::max(worst, (used - allowed) / size);
            if (!output && x(o, k) > 0) certifiedRadial = std::max(certifiedRadial, used / x(o, k));
          }
          for (const auto& entry : peers) sum += entry.second.first;
          if (vrs) worst = std::max(worst, std::fabs(sum - 1.0));
          worst = std::max(worst, std::fabs(certifiedRadial - radial) / radial);
          // Beyond 1e-6 the distance Set 1 reports is not the optimum: the
          // simplex stopped within its tolerance short of it.
          EXPECT_LT(worst, 1e-4) << what;
          if (worst > 1e-6) notOptimal.push_back(what);
          // Targets: the projection moved by the slacks, reached by lambda2.
          const std::vector<double> t = TargetsOf(results, o, orientation);
          ASSERT_EQ(t.size(), 2 * (M + K)) << what;
          if (t[0] == koru::kMissing) continue;
          for (uint32_t m = 0; m < M; ++m) {
            const double projected = (output ? radial : 1.0) * y(o, m);
            EXPECT_GE(t[m], 0.0) << what;
            EXPECT_NEAR(t[M + K + m], projected + t[m], 1e-9 * std::max(1.0, t[M + K + m])) << what;
            EXPECT_NEAR(second[m], t[M + K + m], 1e-6 * std::max(1.0, t[M + K + m])) << what << " y" << m + 1;
          }
          for (uint32_t k = 0; k < K; ++k) {
            const double projected = (output ? 1.0 : radial) * x(o, k);
            EXPECT_GE(t[M + k], 0.0) << what;
            EXPECT_NEAR(t[2 * M + K + k], projected - t[M + k], 1e-9 * std::max(1.0, projected)) << what;
            EXPECT_NEAR(second[M + k], t[2 * M + K + k], 1e-6 * std::max(1.0, projected)) << what << " x" << k + 1;
          }
          ++certified;
        }
      }
      EXPECT_GT(certified, NT) << file;
    }
  }
  // One known fault of Set 1, pinned here: observation 60 (state 12 in
  // 1971) of the shipped panel under CRS stops short by about 2e-5 of its
  // distance in both orientations (scipy's HiGHS gives DOttt 0.815635 where
  // Set 1 reports 0.815617); its lambdas show it.
  const std::string shipped = std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv";
  EXPECT_EQ(notOptimal, (std::vector<std::string>{shipped + " CRS output obs 60", shipped + " CRS input obs 60"}));
}

namespace {

koru::Settings BootstrapSettings(const koru::Settings& base, uint32_t B, unsigned threads, bool inParts) {
  koru::Settings settings = base;
  settings.bootstrap = B;
  settings.seed = 20261211;
  settings.threads = threads;
  settings.bootstrapInParts = inParts;
  return settings;
}

void ExpectSameBootstrap(const koru::Results& a, const koru::Results& b) {
  ASSERT_EQ(a.bootstrap.headings, b.bootstrap.headings);
  ASSERT_EQ(a.bootstrap.columns.size(), a.bootstrap.headings.size());
  for (std::size_t c = 0; c < a.bootstrap.columns.size(); ++c)
    EXPECT_TRUE(SameBits(a.bootstrap.columns[c], b.bootstrap.columns[c])) << a.bootstrap.headings[c];
  EXPECT_EQ(a.bootstrapFailed, b.bootstrapFailed);
  EXPECT_EQ(a.note, b.note);
}

}  // namespace

// Replicate b draws from its own streams only: the run's own bootstrap on
// one or three workers, and the replicates computed in two parts on other
// thread counts and joined in reverse order, give the same bits, with and
// without the Malmquist index (whose streams leave the efficiencies' bits
// as they are); parts that leave a replicate out or hold one twice are
// refused; the library writes the console program's bootstrap file.
TEST(LibraryBootstrap, PartsInAnyOrderAndAnyThreadCountGiveTheRunsOwnBits) {
  const std::string path = std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv";
  const koru::InputFile input = koru::read_input_file(path);
  const uint32_t B = 7;
  koru::Results efficienciesOnly;
  for (bool malmquist : {false, true}) {
    SCOPED_TRACE(malmquist ? "with the Malmquist index" : "efficiencies");
    koru::Settings base = input.settings;
    base.malmquist = malmquist;
    std::vector<int> sets;
    koru::Hooks hooks;
    hooks.progress = [&](int set, uint64_t done, uint64_t total) {
      if (set == 8 && done == total) sets.push_back(static_cast<int>(total));
    };
    const koru::Results one = koru::analyze(input.panel, BootstrapSettings(base, B, 1, false), hooks);
    EXPECT_EQ(sets, std::vector<int>{static_cast<int>(B)});
    const koru::Results three = koru::analyze(input.panel, BootstrapSettings(base, B, 3, false));
    ExpectSameBootstrap(one, three);
    const std::size_t measures = malmquist ? 8 : 2;
    ASSERT_EQ(one.bootstrap.headings.size(), 7 * measures);
    EXPECT_EQ(one.bootstrap.headings[0], "OTE");
    EXPECT_EQ(one.bootstrap.headings[13], "ITE_n");
    EXPECT_TRUE(SameBits(one.bootstrap.Column("OTE"), one.levels.Column("OTE")));
    EXPECT_TRUE(SameBits(one.bootstrap.Column("ITE"), one.levels.Column("ITE")));
    if (malmquist) {
      EXPECT_EQ(one.bootstrap.headings[7 * 7], "TC_I");
      EXPECT_TRUE(SameBits(one.bootstrap.Column("M_O"), one.malmquist.Column("M_O")));
      EXPECT_TRUE(SameBits(one.bootstrap.Column("TC_I"), one.malmquist.Column("TC_I")));
      for (std::size_t c = 0; c < 14; ++c)
        EXPECT_TRUE(SameBits(one.bootstrap.columns[c], efficienciesOnly.bootstrap.columns[c])) << c;
    } else {
      efficienciesOnly = one;
    }

    koru::Results joined = koru::analyze(input.panel, BootstrapSettings(base, B, 2, true));
    EXPECT_TRUE(joined.bootstrap.columns.empty());
    const koru::BootstrapPart late =
        koru::bootstrap_replicates(input.panel, BootstrapSettings(base, B, 3, true), 3, 4);
    const koru::BootstrapPart early =
        koru::bootstrap_replicates(input.panel, BootstrapSettings(base, B, 1, true), 0, 3);
    EXPECT_THROW(koru::add_bootstrap(joined, {late}), koru::InputError);
    EXPECT_THROW(koru::add_bootstrap(joined, {late, early, early}), koru::InputError);
    koru::add_bootstrap(joined, {late, early});
    ExpectSameBootstrap(one, joined);
    // Failed replicate programs are counted and told in a note of their own.
    koru::Results told = joined;
    koru::BootstrapPart failing = late;
    failing.failed = late.failed + 3;
    koru::add_bootstrap(told, {early, failing});
    EXPECT_EQ(told.bootstrapFailed, joined.bootstrapFailed + 3);
    ASSERT_EQ(joined.bootstrapFailed, 0u);
    EXPECT_EQ(told.note, joined.note +
                             " NOTE: 3 bootstrap replicate programs failed; their values are left out of the\n"
                             "       statistics (the _n columns of the bootstrap file count the replicates used).\n");

    const std::string dir = MakeTestDirectory(malmquist ? "library_bootstrap_malmquist" : "library_bootstrap");
    WriteWholeFile(dir + "/console_input.csv", ReadWholeFile(path));
    ASSERT_EQ(RunKoruProcess(std::string(malmquist ? "--malmquist " : "") + "--bootstrap 7 --seed 20261211 '" + dir +
                             "/console_input.csv'")
                  .exitStatus,
              0);
    koru::write_result_files(joined, dir + "/library");
    EXPECT_EQ(ReadWholeFile(dir + "/library_output_bootstrap.csv"),
              ReadWholeFile(dir + "/console_output_bootstrap.csv"));
    EXPECT_FALSE(ReadWholeFile(dir + "/console_output_bootstrap.csv").empty());
  }
}

// A cancel while the replicates run ends the run with Cancelled, in analyze
// and in bootstrap_replicates alike.
TEST(LibraryBootstrap, CancelDuringTheReplicatesEndsTheRun) {
  const koru::InputFile input = koru::read_input_file(std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv");
  const koru::Settings settings = BootstrapSettings(input.settings, 1000, 2, false);
  int set = 0;
  uint64_t replicatesDone = 0;
  koru::Hooks hooks;
  hooks.progress = [&](int s, uint64_t done, uint64_t) {
    set = s;
    if (s == 8) replicatesDone = done;
  };
  hooks.cancel = [&] { return set == 8 && replicatesDone >= 2; };
  EXPECT_THROW(koru::analyze(input.panel, settings, hooks), koru::Cancelled);
  EXPECT_LT(replicatesDone, 1000u);
  set = 0;
  replicatesDone = 0;
  EXPECT_THROW(koru::bootstrap_replicates(input.panel, settings, 0, 1000, hooks), koru::Cancelled);
  EXPECT_LT(replicatesDone, 1000u);
}

// Every firm efficient (y = x under constant returns): the reflected sample
// has no spread (s = 0), so h = 0 and every draw is 1, and the pairs of the
// Malmquist index have a zero covariance, so every pair drawn is (1, 1); the
// pseudo data are the data and every replicate is the estimate 1 (no 0 / 0):
// the efficiencies and, in period 2, M, EC and TC of both orientations.
TEST(LibraryBootstrap, EfficientFirmsOnlyGiveReplicatesEqualToTheEstimate) {
  koru::Panel panel;
  panel.firms = 3;
  panel.periods = 2;
  panel.outputs = 1;
  panel.inputs = 1;
  panel.outputQuantities = {1, 2, 4, 3, 5, 6};
  panel.inputQuantities = {1, 2, 4, 3, 5, 6};
  koru::Settings settings;
  settings.returnsToScale = koru::ReturnsToScale::Constant;
  settings.bootstrap = 5;
  settings.malmquist = true;
  const koru::Results results = koru::analyze(panel, settings);
  for (const char* name : {"OTE", "ITE", "M_O", "EC_O", "TC_O", "M_I", "EC_I", "TC_I"}) {
    const std::string measure = name;
    for (uint32_t o = measure[0] == 'M' || measure[1] == 'C' ? 3 : 0; o < 6; ++o) {
      EXPECT_NEAR(results.bootstrap.Column(measure + "_bc")[o], 1.0, 1e-12) << name << o;
      EXPECT_NEAR(results.bootstrap.Column(measure + "_se")[o], 0.0, 1e-12) << name << o;
      EXPECT_EQ(results.bootstrap.Column(measure + "_n")[o], 5.0) << name << o;
    }
  }
}

// A Monte Carlo with a known frontier, y = sqrt(x) under variable returns,
// x uniform on [1, 10], one period of 100 firms whose true output distance
// is exp(-u), u half-normal (sigma 0.3); the true input efficiency is then
// exp(-2u). Over a few trials the bias-corrected OTE lies closer to the
// truth than the estimate (which overstates efficiency), the nominal 95 %
// intervals of OTE and ITE cover the truth for most firms, and the typical
// standard error is small. (A firm at the edge of the data, the one with the
// largest output in the input orientation say, has replicates theta / t of
// its own pseudo point alone, above 1 and spread widely: its ITE_se and
// bias are large by the method, so ITE's mean error is not asked for.)
TEST(LibraryBootstrap, MonteCarloBiasCorrectionMovesTowardTheTruthAndIntervalsCover) {
  const uint32_t N = 100, trials = 4, B = 100;
  std::mt19937_64 generator(31);  // the seed of the panels
  std::uniform_real_distribution<double> input(1.0, 10.0);
  std::normal_distribution<double> noise(0.0, 0.3);
  double rawError = 0, correctedError = 0;
  uint32_t covered[2] = {0, 0};
  std::vector<double> errors[2];
  for (uint32_t trial = 0; trial < trials; ++trial) {
    koru::Panel panel;
    panel.firms = N;
    panel.periods = 1;
    panel.outputs = 1;
    panel.inputs = 1;
    std::vector<double> truth[2];
    for (uint32_t i = 0; i < N; ++i) {
      const double x = input(generator), u = std::fabs(noise(generator));
      panel.inputQuantities.push_back(x);
      panel.outputQuantities.push_back(std::sqrt(x) * std::exp(-u));
      truth[0].push_back(std::exp(-u));
      truth[1].push_back(std::exp(-2.0 * u));
    }
    koru::Settings settings;
    settings.bootstrap = B;
    settings.seed = trial + 1;
    const koru::Results results = koru::analyze(panel, settings);
    const char* const measures[2] = {"OTE", "ITE"};
    for (int m = 0; m < 2; ++m) {
      const std::string name = measures[m];
      const koru::Table& table = results.bootstrap;
      for (uint32_t i = 0; i < N; ++i) {
        if (m == 0) {
          rawError += std::fabs(table.Column(name)[i] - truth[m][i]);
          correctedError += std::fabs(table.Column(name + "_bc")[i] - truth[m][i]);
        }
        covered[m] += table.Column(name + "_lo")[i] <= truth[m][i] && truth[m][i] <= table.Column(name + "_hi")[i];
        errors[m].push_back(table.Column(name + "_se")[i]);
        EXPECT_LE(table.Column(name + "_lo")[i], table.Column(name + "_hi")[i]);
        EXPECT_EQ(table.Column(name + "_n")[i], B);
      }
    }
  }
  EXPECT_LT(correctedError, 0.8 * rawError);
  for (int m = 0; m < 2; ++m) {
    SCOPED_TRACE(m == 0 ? "OTE" : "ITE");
    EXPECT_GT(covered[m], 0.6 * N * trials);
    std::nth_element(errors[m].begin(), errors[m].begin() + errors[m].size() / 2, errors[m].end());
    EXPECT_LT(errors[m][errors[m].size() / 2], 0.1);
  }
}
