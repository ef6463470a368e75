// The command section: keyword spellings, line handling, the consistency
// rules, the configuration summary, and every check that stops the run
// (counts, Window, Base, the observation limit).
#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "core/AnalysisRecord.h"
#include "input/InputFile.h"
#include "tests/InputTestSupport.h"
#include "tests/TestSupport.h"

namespace {

// Reads the command section of `text` into `record`; returns the console.
std::string ReadCommands(AnalysisRecord& record, const std::string& text) {
  std::FILE* file = FileWith(text);
  MustReturn guard;
  testing::internal::CaptureStdout();
  ReadCommandSection(record, file);
  std::string console = testing::internal::GetCapturedStdout();
  std::fclose(file);
  return console;
}

std::string ConsoleOfStoppedCommands(const std::string& text) {
  return ConsoleOfStop([&] {
    AnalysisRecord record;
    return ReadCommandSection(record, FileWith(text));
  });
}

std::string Stop(const std::string& message) { return "\n ERROR: " + message + " \n Press ENTER to terminate.\n"; }

std::string Warning(int line) { return "\n WARNING: ignored unknown command in line " + std::to_string(line) + " \n "; }

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

std::string Counts(long long periods, long long firms, long long outputs, long long inputs) {
  return "\n Number of Periods = " + std::to_string(periods) + "\n Number of Firms   = " + std::to_string(firms) +
         "\n Number of Outputs = " + std::to_string(outputs) + "\n Number of Inputs  = " + std::to_string(inputs) +
         "\n\n";
}

const std::string kCounts = "Firms 5\nPeriods 3\nOutputs 2\nInputs 2\n";
const std::string kFarePrimont = "\n Fare-Primont indexes \n Technical regress allowed\n Variable returns to scale\n";
const std::string kNoEnd = "more than 100 lines have been read and no end command found. \n";
const std::string kLimit =
    " ERROR: number of observations exceeds maximum for this compilation of KORU = 5000\n\n Press ENTER to terminate.";

// ---------------------------------------------------------------------------
// Keyword table

TEST(CommandSectionMatch, AcceptsEverySpelling) {
  const struct {
    const char* token;
    int code;
  } cases[] = {
      {"%", 0},
      {"Firms", 1}, {"firms", 1},
      {"Periods", 2}, {"periods", 2},
      {"Outputs", 3}, {"outputs", 3},
      {"Inputs", 4}, {"inputs", 4},
      {"Prices", 5}, {"prices", 5},
      {"NoTechRegress", 6}, {"notechregress", 6},
      {"NoTechChange", 7}, {"notechchange", 7},
      {"CRS", 8}, {"crs", 8},
      {"Laspeyres", 9}, {"laspeyres", 9},
      {"Paasche", 10}, {"paasche", 10},
      {"Fisher", 11}, {"fisher", 11},
      {"Lowe", 12}, {"lowe", 12},
      {"Malmquist-hs", 13}, {"Malmquist-s", 13}, {"malmquist-hs", 13},
      {"malmquist-s", 13}, {"malmquisths", 13}, {"malmquists", 13},
      {"Malmquist-it", 14}, {"Malmquist-t", 14}, {"malmquist-it", 14},
      {"malmquist-t", 14}, {"malmquistit", 14}, {"malmquistt", 14},
      {"HicksMoorsteen", 15}, {"Hicks-Moorsteen", 15}, {"hicks-moorsteen", 15}, {"hicksmoorsteen", 15},
      {"FarePrimont", 16}, {"Fare-Primont", 16}, {"fare-primont", 16}, {"fareprimont", 16},
      {"Base", 17}, {"base", 17},
      {"Window", 18}, {"window", 18},
      {"VRS", 19}, {"vrs", 19},
      {"UnitMeans", 20}, {"unitmeans", 20},
      {"End", 21}, {"end", 21},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchCommand(c.token), c.code) << c.token;
}

TEST(CommandSectionMatch, RefusesNearMisses) {
  const char* const tokens[] = {
      "",          "FIRMS",          "FIrms",           "Firm",         "Firmss",        "PERIODS",
      "Prices,",   "noTechRegress",  "Notechregress",   "NoTechchange", "Crs",           "cRS",
      "Vrs",       "vRS",            "LASPEYRES",       "Malmquist-HS", "MalmquistHs",   "Malmquisths",
      "Malmquist", "malmquist",      "MalmquistIt",     "Malmquistit",  "HICKS-MOORSTEEN", "Hicks-moorsteen",
      "hicksMoorsteen", "HicksMoorSteen", "Fareprimont", "fare-Primont", "FAREPRIMONT", "BASE",
      "Window1",   "Unitmeans",      "unitMeans",       "END",          "eNd",           "%%",
      "%comment",  "#",              "Firms\xC2\xA0",
  };
  for (const char* token : tokens) EXPECT_EQ(MatchCommand(token), -1) << token;
}

// ---------------------------------------------------------------------------
// Effects of the commands on the configuration

struct Config {
  int TechRegress = 1, TechChange = 1, Vrs = 1, ScaleBound = 0, Prices = 0, UnitMeans = 0;
  int Laspeyres = 0, Paasche = 0, Fisher = 0, Lowe = 0, MalmquistHs = 0, MalmquistIt = 0, HicksMoorsteen = 0,
      FarePrimont = 0;
  uint32_t Firms = 5, Periods = 3, Outputs = 2, Inputs = 2, Base = 1, Window = 1;
};

std::string Describe(const Config& c) {
  char text[400];
  std::snprintf(text, sizeof text,
                "regress %d change %d vrs %d bound %d prices %d unitmeans %d | L %d P %d F %d Lo %d Mhs %d Mit %d HM %d"
                " FP %d | N %u T %u M %u K %u base %u window %u",
                c.TechRegress, c.TechChange, c.Vrs, c.ScaleBound, c.Prices, c.UnitMeans, c.Laspeyres, c.Paasche, c.Fisher, c.Lowe,
                c.MalmquistHs, c.MalmquistIt, c.HicksMoorsteen, c.FarePrimont, c.Firms, c.Periods, c.Outputs,
                c.Inputs, c.Base, c.Window);
  return text;
}

Config ConfigOf(const AnalysisRecord& r) {
  Config c;
  c.TechRegress = r.TechRegress, c.TechChange = r.TechChange, c.Vrs = r.Vrs, c.ScaleBound = r.ScaleBound;
  c.Prices = r.Prices;
  c.UnitMeans = r.UnitMeans, c.Laspeyres = r.Laspeyres, c.Paasche = r.Paasche, c.Fisher = r.Fisher;
  c.Lowe = r.Lowe, c.MalmquistHs = r.MalmquistHs, c.MalmquistIt = r.MalmquistIt;
  c.HicksMoorsteen = r.HicksMoorsteen, c.FarePrimont = r.FarePrimont, c.Firms = r.Firms, c.Periods = r.Periods;
  c.Outputs = r.Outputs, c.Inputs = r.Inputs, c.Base = r.Base, c.Window = r.Window;
  return c;
}

TEST(CommandSectionEffects, CommandTable) {
  const struct {
    const char* name;
    std::string text;
    std::function<void(Config&)> expect;
  } cases[] = {
      {"counts only: Fare-Primont, VRS, regress allowed", kCounts + "end\n", [](Config& c) { c.FarePrimont = 1; }},
      {"Prices selects Lowe", kCounts + "Prices\nend\n", [](Config& c) { c.Prices = 1, c.Lowe = 1; }},
      {"commas read as blanks", "Firms,5\nPeriods,3,\nOutputs,,2\n,Inputs,2,\nend\n",
       [](Config& c) { c.FarePrimont = 1; }},
      {"small-letter spellings",
       "firms 5\nperiods 3\noutputs 2\ninputs 2\nprices\nfisher\ncrs\nunitmeans\nnotechregress\nbase 4\nwindow 2\nend\n",
       [](Config& c) {
         c.Prices = 1, c.Fisher = 1, c.Vrs = 0, c.UnitMeans = 1, c.TechRegress = 0, c.Base = 4, c.Window = 2;
       }},
      {"NoTechChange clears both flags", kCounts + "NoTechChange\nend\n",
       [](Config& c) { c.TechChange = 0, c.TechRegress = 0, c.FarePrimont = 1; }},
      {"NoTechRegress keeps technical change", kCounts + "NoTechRegress\nend\n",
       [](Config& c) { c.TechRegress = 0, c.FarePrimont = 1; }},
      {"VRS after CRS", kCounts + "CRS\nVRS\nend\n", [](Config& c) { c.FarePrimont = 1; }},
      {"CRS after VRS", kCounts + "vrs\ncrs\nend\n", [](Config& c) { c.Vrs = 0, c.FarePrimont = 1; }},
      {"NIRS", kCounts + "NIRS\nend\n", [](Config& c) { c.ScaleBound = kNonIncreasing, c.FarePrimont = 1; }},
      {"ndrs after CRS", kCounts + "CRS\nndrs\nend\n",
       [](Config& c) { c.ScaleBound = kNonDecreasing, c.FarePrimont = 1; }},
      {"CRS after nirs", kCounts + "nirs\nCRS\nend\n", [](Config& c) { c.Vrs = 0, c.FarePrimont = 1; }},
      {"VRS after NDRS", kCounts + "NDRS\nVRS\nend\n", [](Config& c) { c.FarePrimont = 1; }},
      {"NIRS in capitals only", kCounts + "Nirs\nend\n", [](Config& c) { c.FarePrimont = 1; }},
      {"a later number replaces an earlier one", "Firms 9\n" + kCounts + "Firms 7\nend\n",
       [](Config& c) { c.Firms = 7, c.FarePrimont = 1; }},
      {"a missing number keeps the previous one", "Firms 5\nPeriods\nOutputs 2\nInputs 2\nend\n",
       [](Config& c) { c.Periods = 5, c.FarePrimont = 1; }},
      {"the number survives a line without one", kCounts + "Window 3\nNoTechRegress\nBase\nend\n",
       [](Config& c) { c.Window = 3, c.TechRegress = 0, c.Base = 3, c.FarePrimont = 1; }},
      {"the first line without a number reads 0", "Base\nMalmquist-hs\n" + kCounts + "end\n",
       [](Config& c) { c.Base = 0, c.MalmquistHs = 1; }},
      {"text after the number is ignored", "Firms 5 firms in the panel\nPeriods 3\nOutputs 2\nInputs 2 x\nend\n",
       [](Config& c) { c.FarePrimont = 1; }},
      {"empty and blank lines", "\n\n" + kCounts + "\n  \t \nend\n", [](Config& c) { c.FarePrimont = 1; }},
      {"comments", "% Firms 9\n" + kCounts + "% Prices\n%\tCRS\nend\n", [](Config& c) { c.FarePrimont = 1; }},
      {"Windows line ends", "Firms 5\r\nPeriods 3\r\nOutputs 2\r\nInputs 2\r\nCRS\r\nend\r\n",
       [](Config& c) { c.Vrs = 0, c.FarePrimont = 1; }},
      {"Malmquist-s", kCounts + "Malmquist-s\nend\n", [](Config& c) { c.MalmquistHs = 1; }},
      {"malmquistt", kCounts + "malmquistt\nend\n", [](Config& c) { c.MalmquistIt = 1; }},
      {"Hicks-Moorsteen", kCounts + "Hicks-Moorsteen\nend\n", [](Config& c) { c.HicksMoorsteen = 1; }},
      {"hicks-moorsteen", kCounts + "hicks-moorsteen\nend\n", [](Config& c) { c.HicksMoorsteen = 1; }},
      {"HICKS-MOORSTEEN is unknown", kCounts + "HICKS-MOORSTEEN\nend\n", [](Config& c) { c.FarePrimont = 1; }},
      {"Fare-Primont with prices", kCounts + "Prices\nFare-Primont\nend\n",
       [](Config& c) { c.Prices = 1, c.FarePrimont = 1; }},
      {"the same family twice", kCounts + "Paasche\nPrices\npaasche\nend\n",
       [](Config& c) { c.Prices = 1, c.Paasche = 1; }},
      {"byte-order mark skipped", "\xEF\xBB\xBF" + kCounts + "end\n", [](Config& c) { c.FarePrimont = 1; }},
      {"a token is cut at 399 characters", std::string(399, 'A') + "12\nFirms\nPeriods 3\nOutputs 2\nInputs 2\nend\n",
       [](Config& c) { c.Firms = 12, c.FarePrimont = 1; }},
      {"end after a blank", kCounts + " end\nPrices\n", [](Config& c) { c.FarePrimont = 1; }},
      {"End keyword", kCounts + "End\nPrices\n", [](Config& c) { c.FarePrimont = 1; }},
      {"End with more text", kCounts + "\tEnd of the commands\nPrices\n", [](Config& c) { c.FarePrimont = 1; }},
      {"end as a prefix", kCounts + "endless,Prices\nPrices\n", [](Config& c) { c.FarePrimont = 1; }},
      {"end as a prefix without a line end", kCounts + "end", [](Config& c) { c.FarePrimont = 1; }},
      {"END does not end", kCounts + "END\nPrices\nend\n", [](Config& c) { c.Prices = 1, c.Lowe = 1; }},
      {"en does not end", kCounts + "en\nPrices\nend\n", [](Config& c) { c.Prices = 1, c.Lowe = 1; }},
      {"Base and Window at their upper limits", kCounts + "Base 15\nWindow 3\nend\n",
       [](Config& c) { c.Base = 15, c.Window = 3, c.FarePrimont = 1; }},
      {"chained families accept any Base", kCounts + "Malmquist-it\nBase 0\nend\n",
       [](Config& c) { c.Base = 0, c.MalmquistIt = 1; }},
      {"a negative Base wraps for a chained family", kCounts + "Fisher\nPrices\nBase -1\nend\n",
       [](Config& c) { c.Base = 4294967295u, c.Fisher = 1, c.Prices = 1; }},
      {"NoTechChange accepts any Window", kCounts + "NoTechChange\nWindow 9\nend\n",
       [](Config& c) { c.Window = 9, c.TechChange = 0, c.TechRegress = 0, c.FarePrimont = 1; }},
      {"100 firms x 50 periods: the limit itself", "Firms 100\nPeriods 50\nOutputs 1\nInputs 1\nend\n",
       [](Config& c) { c.Firms = 100, c.Periods = 50, c.Outputs = 1, c.Inputs = 1, c.FarePrimont = 1; }},
  };
  for (const auto& c : cases) {
    AnalysisRecord record;
    ReadCommands(record, c.text);
    Config expected;
    c.expect(expected);
    EXPECT_EQ(Describe(ConfigOf(record)), Describe(expected)) << c.name;
  }
}

TEST(CommandSectionEffects, DefaultsAreSetBeforeReading) {
  // A record that held another configuration is reset to the defaults.
  AnalysisRecord record;
  record.TechRegress = 0, record.TechChange = 0, record.Vrs = 0, record.Prices = 1, record.UnitMeans = 1;
  record.Paasche = 1, record.Base = 7, record.Window = 2;
  ReadCommands(record, kCounts + "end\n");
  Config expected;
  expected.FarePrimont = 1;
  EXPECT_EQ(Describe(ConfigOf(record)), Describe(expected));
}

TEST(CommandSectionEffects, FileIsLeftAtTheLineAfterTheEndCommand) {
  const std::string endings[] = {"end\n", "endless text\n", " End\n", "End,of,commands\n"};
  for (const std::string& ending : endings) {
    AnalysisRecord record;
    std::FILE* file = FileWith(kCounts + ending + "obs,firm,year,q,x\n1,1,1,1,1\n");
    MustReturn guard;
    testing::internal::CaptureStdout();
    ReadCommandSection(record, file);
    testing::internal::GetCapturedStdout();
    char line[100] = {0};
    ASSERT_NE(std::fgets(line, sizeof line, file), nullptr) << ending;
    EXPECT_STREQ(line, "obs,firm,year,q,x\n") << ending;
    std::fclose(file);
  }
}

// ---------------------------------------------------------------------------
// Console: configuration summary and warnings of runs that go on

TEST(CommandSectionConsole, SummaryAndWarnings) {
  const std::string x999(999, 'x');
  const struct {
    const char* name;
    std::string text;
    std::string console;
  } cases[] = {
      {"defaults", kCounts + "end\n", kFarePrimont},
      {"Lowe by default with prices", kCounts + "Prices\nend\n",
       "\n Lowe indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Laspeyres", kCounts + "Prices\nLaspeyres\nend\n",
       "\n Laspeyres indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Paasche", kCounts + "Prices\nPaasche\nend\n",
       "\n Paasche indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Fisher", kCounts + "Prices\nFisher\nend\n",
       "\n Fisher indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Lowe", kCounts + "Lowe\nPrices\nend\n",
       "\n Lowe indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Malmquist-hs", kCounts + "malmquisths\nend\n",
       "\n Malmquist-hs indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Malmquist-it", kCounts + "Malmquist-it\nend\n",
       "\n Malmquist-it indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Hicks-Moorsteen", kCounts + "HicksMoorsteen\nend\n",
       "\n Hicks-Moorsteen indexes \n Technical regress allowed\n Variable returns to scale\n"},
      {"Fare-Primont", kCounts + "fareprimont\nend\n", kFarePrimont},
      {"NoTechChange", kCounts + "NoTechChange\nend\n",
       "\n Fare-Primont indexes \n No technical change\n Variable returns to scale\n"},
      {"NoTechChange hides Window", kCounts + "NoTechChange\nWindow 9\nend\n",
       "\n Fare-Primont indexes \n No technical change\n Variable returns to scale\n"},
      {"NoTechRegress with Window 3", kCounts + "NoTechRegress\nWindow 3\nend\n",
       "\n Fare-Primont indexes \n No technical regress\n No technical change in periods 1 to 3 \n"
       " Variable returns to scale\n"},
      {"NoTechRegress with Window 1", kCounts + "NoTechRegress\nend\n",
       "\n Fare-Primont indexes \n No technical regress\n Variable returns to scale\n"},
      {"Window 2 with regress allowed", kCounts + "Window 2\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n"
       " Period-t technology estimated using data from 2 periods\n Variable returns to scale\n"},
      {"CRS", kCounts + "CRS\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n Constant returns to scale\n"},
      {"NIRS", kCounts + "nirs\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n Non-increasing returns to scale\n"},
      {"NDRS", kCounts + "NDRS\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n Non-decreasing returns to scale\n"},
      {"UnitMeans", kCounts + "UnitMeans\nend\n",
       kFarePrimont + " Quantity variables have been re-scaled to have unit means\n"},
      {"Periods 1", "Firms 5\nPeriods 1\nOutputs 2\nInputs 2\nend\n",
       kFarePrimont + "\n WARNING: number of periods = 1 \n "},
      {"everything at once", "Firms 5\nPeriods 1\nOutputs 2\nInputs 2\nNoTechChange\nCRS\nUnitMeans\nend\n",
       "\n Fare-Primont indexes \n No technical change\n Constant returns to scale\n"
       " Quantity variables have been re-scaled to have unit means\n\n WARNING: number of periods = 1 \n "},
      {"unknown command", "Bogus 1\n" + kCounts + "end\n", Warning(1) + kFarePrimont},
      {"unknown command in capitals", kCounts + "HICKS-MOORSTEEN\nend\n", Warning(5) + kFarePrimont},
      {"empty lines repeat an unknown command", "Bogus\n\n   \n" + kCounts + "end\n",
       Warning(1) + Warning(2) + Warning(3) + kFarePrimont},
      {"an empty first line is an unknown command", "\n" + kCounts + "end\n", Warning(1) + kFarePrimont},
      {"a percent sign with text", "%comment\n% comment\n" + kCounts + "end\n", Warning(1) + kFarePrimont},
      {"byte-order mark", "\xEF\xBB\xBF" + kCounts + "end\n", kFarePrimont},
      {"part of a byte-order mark stays", "\xEF\xBB" "Firms 9\n" + kCounts + "end\n", Warning(1) + kFarePrimont},
      {"a lone first byte of the mark stays", "\xEF\n" + kCounts + "end\n", Warning(1) + kFarePrimont},
      {"unknown command on line 100", Repeat("%\n", 99) + "Bogus\n" + kCounts + "end\n",
       Warning(100) + kFarePrimont},
      {"known commands after line 100", Repeat("%\n", 150) + kCounts + "end\n", kFarePrimont},
      // A line of 999 characters fills the buffer; its line end is read as an
      // empty line of its own, which repeats the unknown command.
      {"999 characters and a line end", "Bogus" + std::string(994, ' ') + "\n" + kCounts + "end\n",
       Warning(1) + Warning(2) + kFarePrimont},
      {"998 characters and a line end", "Bogus" + std::string(993, ' ') + "\n" + kCounts + "end\n",
       Warning(1) + kFarePrimont},
      {"a long line is read in pieces of 999", std::string(1500, 'x') + "\n" + kCounts + "end\n",
       Warning(1) + Warning(2) + kFarePrimont},
      {"a piece that starts with end ends the section", kCounts + x999 + "end\nPrices\n",
       Warning(5) + kFarePrimont},
      {"a token longer than 399 characters", std::string(450, 'A') + " 7\n" + kCounts + "end\n",
       Warning(1) + kFarePrimont},
      {"399 characters of a token run into the number", std::string(399, 'A') + "12\n" + kCounts + "end\n",
       Warning(1) + kFarePrimont},
      {"a token of 400 characters", std::string(400, 'A') + "\n" + kCounts + "end\n", Warning(1) + kFarePrimont},
  };
  for (const auto& c : cases) {
    AnalysisRecord record;
    EXPECT_EQ(ReadCommands(record, c.text), c.console) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Stops: each ends the process with status 0 after its message

TEST(CommandSectionStops, ConsistencyCountAndRangeChecks) {
  const std::string price = "price-based index requested but no prices available. \n";
  const std::string families = "more than one type of index requested. \n";
  const std::string window = "window must be between 1 and the number of periods \n";
  const std::string base = "base must be between 1 and the number of observations \n";
  const struct {
    const char* name;
    std::string text;
    std::string console;
  } cases[] = {
      {"empty file", "", Stop(kNoEnd)},
      {"no end command", kCounts, Stop(kNoEnd)},
      {"END is not an end command", kCounts + "END\n", Warning(5) + Stop(kNoEnd)},
      {"a byte-order mark alone", "\xEF\xBB\xBF", Stop(kNoEnd)},
      {"a byte-order mark before end", "\xEF\xBB\xBF" "end\n", kFarePrimont + Stop("firms must be > 0 \n")},
      {"unknown command on line 101", Repeat("%\n", 100) + "Bogus\nend\n", Stop(kNoEnd)},
      {"empty lines repeat an unknown command past line 100", "Bogus\n" + Repeat("\n", 100) + "end\n",
       [] {
         std::string w;
         for (int line = 1; line <= 100; ++line) w += Warning(line);
         return w;
       }() + Stop(kNoEnd)},
      {"two families", kCounts + "Prices\nPaasche\nFisher\nend\n", Stop(families)},
      {"two distance-based families", kCounts + "Malmquist-hs\nHicksMoorsteen\nend\n", Stop(families)},
      {"Lowe and Fare-Primont", kCounts + "Prices\nLowe\nFarePrimont\nend\n", Stop(families)},
      {"Laspeyres without prices", kCounts + "Laspeyres\nend\n", Stop(price)},
      {"Paasche without prices", kCounts + "Paasche\nend\n", Stop(price)},
      {"Fisher without prices", kCounts + "Fisher\nend\n", Stop(price)},
      {"Lowe without prices", kCounts + "Lowe\nend\n", Stop(price)},
      {"two families win over missing prices", kCounts + "Lowe\nFisher\nend\n", Stop(families)},
      {"no counts at all", "end\n", kFarePrimont + Stop("firms must be > 0 \n")},
      {"Firms 0", "Firms 0\nPeriods 3\nOutputs 2\nInputs 2\nend\n", kFarePrimont + Stop("firms must be > 0 \n")},
      {"Firms -5", "Firms -5\nPeriods 3\nOutputs 2\nInputs 2\nend\n", kFarePrimont + Stop("firms must be > 0 \n")},
      {"Periods missing", "Firms 5\nOutputs 2\nInputs 2\nend\n", kFarePrimont + Stop("periods must be > 0 \n")},
      {"Periods 0", "Firms 5\nPeriods 0\nOutputs 2\nInputs 2\nend\n", kFarePrimont + Stop("periods must be > 0 \n")},
      {"Outputs missing", "Firms 5\nPeriods 3\nInputs 2\nend\n", kFarePrimont + Stop("outputs must be > 0 \n")},
      {"Inputs missing", "Firms 5\nPeriods 3\nOutputs 2\nend\n", kFarePrimont + Stop("inputs must be > 0 \n")},
      {"Inputs -1", "Firms 5\nPeriods 3\nOutputs 2\nInputs -1\nend\n", kFarePrimont + Stop("inputs must be > 0 \n")},
      {"Firms checked before Periods", "Outputs 2\nInputs 2\nend\n", kFarePrimont + Stop("firms must be > 0 \n")},
      {"counts checked before ranges", "Periods 3\nOutputs 2\nInputs 2\nWindow 0\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n"
       " Period-t technology estimated using data from 0 periods\n Variable returns to scale\n" +
           Stop("firms must be > 0 \n")},
      {"Window 0", kCounts + "Window 0\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n"
       " Period-t technology estimated using data from 0 periods\n Variable returns to scale\n" +
           Stop(window)},
      {"Window above the periods", kCounts + "Window 4\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n"
       " Period-t technology estimated using data from 4 periods\n Variable returns to scale\n" +
           Stop(window)},
      {"Window -1", kCounts + "Window -1\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n"
       " Period-t technology estimated using data from -1 periods\n Variable returns to scale\n" +
           Stop(window)},
      {"Window above the periods with NoTechRegress", kCounts + "NoTechRegress\nWindow 4\nend\n",
       "\n Fare-Primont indexes \n No technical regress\n No technical change in periods 1 to 4 \n"
       " Variable returns to scale\n" +
           Stop(window)},
      {"Base 0 for Fare-Primont", kCounts + "Base 0\nend\n", kFarePrimont + Stop(base)},
      {"Base above NT for Fare-Primont", kCounts + "Base 16\nend\n", kFarePrimont + Stop(base)},
      {"Base -1 for Fare-Primont", kCounts + "Base -1\nend\n", kFarePrimont + Stop(base)},
      {"Base above NT for Lowe", kCounts + "Prices\nBase 16\nend\n",
       "\n Lowe indexes \n Technical regress allowed\n Variable returns to scale\n" + Stop(base)},
      {"Window checked before Base", kCounts + "Window 4\nBase 0\nend\n",
       "\n Fare-Primont indexes \n Technical regress allowed\n"
       " Period-t technology estimated using data from 4 periods\n Variable returns to scale\n" +
           Stop(window)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ConsoleOfStoppedCommands(c.text), c.console);
  }
}

TEST(CommandSectionStops, ObservationLimit) {
  // 5000 observations are accepted (see CommandTable); one more is not. The
  // counts are printed before the message, which has no line end.
  const struct {
    long long firms, periods;
  } cases[] = {
      {1667, 3},     // 5001
      {100, 51},     // 5100
      {5001, 2},     // 10002
      {65536, 65536},  // 2^32, 0 in 32-bit arithmetic
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.firms) + " x " + std::to_string(c.periods));
    const std::string text = "Firms " + std::to_string(c.firms) + "\nPeriods " + std::to_string(c.periods) +
                             "\nOutputs 2\nInputs 3\nend\n";
    EXPECT_EQ(ConsoleOfStoppedCommands(text), kFarePrimont + Counts(c.periods, c.firms, 2, 3) + kLimit);
  }
  EXPECT_EQ(ConsoleOfStoppedCommands("Firms 5001\nPeriods 1\nOutputs 1\nInputs 1\nend\n"),
            kFarePrimont + "\n WARNING: number of periods = 1 \n " + Counts(1, 5001, 1, 1) + kLimit);
}

TEST(CommandSectionStops, HugePanelsStopBeforeAnyStorageIsSized) {
  // Through the whole reader: the limit stops the run before SetUpProblem,
  // so no storage is asked for (a square LP matrix of 2^31 rows could not be
  // had) and nothing after the end line is read.
  const std::string dir = MakeTestDirectory("huge");
  const struct {
    long long firms, periods;
  } cases[] = {
      {65536, 32768},            // 2^31, negative in 32-bit arithmetic
      {100000, 10000},           // 10^9
      {1000000000, 1000000000},  // 10^18
      {2147483647, 2147483647},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.firms) + " x " + std::to_string(c.periods));
    const std::string path = dir + "/huge" + std::to_string(++serial) + "_input.csv";
    WriteWholeFile(path, "Firms " + std::to_string(c.firms) + "\nPeriods " + std::to_string(c.periods) +
                             "\nOutputs 1\nInputs 1\nBase " + std::to_string(c.firms) +
                             "\nend\nobs,firm,year,q,x\nnot a row\n");
    const std::string console = ConsoleOfStop([&] {
      AnalysisRecord record;
      return ReadInputFile(record, path);
    });
    EXPECT_EQ(console, kFarePrimont + Counts(c.periods, c.firms, 1, 1) + kLimit);
  }
}

TEST(CommandSectionStops, UnreadableInputFile) {
  const std::string dir = MakeTestDirectory("unreadable");
  const std::string console = ConsoleOfStop([&] {
    AnalysisRecord record;
    return ReadInputFile(record, dir + "/missing_input.csv");
  });
  EXPECT_EQ(console, Stop("unable to open the input file. \n"));
}

TEST(CommandSectionStops, TheCheckerSeesAReaderThatGoesOn) {
  // Negative control for the helper: a section that is accepted must not
  // pass as a stop.
  EXPECT_NONFATAL_FAILURE(ConsoleOfStoppedCommands(kCounts + "end\n"), "");
}

}  // namespace
