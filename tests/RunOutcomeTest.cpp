// Whole runs of the executable: file choice, file checks and early ends.
#include <string>

#include <gtest/gtest.h>

#include "tests/TestSupport.h"

namespace {

const char kBanner[] = "\n KORU Version 3.1 Professional\n\n Press ENTER to continue . . .\n";
const char kPrompt[] = " Input file (a name ending in _input.csv; an empty line cancels): ";

TEST(RunOutcome, CancellingTheFileChoiceEndsQuietly) {
  // End of input, then an empty line: both cancel with status 0 and nothing more.
  KoruRun atEnd = RunKoruProcess("");
  EXPECT_EQ(atEnd.exitStatus, 0);
  EXPECT_EQ(atEnd.console, std::string(kBanner) + kPrompt);

  KoruRun empty = RunKoruProcess("", "\n\n");
  EXPECT_EQ(empty.exitStatus, 0);
  EXPECT_EQ(empty.console, std::string(kBanner) + kPrompt);
}

TEST(RunOutcome, AskedPathMustNameAnExistingFile) {
  std::string dir = MakeTestDirectory("ask");
  KoruRun run = RunKoruProcess("", "typed at the pause\n" + dir + "/missing_input.csv\n\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.console, std::string(kBanner) + kPrompt + " No such file: " + dir + "/missing_input.csv\n" + kPrompt);
}

TEST(RunOutcome, UnreadableInputEndsWithTheInputFileError) {
  std::string dir = MakeTestDirectory("missing");
  const std::string paths[] = {dir + "/farm_input.csv", "a.csv", dir + "/farm.csv"};
  const std::string shown[] = {dir + "/farm_input.csv", "a.csv", dir.substr(0, dir.size() - 1) + "_input.csv"};
  for (int i = 0; i < 3; ++i) {
    KoruRun run = RunKoruProcess("'" + paths[i] + "'");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.console, std::string(kBanner) + "\n Input file:  " + shown[i] +
                               "\n\n ERROR: unable to open the input file. \n\n Press ENTER to terminate.\n")
        << paths[i];
    EXPECT_FALSE(FileExists(dir + "/farm_output_levels.csv"));
  }
}

TEST(RunOutcome, OutputThatCannotBeCreatedStopsAfterTheEarlierOnes) {
  std::string dir = MakeTestDirectory("readonly");
  std::string base = dir + "/farm";
  WriteWholeFile(base + "_input.csv", "Firms 1\nPeriods 1\nOutputs 1\nInputs 1\nend\nh\n1,1,1,1,1\n");
  // A directory where the shadow prices file should go cannot be opened for writing.
  ASSERT_EQ(std::system(("mkdir '" + base + "_output_shadowprices.csv'").c_str()), 0);
  KoruRun run = RunKoruProcess("'" + base + "_input.csv'");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.console, std::string(kBanner) + "\n Input file:  " + base +
                             "_input.csv\n\n ERROR: unable to open an output file. \n\n Press ENTER to terminate.\n");
  EXPECT_TRUE(FileExists(base + "_output_indexes.csv"));
  EXPECT_TRUE(FileExists(base + "_output_levels.csv"));
  EXPECT_FALSE(FileExists(base + "_output_xtras.csv"));
  EXPECT_FALSE(FileExists(base + "_output_xxerrors.txt"));
}

}  // namespace
