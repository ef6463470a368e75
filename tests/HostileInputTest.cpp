// Hostile input files, run through the real executable. Every file a user can
// hand KORU, however broken, must end in one of the program's own outcomes:
// a complete run, a run whose failed programs are reported on the console
// and in the error log (their measures -9999, every other value as in a
// sound file), or a fatal stop / READ ERROR / warning with its exact text,
// with exit status 0 for a finished run and 1 for a stop. Never a crash, a hang, an allocation the size
// of the counts, or a number computed from garbage.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

namespace {

// ---------------------------------------------------------------------------
// Console texts

const std::string kBanner = "\n KORU Version 3.1 Professional\n\n Press ENTER to continue . . .\n";
const std::string kFinished = "\n Processing finished. Press ENTER to exit.\n";
const std::string kNoEnd = "more than 100 lines have been read and no end command found. \n";
const std::string kLimit =
    " ERROR: number of observations exceeds maximum for this compilation of KORU = 5000\n\n Press ENTER to terminate.";
const std::string kBadNumbers = " Bad input tableau in simplx, entries must be numbers.\n LP error: code = 2 \n";
const std::string kOutputFileError = "\n ERROR: unable to open an output file. \n\n Press ENTER to terminate.\n";
const std::string kPeriodsOne = "\n WARNING: number of periods = 1 \n ";

std::string Stop(const std::string& message) { return "\n ERROR: " + message + " \n Press ENTER to terminate.\n"; }

std::string Warning(int line) { return "\n WARNING: ignored unknown command in line " + std::to_string(line) + " \n "; }

std::string ReadError(int row) {
  return "\n READ ERROR: index in data file = " + std::to_string(row) +
         ".  Check numbers of inputs and\n outputs. Include a Prices command if and only if the input file"
         "\n contains prices. \n\n Press ENTER to terminate.\n";
}

std::string Summary(const std::string& family) {
  return "\n " + family + " indexes \n Technical regress allowed\n Variable returns to scale\n";
}

std::string Counts(long long periods, long long firms, long long outputs, long long inputs) {
  return "\n Number of Periods = " + std::to_string(periods) + "\n Number of Firms   = " + std::to_string(firms) +
         "\n Number of Outputs = " + std::to_string(outputs) + "\n Number of Inputs  = " + std::to_string(inputs) +
         "\n\n";
}

// The six set headings of a run without prices, each followed by the console
// lines of the programs that failed in that set.
std::string Sets(const std::string& set1 = "", const std::string& set2 = "", const std::string& set3 = "") {
  return " Computing Set 1: OTE, OSE, ITE, ISE \n" + set1 + " Computing Set 2: Q, QBAR, X, XBAR \n" + set2 +
         " Computing Set 3: QHAT, XHAT \n" + set3 +
         " Computing Set 4: TFP, TFP* \n"
         " Computing Set 5: TFPE, OME, ROSE, OSME, IME, RISE, ISME, RME \n"
         " Computing Set 6: Indexes \n";
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// ---------------------------------------------------------------------------
// Panels

// Three firms in one period (the worked example whose result files the
// end-to-end tests pin by hand): Fare-Primont, variable returns to scale.
const std::string kThreeFirmsCounts = "Firms 3\nPeriods 1\nOutputs 1\nInputs 1\n";
const std::string kThreeFirmsData = "obs,firm,year,y,x\n1,1,2001,1,2\n2,2,2001,2,2\n3,3,2001,3,4\n";
const std::string kThreeFirms = kThreeFirmsCounts + "end\n" + kThreeFirmsData;
const std::string kThreeFirmsRun = Summary("Fare-Primont") + kPeriodsOne + Counts(1, 3, 1, 1) + Sets() + kFinished;

// Two firms in two periods, Malmquist-hs; the output of firm 1 in period 2
// (observation 3) is given as `y3`.
std::string TwoByTwo(const std::string& y3) {
  return "Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nMalmquist-hs\nend\nobs,firm,year,y,x\n"
         "1,1,1,1,2\n2,2,1,2,2\n3,1,2," +
         y3 + ",1\n4,2,2,2,2\n";
}

// ---------------------------------------------------------------------------
// Running a file

const char* const kSuffixes[] = {"_output_indexes.csv", "_output_levels.csv", "_output_shadowprices.csv",
                                 "_output_xtras.csv", "_output_xxerrors.txt"};

// A result file's text; a name that is no regular file (a directory, a
// device such as /dev/full, which reads as endless zeros) reads as nothing.
std::string ReadResultFile(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
  return ReadWholeFile(path);
}

struct HostileRun {
  KoruRun run;
  std::string base;
  std::string console;  // what follows the banner and the input-file line
  std::string indexes, levels, shadowPrices, extras, errors;
};

// Writes `text` as <dir>/<name>_input.csv and runs koru on it, with `options`
// before the path. `prepare` may place things beside the input before the run.
HostileRun RunFile(const std::string& name, const std::string& text, const std::string& shellPrefix = "",
                   const std::string& prepare = "", const std::string& options = "") {
  HostileRun result;
  const std::string dir = MakeTestDirectory(name);
  result.base = dir + "/" + name;
  WriteWholeFile(result.base + "_input.csv", text);
  if (!prepare.empty()) {
    const std::string command = "cd '" + dir + "' && " + prepare;
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "cannot prepare: " << prepare;
  }
  result.run = RunKoruProcess(options + "'" + result.base + "_input.csv'", "", shellPrefix);
  const std::string head = kBanner + "\n Input file:  " + result.base + "_input.csv\n";
  if (result.run.console.compare(0, head.size(), head) == 0)
    result.console = result.run.console.substr(head.size());
  else
    result.console = "<no banner and input line> " + result.run.console;
  result.indexes = ReadResultFile(result.base + "_output_indexes.csv");
  result.levels = ReadResultFile(result.base + "_output_levels.csv");
  result.shadowPrices = ReadResultFile(result.base + "_output_shadowprices.csv");
  result.extras = ReadResultFile(result.base + "_output_xtras.csv");
  result.errors = ReadResultFile(result.base + "_output_xxerrors.txt");
  return result;
}

// Writes "earlier<suffix>" into the five result files of `name`, as a
// preparation command for RunFile: the results of an earlier run.
std::string EarlierResults(const std::string& name) {
  std::string command = "true";
  for (const char* suffix : kSuffixes)
    command += std::string(" && printf 'earlier%s' ") + suffix + " > '" + name + suffix + "'";
  return command;
}

// A run that stopped left the earlier results as they were, and nothing
// else beside the input: no temporary file.
void ExpectEarlierOutputs(const HostileRun& r) {
  std::string listing = r.base.substr(r.base.rfind('/') + 1) + "_input.csv ";
  for (const char* suffix : kSuffixes) {
    EXPECT_EQ(ReadResultFile(r.base + suffix), std::string("earlier") + suffix) << suffix;
    listing += r.base.substr(r.base.rfind('/') + 1) + suffix + " ";
  }
  EXPECT_EQ(FolderListing(r.base.substr(0, r.base.rfind('/'))), listing);
}

// The table rows of a result file: the lines that begin with an observation
// number, split at the commas, every field without its surrounding blanks.
std::vector<std::vector<std::string>> Rows(const std::string& file) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(file);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] < '0' || line[0] > '9') continue;
    std::vector<std::string> fields;
    std::istringstream parts(line);
    std::string field;
    while (std::getline(parts, field, ',')) {
      const auto first = field.find_first_not_of(' ');
      const auto last = field.find_last_not_of(' ');
      fields.push_back(first == std::string::npos ? "" : field.substr(first, last - first + 1));
    }
    rows.push_back(fields);
  }
  return rows;
}

// The column titles of the levels file (its fourth line), without blanks.
std::vector<std::string> LevelTitles(const std::string& levels) {
  std::istringstream lines(levels);
  std::string line;
  for (int i = 0; i < 4; ++i) std::getline(lines, line);
  std::vector<std::string> titles;
  std::istringstream parts(line);
  std::string title;
  while (std::getline(parts, title, ',')) {
    title.erase(std::remove(title.begin(), title.end(), ' '), title.end());
    titles.push_back(title);
  }
  return titles;
}

// The levels value of observation `obs` (1-based) under column `title`.
std::string Level(const std::string& levels, int obs, const std::string& title) {
  const std::vector<std::string> titles = LevelTitles(levels);
  const auto rows = Rows(levels);
  const auto at = std::find(titles.begin(), titles.end(), title);
  if (at == titles.end() || obs < 1 || static_cast<std::size_t>(obs) > rows.size()) return "<none>";
  const std::size_t column = static_cast<std::size_t>(at - titles.begin());
  return column < rows[obs - 1].size() ? rows[obs - 1][column] : "<none>";
}

// Row `obs` (1-based) of a result file, as written.
std::string RowText(const std::string& file, int obs) {
  std::istringstream lines(file);
  std::string line;
  const std::string start = std::to_string(obs) + ",";
  while (std::getline(lines, line))
    if (line.compare(0, start.size(), start) == 0) return line;
  return "<no row " + std::to_string(obs) + ">";
}

// Address space for runs that must stop before any storage is sized: far
// below what a panel of the refused size would ask for. Not under the
// sanitizers, which reserve terabytes of address space themselves.
#if defined(__SANITIZE_ADDRESS__)
const std::string kSmallAddressSpace = "";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const std::string kSmallAddressSpace = "";
#else
const std::string kSmallAddressSpace = "ulimit -v 1048576; ";
#endif
#else
const std::string kSmallAddressSpace = "ulimit -v 1048576; ";
#endif

struct StopCase {
  const char* name;
  std::string text;
  std::string console;
};

void CheckStops(const std::vector<StopCase>& cases, const std::string& shellPrefix = "") {
  int serial = 0;
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = "stop" + std::to_string(++serial);
    const HostileRun r = RunFile(name, c.text, shellPrefix, EarlierResults(name));
    EXPECT_EQ(r.run.exitStatus, 1);
    EXPECT_EQ(r.console, c.console);
    ExpectEarlierOutputs(r);
  }
}

// ---------------------------------------------------------------------------
// The command section

// Bytes 0x00-0x09 and 0x80-0xFF only: no line end, no letter, no blank that
// could start a keyword. Each 999 bytes are read as one line.
std::string BinaryGarbage(std::size_t size) {
  std::string bytes;
  unsigned state = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    state = state * 1103515245u + 12345u;
    const unsigned r = (state >> 16) % 138;
    bytes += static_cast<char>(r < 10 ? r : 0x80 + (r - 10));
  }
  return bytes;
}

TEST(HostileInput, CommandSectionStops) {
  const std::string data = kThreeFirmsData;
  const std::string comments = "% a comment line\n";
  CheckStops({
      {"empty file", "", Stop(kNoEnd)},
      // 4096 bytes: four lines of 999 bytes and one of 100, each an unknown
      // command; then the end of the file.
      {"binary garbage", BinaryGarbage(4096),
       Warning(1) + Warning(2) + Warning(3) + Warning(4) + Warning(5) + Stop(kNoEnd)},
      // Without an end command the header and the rows are read as commands.
      {"no end command", kThreeFirmsCounts + data,
       Warning(5) + Warning(6) + Warning(7) + Warning(8) + Stop(kNoEnd)},
      {"101 lines without an end command", kThreeFirmsCounts + Repeat(comments, 97), Stop(kNoEnd)},
      {"unknown command on line 101", kThreeFirmsCounts + Repeat(comments, 96) + "Bogus\nend\n" + data,
       Stop(kNoEnd)},
      {"Firms 0", "Firms 0\nPeriods 1\nOutputs 1\nInputs 1\nend\n" + data,
       Summary("Fare-Primont") + kPeriodsOne + Stop("firms must be > 0 \n")},
      {"Periods -3", "Firms 3\nPeriods -3\nOutputs 1\nInputs 1\nend\n" + data,
       Summary("Fare-Primont") + Stop("periods must be > 0 \n")},
      {"Base beyond the observations", kThreeFirmsCounts + "Base 4\nend\n" + data,
       Summary("Fare-Primont") + kPeriodsOne + Stop("base must be between 1 and the number of observations \n")},
      {"Base 0", kThreeFirmsCounts + "Base 0\nend\n" + data,
       Summary("Fare-Primont") + kPeriodsOne + Stop("base must be between 1 and the number of observations \n")},
      {"Window beyond the periods", kThreeFirmsCounts + "Window 2\nend\n" + data,
       "\n Fare-Primont indexes \n Technical regress allowed\n"
       " Period-t technology estimated using data from 2 periods\n Variable returns to scale\n" +
           kPeriodsOne + Stop("window must be between 1 and the number of periods \n")},
  });
}

TEST(HostileInput, HugeCountsStopBeforeAnyStorageIsSized) {
  // Each stop comes before SetUpProblem; the run has one gigabyte of address
  // space, far less than a panel of these counts would need.
  const std::string data = kThreeFirmsData;
  const std::string summary = Summary("Fare-Primont");
  CheckStops(
      {
          // 2^31 is beyond the 32-bit range; it is held to 2147483647.
          {"Outputs 2^31", "Firms 3\nPeriods 2\nOutputs 2147483648\nInputs 1\nend\n" + data,
           summary + Stop("outputs must be <= 5000 \n")},
          {"Inputs 10^9", "Firms 3\nPeriods 2\nOutputs 1\nInputs 1000000000\nend\n" + data,
           summary + Stop("inputs must be <= 5000 \n")},
          {"Firms 10^9", "Firms 1000000000\nPeriods 2\nOutputs 1\nInputs 1\nend\n" + data,
           summary + Counts(2, 1000000000, 1, 1) + kLimit},
          // 10^18 observations: the limit test is made in 64 bits.
          {"Firms and Periods 10^9", "Firms 1000000000\nPeriods 1000000000\nOutputs 1\nInputs 1\nend\n" + data,
           summary + Counts(1000000000, 1000000000, 1, 1) + kLimit},
          {"Firms 2^31", "Firms 2147483648\nPeriods 2\nOutputs 1\nInputs 1\nend\n" + data,
           summary + Counts(2, 2147483647, 1, 1) + kLimit},
          {"5001 observations", "Firms 1\nPeriods 5001\nOutputs 1\nInputs 1\nend\n" + data,
           summary + Counts(5001, 1, 1, 1) + kLimit},
          {"Outputs 5001", "Firms 3\nPeriods 2\nOutputs 5001\nInputs 1\nend\n" + data,
           summary + Stop("outputs must be <= 5000 \n")},
      },
      kSmallAddressSpace);
}

TEST(HostileInputRegression, OutputsOfOneBillionStopInsteadOfAskingForGigabytes) {
  // Outputs 1000000000 passed every check and SetUpProblem asked for vectors
  // of 10^9 doubles each: the run ended in std::bad_alloc (or took the
  // machine's memory). Now it stops before any storage is sized.
  CheckStops({{"Outputs 10^9 with a small panel", "Firms 3\nPeriods 1\nOutputs 1000000000\nInputs 1\nend\n" +
                                                      kThreeFirmsData,
               Summary("Fare-Primont") + kPeriodsOne + Stop("outputs must be <= 5000 \n")}},
             kSmallAddressSpace);
}

TEST(HostileInputRegression, CountBeyond32BitsIsNotReadAsASmallNumber) {
  // "%d" wrapped 4294967298 to 2: the file below ran as a complete panel of
  // two firms. Now the count is held to 2147483647 and refused.
  CheckStops({{"Firms 2^32 + 2", "Firms 4294967298\nPeriods 1\nOutputs 1\nInputs 1\nend\nobs,firm,year,y,x\n"
                                 "1,1,1,1,1\n2,2,1,2,1\n",
               Summary("Fare-Primont") + kPeriodsOne + Counts(1, 2147483647, 1, 1) + kLimit}},
             kSmallAddressSpace);
}

// ---------------------------------------------------------------------------
// The data section

TEST(HostileInput, DataSectionStops) {
  const std::string head = Summary("Fare-Primont") + kPeriodsOne;
  std::string longHeader = "obs,firm,year,y,x";
  while (longHeader.size() < 100000) longHeader += ",note";
  longHeader.resize(100000);
  CheckStops({
      // The header is read with room for 19999 characters; the rest of it
      // is read as the first row, whose number is then missing.
      {"header of 100000 characters", kThreeFirmsCounts + "end\n" + longHeader + "\n1,1,2001,1,2\n",
       head + ReadError(1)},
      // "2001 ," leaves the comma where the next number is expected: no
      // further value is read, and row 2 has no number.
      {"blank before a comma", kThreeFirmsCounts + "end\nobs,firm,year,y,x\n1,1,2001 ,1,2\n2,2,2001,2,2\n",
       head + ReadError(2)},
      {"fewer rows than declared", kThreeFirmsCounts + "end\nobs,firm,year,y,x\n1,1,2001,1,2\n2,2,2001,2,2\n",
       head + ReadError(3)},
      // Row 1's prices are read as row 2's number ("0.5" gives 0).
      {"prices without the Prices command",
       kThreeFirmsCounts + "end\nobs,firm,year,y,x,p,w\n1,1,2001,1,2,0.5,0.7\n2,2,2001,2,2,0.5,0.7\n",
       head + ReadError(2)},
      // Row 2's number and firm are read as row 1's prices, its year as the
      // number of row 2.
      {"the Prices command without prices", kThreeFirmsCounts + "Prices\nend\n" + kThreeFirmsData,
       Summary("Lowe") + kPeriodsOne + ReadError(2)},
  });
}

TEST(HostileInputRegression, RowNumberBeyond32BitsIsNotReadAsRowOne) {
  // "%d" wrapped 4294967297 to 1, so the row passed as row 1.
  CheckStops({{"row 2^32 + 1", kThreeFirmsCounts + "end\nobs,firm,year,y,x\n4294967297,1,2001,1,2\n",
               Summary("Fare-Primont") + kPeriodsOne + ReadError(1)}});
}

// ---------------------------------------------------------------------------
// Files that run like the sound file

TEST(HostileInput, CompleteRunsGiveTheSoundFilesResults) {
  const HostileRun sound = RunFile("sound", kThreeFirms);
  ASSERT_EQ(sound.run.exitStatus, 0);
  ASSERT_EQ(sound.console, kThreeFirmsRun);
  ASSERT_EQ(sound.errors, "");

  std::string crlf;
  for (char c : kThreeFirms) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string comments = "% a comment line\n";
  const struct {
    const char* name;
    std::string text;
    std::string console;
  } cases[] = {
      {"CRLF line ends", crlf, kThreeFirmsRun},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF" + kThreeFirms, kThreeFirmsRun},
      // 5000 characters and the line end are read as six lines: five of 999
      // characters and one of 5.
      {"keyword of 5000 characters", std::string(5000, 'K') + "\n" + kThreeFirms,
       Warning(1) + Warning(2) + Warning(3) + Warning(4) + Warning(5) + Warning(6) + kThreeFirmsRun},
      {"unknown command on line 100",
       kThreeFirmsCounts + Repeat(comments, 95) + "Bogus\nend\n" + kThreeFirmsData, Warning(100) + kThreeFirmsRun},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HostileRun r = RunFile("complete" + std::to_string(++serial), c.text);
    EXPECT_EQ(r.run.exitStatus, 0);
    EXPECT_EQ(r.console, c.console);
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(r.indexes, sound.indexes);
    EXPECT_EQ(r.levels, sound.levels);
    EXPECT_EQ(r.shadowPrices, sound.shadowPrices);
    EXPECT_EQ(r.extras, sound.extras);
  }
}

TEST(HostileInput, FiveThousandObservationsRun) {
  // One firm in 5000 periods, every observation y = x = 1: every efficiency,
  // aggregate and index is 1 and every observation attains TFP*.
  std::string text = "Firms 1\nPeriods 5000\nOutputs 1\nInputs 1\nMalmquist-hs\nend\nobs,firm,year,y,x\n";
  for (int o = 1; o <= 5000; ++o) text += std::to_string(o) + ",1," + std::to_string(o) + ",1,1\n";
  const HostileRun r = RunFile("limit", text);
  EXPECT_EQ(r.run.exitStatus, 0);
  EXPECT_EQ(r.console, Summary("Malmquist-hs") + Counts(5000, 1, 1, 1) + Sets() + kFinished);
  EXPECT_EQ(r.errors, "");

  const auto levels = Rows(r.levels);
  ASSERT_EQ(levels.size(), 5000u);
  for (std::size_t o = 0; o < levels.size(); ++o) {
    ASSERT_EQ(levels[o].size(), 20u) << "observation " << o + 1;
    EXPECT_EQ(levels[o][0], std::to_string(o + 1));
    for (std::size_t f = 3; f < 19; ++f) EXPECT_EQ(levels[o][f], "1.0000") << "observation " << o + 1;
    EXPECT_EQ(levels[o][19], "max");
  }
  const auto indexes = Rows(r.indexes);
  ASSERT_EQ(indexes.size(), 5000u);
  EXPECT_EQ(indexes[0].size(), 3u);  // period 1 has no comparison observation
  for (std::size_t o = 1; o < indexes.size(); ++o) {
    ASSERT_EQ(indexes[o].size(), 19u) << "observation " << o + 1;
    for (std::size_t f = 3; f < 19; ++f) EXPECT_EQ(indexes[o][f], "1.0000") << "observation " << o + 1;
  }
}

// ---------------------------------------------------------------------------
// Values that are not quantities

// Every program of the two-by-two panel that holds observation 3's output:
// Set 1's four programs of observations 3 and 4 (period 2's technology holds
// it); Set 2's DOsts of observation 3 (normalisation u.y3 = 1; its DItss
// uses y1 and x3 and solves); Set 3's period-t programs of observations 3
// and 4 (period 2's technology). Observation 3's period-s QHAT takes its
// output weights from the failed DOsts: it is missing without a program of
// its own (its XHAT weights come from the DItss that solved).
std::string ErrorLogOfObservationThree(const std::string& code) {
  const char* const labels[] = {"DOttt, Obs 3", "HOttt, Obs 3", "primal DIttt, Obs 3", "HIttt, Obs 3",
                                "DOttt, Obs 4", "HOttt, Obs 4", "primal DIttt, Obs 4", "HIttt, Obs 4",
                                "DOsts, Obs 3", "XHATt, Obs 3", "QHATt, Obs 3", "XHATt, Obs 4",
                                "QHATt, Obs 4"};
  std::string log;
  for (const char* label : labels) log += std::string("Determining ") + label + " , EHL 0 :  LP error: code = " + code + " \n\n";
  return log;
}

// The rows of the observations the bad value does not reach (period 1) are
// those of the sound panel; Set 1's measures of period 2 are missing; the
// aggregates of observation 4 (its own data against period 1) are right.
void ExpectPeriodOneAsInTheSoundPanel(const HostileRun& r, const HostileRun& sound) {
  for (int obs = 1; obs <= 2; ++obs) {
    SCOPED_TRACE("observation " + std::to_string(obs));
    EXPECT_EQ(RowText(r.levels, obs), RowText(sound.levels, obs));
    EXPECT_EQ(RowText(r.indexes, obs), RowText(sound.indexes, obs));
    EXPECT_EQ(RowText(r.shadowPrices, obs), RowText(sound.shadowPrices, obs));
    EXPECT_EQ(RowText(r.extras, obs), RowText(sound.extras, obs));
  }
  EXPECT_EQ(Level(r.levels, 4, "Q"), Level(sound.levels, 4, "Q"));
  EXPECT_EQ(Level(r.levels, 4, "X"), Level(sound.levels, 4, "X"));
}

TEST(HostileInput, ValuesThatAreNotNumbersFailTheirProgramsOnly) {
  const HostileRun sound = RunFile("sound", TwoByTwo("1"));
  ASSERT_EQ(sound.run.exitStatus, 0);
  ASSERT_EQ(sound.console, Summary("Malmquist-hs") + Counts(2, 2, 1, 1) + Sets() + kFinished);
  ASSERT_EQ(sound.errors, "");

  // An infinite output mean is reported; a NaN mean compares as neither
  // small nor large.
  const std::string infiniteMean =
      "\n WARNING: An output variable has a mean of inf. \n"
      " WARNING: LPs may not solve.  Results may be unreliable.  Consider rescaling \n"
      " WARNING: the variables to have unit means (e.g., using the UnitMeans option). \n";
  // Observation 3's QHATs program (observation 1 against period 1, with
  // observation 3's weights) would hold a non-number only in its objective,
  // whose weights come from the failed DOsts program: it is not posed, and
  // its value is missing like that distance.
  const std::string failures =
      Sets(Repeat(kBadNumbers, 8), kBadNumbers, Repeat(kBadNumbers, 4)) + kFinished;
  const struct {
    const char* name;
    const char* value;
    std::string console;
  } cases[] = {
      {"nan", "nan", Summary("Malmquist-hs") + Counts(2, 2, 1, 1) + failures},
      {"inf", "inf", Summary("Malmquist-hs") + infiniteMean + Counts(2, 2, 1, 1) + failures},
      // Beyond the single-precision range: read as an infinity.
      {"1e40", "1e40", Summary("Malmquist-hs") + infiniteMean + Counts(2, 2, 1, 1) + failures},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const HostileRun r = RunFile("value" + std::to_string(++serial), TwoByTwo(c.value));
    EXPECT_EQ(r.run.exitStatus, 0);
    EXPECT_EQ(r.console, c.console);
    EXPECT_EQ(r.errors, ErrorLogOfObservationThree("2"));
    ExpectPeriodOneAsInTheSoundPanel(r, sound);
    for (int obs = 3; obs <= 4; ++obs)
      for (const char* title : {"OTE", "OSE", "ITE", "ISE"})
        EXPECT_EQ(Level(r.levels, obs, title), "-9999.0000") << title << " of observation " << obs;
  }
}

TEST(HostileInput, NegativeQuantityFailsOnlyItsOwnPrograms) {
  // y3 = -2. No output multiplier can give u.y3 = 1, so observation 3's
  // output-oriented programs (DOttt, HOttt, DOsts) are infeasible, and its
  // XHATt program has the right-hand side -2, which the solver refuses. A
  // point of negative output lies inside the free-disposal hull of
  // observation 4 (y = 2, x = 2), so no other observation's program fails.
  const HostileRun sound = RunFile("sound", TwoByTwo("1"));
  const HostileRun r = RunFile("negative", TwoByTwo("-2"));
  EXPECT_EQ(r.run.exitStatus, 0);
  const std::string head = Summary("Malmquist-hs") + Counts(2, 2, 1, 1) + " Computing Set 1: OTE, OSE, ITE, ISE \n" +
                           " LP error: code = -1 \n LP error: code = -1 \n Computing Set 2: Q, QBAR, X, XBAR \n" +
                           " LP error: code = -1 \n Computing Set 3: QHAT, XHAT \n" +
                           " Bad input tableau in simplx, Constants bi must be nonnegative.\n LP error: code = 2 \n";
  EXPECT_EQ(r.console.substr(0, head.size()), head);
  EXPECT_EQ(r.console.substr(r.console.size() - std::min(r.console.size(), kFinished.size())), kFinished);

  const std::string entry = " , EHL 0 :  LP error: code = ";
  std::istringstream log(r.errors);
  std::vector<std::string> entries;
  std::string line;
  while (std::getline(log, line))
    if (!line.empty()) entries.push_back(line);
  ASSERT_GE(entries.size(), 4u);
  EXPECT_EQ(entries[0], "Determining DOttt, Obs 3" + entry + "-1 ");
  EXPECT_EQ(entries[1], "Determining HOttt, Obs 3" + entry + "-1 ");
  EXPECT_EQ(entries[2], "Determining DOsts, Obs 3" + entry + "-1 ");
  EXPECT_EQ(entries[3], "Determining XHATt, Obs 3" + entry + "2 ");
  for (const std::string& e : entries) EXPECT_NE(e.find(", Obs 3 , EHL 0"), std::string::npos) << e;
  // One console line per failed program.
  std::size_t lines = 0;
  for (std::size_t at = r.console.find(" LP error: code = "); at != std::string::npos;
       at = r.console.find(" LP error: code = ", at + 1))
    ++lines;
  EXPECT_EQ(lines, entries.size());

  ExpectPeriodOneAsInTheSoundPanel(r, sound);
  EXPECT_EQ(Level(r.levels, 3, "OTE"), "-9999.0000");
  EXPECT_EQ(Level(r.levels, 3, "OSE"), "-9999.0000");
}

// Seven firms in three periods, Hicks-Moorsteen (every stage solves
// programs). Each `broken` entry replaces one value of observation o
// (1-based): field 0 the output y, 1 and 2 the inputs x1, x2.
struct BrokenValue {
  int o;
  int field;
  const char* value;
};

std::string SevenFirms(const std::vector<BrokenValue>& broken) {
  std::string text = "Firms 7\nPeriods 3\nOutputs 1\nInputs 2\nHicksMoorsteen\nend\nobs,firm,year,y,x1,x2\n";
  for (int o = 1; o <= 21; ++o) {
    const int firm = (o - 1) % 7 + 1, period = (o - 1) / 7 + 1;
    std::string fields[3] = {std::to_string(1 + (o * 5) % 9), std::to_string(2 + (o * 3) % 7),
                             std::to_string(1 + (o * 11) % 5)};
    for (const BrokenValue& b : broken)
      if (b.o == o) fields[b.field] = b.value;
    text += std::to_string(o) + "," + std::to_string(firm) + "," + std::to_string(2000 + period) + "," + fields[0] +
            "," + fields[1] + "," + fields[2] + "\n";
  }
  return text;
}

// Programs of one stage run on several workers; whatever their number, every
// console line, error-log entry and result must come out as from one worker,
// in program order, failed programs included. First a negative output, a
// value that is not a number and an observation of zero inputs spread over
// the periods; then five failing firms in one period, so that several tasks
// of the same stage write entries and the order in which the workers hand
// them over shows in the error log (run many times on 2 and 8 workers, as
// the order the tasks end in varies from run to run).
TEST(HostileInput, FailedProgramsComeOutTheSameOnAnyNumberOfWorkers) {
  struct Panel {
    const char* name;
    std::vector<BrokenValue> broken;
    std::vector<const char*> threads;
    int repeats;
  };
  const Panel panels[] = {
      {"spread", {{4, 0, "-2"}, {10, 1, "nan"}, {16, 1, "0"}, {16, 2, "0"}}, {"2", "3", "8"}, 1},
      {"oneperiod", {{8, 0, "-2"}, {9, 1, "nan"}, {11, 1, "0"}, {11, 2, "0"}, {12, 0, "-1"}, {14, 2, "nan"}},
       {"2", "8"}, 6},
  };
  for (const Panel& panel : panels) {
    SCOPED_TRACE(panel.name);
    const std::string text = SevenFirms(panel.broken);
    const HostileRun one = RunFile(std::string(panel.name) + "1", text, "", "", "--threads 1 ");
    ASSERT_EQ(one.run.exitStatus, 0);
    ASSERT_NE(one.errors, "");
    for (const BrokenValue& b : panel.broken) {
      EXPECT_NE(one.errors.find("Obs " + std::to_string(b.o) + " "), std::string::npos) << b.o << one.errors;
    }
    for (const char* threads : panel.threads) {
      for (int repeat = 0; repeat < panel.repeats; ++repeat) {
        SCOPED_TRACE(std::string("--threads ") + threads + ", run " + std::to_string(repeat + 1));
        const HostileRun r = RunFile(std::string(panel.name) + threads, text, "", "",
                                     std::string("--threads ") + threads + " ");
        EXPECT_EQ(r.run.exitStatus, 0);
        EXPECT_EQ(r.console, one.console);
        EXPECT_EQ(r.errors, one.errors);
        EXPECT_EQ(r.indexes, one.indexes);
        EXPECT_EQ(r.levels, one.levels);
        EXPECT_EQ(r.shadowPrices, one.shadowPrices);
        EXPECT_EQ(r.extras, one.extras);
      }
    }
  }
}

TEST(HostileInput, AllZeroInputOfOneVariable) {
  // A second input that is 0 everywhere adds v2 x 0 to every row, objective
  // and normalisation, and x2 w2 = 0 to every aggregate: the levels and
  // indexes are those of the panel without it. Its mean of 0 is no scaling
  // warning.
  const HostileRun sound = RunFile("sound", kThreeFirms);
  const std::string twoInputs = "Firms 3\nPeriods 1\nOutputs 1\nInputs 2\nend\nobs,firm,year,y,x1,x2\n"
                                "1,1,2001,1,2,0\n2,2,2001,2,2,0\n3,3,2001,3,4,0\n";
  const HostileRun r = RunFile("zero", twoInputs);
  EXPECT_EQ(r.run.exitStatus, 0);
  EXPECT_EQ(r.console, Summary("Fare-Primont") + kPeriodsOne + Counts(1, 3, 1, 2) + Sets() + kFinished);
  EXPECT_EQ(r.errors, "");
  EXPECT_EQ(r.levels, sound.levels);
  EXPECT_EQ(r.indexes, sound.indexes);

  // With UnitMeans the column is divided by its mean 0: every quantity of it
  // is NaN, so every program fails as bad input: 4 per observation in Set 1,
  // DO000 and DI000, XHATt and QHATt per observation in Set 3.
  std::string withUnitMeans = twoInputs;
  withUnitMeans.insert(withUnitMeans.find("end\n"), "UnitMeans\n");
  const HostileRun u = RunFile("zero_unitmeans", withUnitMeans);
  EXPECT_EQ(u.run.exitStatus, 0);
  EXPECT_EQ(u.console, "\n Fare-Primont indexes \n Technical regress allowed\n Variable returns to scale\n"
                       " Quantity variables have been re-scaled to have unit means\n" +
                           kPeriodsOne + Counts(1, 3, 1, 2) +
                           Sets(Repeat(kBadNumbers, 12), Repeat(kBadNumbers, 2), Repeat(kBadNumbers, 6)) + kFinished);
  std::size_t entries = 0;
  for (std::size_t at = u.errors.find("EHL 0 :  LP error: code = 2 \n\n"); at != std::string::npos;
       at = u.errors.find("EHL 0 :  LP error: code = 2 \n\n", at + 1))
    ++entries;
  EXPECT_EQ(entries, 20u);
  EXPECT_EQ(std::count(u.errors.begin(), u.errors.end(), '\n'), 40);
}

// ---------------------------------------------------------------------------
// Result files that cannot be written

TEST(HostileInput, ResultFilesThatCannotBeOpened) {
  // As root a read-only file is still writable, so a directory stands in for
  // a result file that cannot be opened for writing. The check comes before
  // anything is read, and the earlier results stay as they were.
  {
    SCOPED_TRACE("error log name taken by a directory");
    const HostileRun r = RunFile("readonly", kThreeFirms, "",
                                 EarlierResults("readonly") + " && rm readonly_output_xxerrors.txt && "
                                                              "mkdir readonly_output_xxerrors.txt");
    EXPECT_EQ(r.run.exitStatus, 1);
    EXPECT_EQ(r.console, kOutputFileError);
    for (const char* suffix : {"_output_indexes.csv", "_output_levels.csv", "_output_shadowprices.csv",
                               "_output_xtras.csv"})
      EXPECT_EQ(ReadResultFile(r.base + suffix), std::string("earlier") + suffix) << suffix;
    EXPECT_EQ(FolderListing(r.base.substr(0, r.base.rfind('/'))),
              "readonly_input.csv readonly_output_indexes.csv readonly_output_levels.csv "
              "readonly_output_shadowprices.csv readonly_output_xtras.csv readonly_output_xxerrors.txt ");
  }
  {
    SCOPED_TRACE("levels file in a directory that does not exist");
    const HostileRun r = RunFile("nodir", kThreeFirms, "", "ln -s missing/dir/levels.csv nodir_output_levels.csv");
    EXPECT_EQ(r.run.exitStatus, 1);
    EXPECT_EQ(r.console, kOutputFileError);
    EXPECT_EQ(FolderListing(r.base.substr(0, r.base.rfind('/'))), "nodir_input.csv nodir_output_levels.csv ");
  }
}

// A result file that cannot be written whole stops the run with status 1 and
// a message naming the file and the reason; the earlier results stay as they
// were and no temporary is left. On /dev/full (a device, written in place)
// every write fails; under a file-size limit (ulimit -f, in blocks of 512
// bytes, with SIGXFSZ ignored) the first file in writing order that is
// larger than the limit fails.
TEST(HostileInputRegression, ResultFileThatCannotBeWrittenStopsTheRun) {
  const HostileRun sound = RunFile("sound", kThreeFirms);
  ASSERT_EQ(sound.run.exitStatus, 0);
  const std::string soundFiles[] = {sound.indexes, sound.levels, sound.shadowPrices, sound.extras, sound.errors};
  std::string firstLarger;
  for (int f = 0; f < 5 && firstLarger.empty(); ++f)
    if (soundFiles[f].size() > 512) firstLarger = kSuffixes[f];
  ASSERT_FALSE(firstLarger.empty());

  const struct {
    const char* name;
    std::string prepare;
    std::string shellPrefix;
    std::string failing;  // the suffix of the file that fails
    const char* reason;
  } cases[] = {
      {"full", " && rm full_output_levels.csv && ln -s /dev/full full_output_levels.csv", "", "_output_levels.csv",
       "No space left on device"},
      {"limit", "", "trap '' XFSZ; ulimit -f 1; ", firstLarger, "File too large"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.failing == "_output_levels.csv" && !FileExists("/dev/full")) continue;
    const HostileRun r = RunFile(c.name, kThreeFirms, c.shellPrefix, EarlierResults(c.name) + c.prepare);
    EXPECT_EQ(r.run.exitStatus, 1);
    EXPECT_EQ(r.console, Summary("Fare-Primont") + kPeriodsOne + Counts(1, 3, 1, 1) + Sets() +
                             Stop("Unable to write " + r.base + c.failing + ": " + c.reason));
    std::string listing = std::string(c.name) + "_input.csv ";
    for (const char* suffix : kSuffixes) {
      listing += c.name + std::string(suffix) + " ";
      if (suffix != c.failing || c.prepare.empty()) {
        EXPECT_EQ(ReadResultFile(r.base + suffix), std::string("earlier") + suffix) << suffix;
      }
    }
    EXPECT_EQ(FolderListing(r.base.substr(0, r.base.rfind('/'))), listing);
  }
}

}  // namespace
