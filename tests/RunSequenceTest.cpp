// The run's file handling, the error log and the fatal stop.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "core/FatalStop.h"
#include "app/RunSequence.h"
#include "tests/TestSupport.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "koru_runseq_" + name;
}

struct NameCase {
  const char* chosen;
  const char* base;
  const char* levels;
  const char* errorLog;
};

TEST(DeriveFileNames, DropsTheLastTenCharactersWhateverTheyAre) {
  const NameCase cases[] = {
      {"C:\\data\\farm_input.csv", "C:\\data\\farm", "C:\\data\\farm_output_levels.csv",
       "C:\\data\\farm_output_xxerrors.txt"},
      // A name not ending in "_input.csv" still loses ten characters.
      {"C:\\data\\farm.csv", "C:\\dat", "C:\\dat_output_levels.csv", "C:\\dat_output_xxerrors.txt"},
      {"_input.csv", "", "_output_levels.csv", "_output_xxerrors.txt"},
  };
  for (const NameCase& c : cases) {
    RunFileNames names;
    ASSERT_TRUE(DeriveFileNames(c.chosen, names)) << c.chosen;
    EXPECT_EQ(names.base, c.base);
    EXPECT_EQ(names.input, std::string(c.base) + "_input.csv");
    EXPECT_EQ(names.indexes, std::string(c.base) + "_output_indexes.csv");
    EXPECT_EQ(names.levels, c.levels);
    EXPECT_EQ(names.shadowPrices, std::string(c.base) + "_output_shadowprices.csv");
    EXPECT_EQ(names.extras, std::string(c.base) + "_output_xtras.csv");
    EXPECT_EQ(names.errorLog, c.errorLog);
  }
}

TEST(DeriveFileNames, RefusesPathsShorterThanTenCharacters) {
  RunFileNames names;
  EXPECT_FALSE(DeriveFileNames("a.csv", names));
  EXPECT_FALSE(DeriveFileNames("", names));
  EXPECT_TRUE(DeriveFileNames("0123456789", names));
  EXPECT_EQ(names.base, "");
}

// The closing text by the tally: the note on programs solved again appears
// only when one of them was taken or the warning follows (so a run whose
// second solves all failed again prints what earlier versions printed), and
// --single-solve keeps the earlier wording.
TEST(RunEndWarning, NoteAndWordingFollowTheSecondSolves) {
  const std::string note2 = " NOTE: 2 linear programs solved again on a rescaled copy; 1 reached the optimum there.\n";
  const std::string noteFailedAgain =
      " NOTE: 13 linear programs solved again on a rescaled copy; 0 reached the optimum there.\n";
  const struct {
    const char* name;
    uint64_t solvedAgain, taken, failed, stoppedShort;
    int singleSolve;
    double mean;
    std::string start;  // the text starts so ("" : the whole text is empty)
    const char* contains;
  } cases[] = {
      {"every second solve failed again, means near 1", 13, 0, 13, 0, 0, 1.0, "", ""},
      {"one taken, nothing left", 2, 1, 1, 0, 0, 1.0, note2, ""},
      {"failed again with means off scale", 13, 0, 13, 0, 0, 1000.0, noteFailedAgain + " WARNING: ",
       "13 linear programs failed."},
      {"still stopped short", 2, 1, 0, 1, 0, 1.0, note2 + " WARNING: ", "may be wrong by far more than their last"},
      {"stopped short with --single-solve", 0, 0, 0, 1, 1, 1.0, " WARNING: ", "may be off in their last printed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AnalysisRecord record;
    record.OutputMeans = {c.mean};
    record.InputMeans = {1.0};
    record.SingleSolve = c.singleSolve;
    record.Tally.solvedAgain = c.solvedAgain;
    record.Tally.solvedAgainTaken = c.taken;
    record.Tally.failed = c.failed;
    record.Tally.stoppedShort = c.stoppedShort;
    if (c.stoppedShort > 0) record.Tally.shortStops.push_back(ProgramNote{"Determining DItss, Obs 19 ", 0, 1e-3});
    const std::string text = RunEndWarning(record);
    if (c.start.empty()) {
      EXPECT_EQ(text, "");
    } else {
      EXPECT_EQ(text.substr(0, c.start.size()), c.start) << text;
    }
    EXPECT_NE(text.find(c.contains), std::string::npos) << text;
  }
}

TEST(ErrorLog, WritesEntriesWithTheirLabel) {
  std::string path = TempPath("entries.txt");
  {
    ErrorLog log(path);
    ASSERT_TRUE(log.HasFile());
    log.SetContext("Determining DOttt, Obs %d ", 31);
    log.AddEntry(0, " LP error: code = 3 ");
    // The label stays until it is replaced.
    log.AddEntry(0, " LP error: code = -1 ");
    log.SetContext("Determining DO000, Obs %d ", 0);
    log.AddEntry(1, "text");
  }
  EXPECT_EQ(ReadFile(path),
            "Determining DOttt, Obs 31 , EHL 0 :  LP error: code = 3 \n\n"
            "Determining DOttt, Obs 31 , EHL 0 :  LP error: code = -1 \n\n"
            "Determining DO000, Obs 0 , EHL 1 : text\n\n");
}

TEST(ErrorLog, IsEmptyWhenNothingFailedAndDropsEntriesWithoutAFile) {
  std::string path = TempPath("empty.txt");
  { ErrorLog log(path); }
  EXPECT_EQ(ReadFile(path), "");

  testing::internal::CaptureStdout();
  ErrorLog missing("/nonexistent-dir/koru_output_xxerrors.txt");
  missing.AddEntry(0, "dropped");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error opening an error file : /nonexistent-dir/koru_output_xxerrors.txt\n");
  EXPECT_FALSE(missing.HasFile());
}

TEST(ErrorLog, LongLabelsAreCutToTheBuffer) {
  std::string path = TempPath("long.txt");
  {
    ErrorLog log(path);
    log.SetContext("%s", std::string(5000, 'x').c_str());
    EXPECT_EQ(std::string(log.Context()).size(), ErrorLog::kTextCapacity - 1);
  }
}

TEST(FatalStop, PrintsItsMessageWaitsAndReturnsFalse) {
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);  // the wait reads nothing
  testing::internal::CaptureStdout();
  EXPECT_FALSE(FatalStop("firms must be > 0 \n"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n ERROR: firms must be > 0 \n \n Press ENTER to terminate.\n");
}

TEST(ErrorLog, LevelTwoEntryIsRememberedForTheCriticalStop) {
  std::string path = TempPath("critical.txt");
  {
    ErrorLog log(path);
    log.AddEntry(0, "not critical");
    EXPECT_FALSE(log.HasCriticalEntry());
    log.AddEntry(2, "critical");
    EXPECT_TRUE(log.HasCriticalEntry());
    ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(log.CriticalStop());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Critical Exit now occuring, refer to error log\n");
  }
  EXPECT_EQ(ReadFile(path), ", EHL 0 : not critical\n\n, EHL 2 : critical\n\n");
}

// The report of the shipped example, written by a run with the report option:
// the page parses as HTML5 (html5lib, strict) and every SVG picture in it is
// well-formed XML (xmllint); the result files and the error log are those of
// a run of the program without the option, which writes no report.
TEST(ReportFile, ExampleReportIsHtml5WithWellFormedSvgAndChangesNoOtherFile) {
  const char* tools = "/usr/bin/python3 -c 'import html5lib' >/dev/null 2>&1 && command -v xmllint >/dev/null 2>&1";
  if (std::system(tools) != 0) GTEST_SKIP() << "python3-html5lib or xmllint is not installed";
  const std::string example = ReadFile(std::string(KORU_SOURCE_DIR) + "/examples/us_states_input.csv");
  ASSERT_FALSE(example.empty());
  const std::string plain = MakeTestDirectory("report_plain") + "/us_states";
  const std::string reported = MakeTestDirectory("report_written") + "/us_states";
  WriteWholeFile(plain + "_input.csv", example);
  WriteWholeFile(reported + "_input.csv", example);
  ASSERT_EQ(RunKoruProcess("'" + plain + "_input.csv'").exitStatus, 0);
  EXPECT_FALSE(FileExists(plain + "_output_report.html"));

  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);  // the closing prompt reads nothing
  RunOptions options;
  options.report = true;
  ASSERT_EQ(RunKoru(reported + "_input.csv", options), 0);
  for (const char* suffix : {"_output_indexes.csv", "_output_levels.csv", "_output_shadowprices.csv",
                             "_output_xtras.csv", "_output_xxerrors.txt"})
    EXPECT_EQ(ReadFile(reported + suffix), ReadFile(plain + suffix)) << suffix;

  const std::string page = reported + "_output_report.html";
  ASSERT_TRUE(FileExists(page));
  const std::string check =
      "/usr/bin/python3 -c '\n"
      "import re, subprocess, sys, html5lib\n"
      "data = open(sys.argv[1], \"rb\").read()\n"
      "html5lib.HTMLParser(strict=True).parse(data)\n"
      "svgs = re.findall(rb\"<svg.*?</svg>\", data, re.S)\n"
      "assert len(svgs) >= 3, len(svgs)\n"
      "for svg in svgs:\n"
      "    subprocess.run([\"xmllint\", \"--noout\", \"-\"], input=svg, check=True)\n"
      "' '" + page + "'";
  EXPECT_EQ(std::system(check.c_str()), 0);
}

}  // namespace
