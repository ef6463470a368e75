// Whole runs of the executable: options, file choice, file checks and early ends.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.console, std::string(kBanner) + "\n Input file:  " + shown[i] +
                               "\n\n ERROR: unable to open the input file. \n\n Press ENTER to terminate.\n")
        << paths[i];
    EXPECT_FALSE(FileExists(dir + "/farm_output_levels.csv"));
  }
}

TEST(RunOutcome, OutputThatCannotBeOpenedStopsAndChangesNothing) {
  std::string dir = MakeTestDirectory("readonly");
  std::string base = dir + "/farm";
  WriteWholeFile(base + "_input.csv", "Firms 1\nPeriods 1\nOutputs 1\nInputs 1\nend\nh\n1,1,1,1,1\n");
  // The results of an earlier run stay as they are; a directory where the
  // shadow prices file should go cannot be opened for writing.
  for (const char* suffix : {"_output_indexes.csv", "_output_levels.csv", "_output_xxerrors.txt"})
    WriteWholeFile(base + suffix, std::string("earlier") + suffix);
  ASSERT_EQ(std::system(("mkdir '" + base + "_output_shadowprices.csv'").c_str()), 0);
  KoruRun run = RunKoruProcess("'" + base + "_input.csv'");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.console, std::string(kBanner) + "\n Input file:  " + base +
                             "_input.csv\n\n ERROR: unable to open an output file. \n\n Press ENTER to terminate.\n");
  for (const char* suffix : {"_output_indexes.csv", "_output_levels.csv", "_output_xxerrors.txt"})
    EXPECT_EQ(ReadWholeFile(base + suffix), std::string("earlier") + suffix);
  EXPECT_FALSE(FileExists(base + "_output_xtras.csv"));
  EXPECT_EQ(FolderListing(dir), "farm_input.csv farm_output_indexes.csv farm_output_levels.csv "
                                "farm_output_shadowprices.csv farm_output_xxerrors.txt ");
}

// A killed run leaves its temporaries ("<result file>.koru-tmp-<pid>"); the
// next run of the same input removes those whose process has ended, and
// keeps those of a process still running and every other name.
TEST(RunOutcome, TemporariesOfEndedRunsAreRemoved) {
  const std::string dir = MakeTestDirectory("left");
  WriteWholeFile(dir + "/farm_input.csv", "Firms 1\nPeriods 1\nOutputs 1\nInputs 1\nend\nh\n1,1,1,1,1\n");
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
  const std::string gone = ".koru-tmp-" + std::to_string(ended);
  const std::string running = ".koru-tmp-" + std::to_string(::getpid());
  for (const std::string& name : {"farm_output_levels.csv" + gone, "farm_output_xxerrors.txt" + gone,
                                  "farm_output_indexes.csv" + running, "other_output_levels.csv" + gone,
                                  std::string("farm_output_xtras.csv.koru-tmp-12x")})
    WriteWholeFile(dir + "/" + name, "left");
  KoruRun run = RunKoruProcess("farm_input.csv", "", "cd '" + dir + "'; ");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(FolderListing(dir), "farm_input.csv farm_output_indexes.csv farm_output_indexes.csv" + running +
                                    " farm_output_levels.csv farm_output_shadowprices.csv farm_output_xtras.csv "
                                    "farm_output_xtras.csv.koru-tmp-12x farm_output_xxerrors.txt "
                                    "other_output_levels.csv" + gone + " ");
}

struct OptionRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs koru with the option line in `dir`, standard output and standard error
// apart. Standard input is a pipe that never ends: a run that waited for ENTER
// or asked for a path would hang until `timeout` ended it (status 124).
OptionRun RunWithOptions(const std::string& dir, const std::string& line) {
  const std::string command = "cd '" + dir + "' && unset KORU_STATS && rm -f stdin.fifo && mkfifo stdin.fifo && " +
                              "exec 3<>stdin.fifo && timeout 10 '" + KORU_EXE + "' " + line +
                              " <stdin.fifo >stdout.txt 2>stderr.txt";
  OptionRun run;
  const int status = std::system(command.c_str());
  if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.out = ReadWholeFile(dir + "/stdout.txt");
  run.err = ReadWholeFile(dir + "/stderr.txt");
  return run;
}

std::string UsageError(const std::string& problem) {
  return "koru: " + problem + " (run 'koru --help' for usage)\n";
}

TEST(RunOutcome, OptionLinesAndTheirStatuses) {
  const std::string dir = MakeTestDirectory("options");
  const std::string panel = "Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nend\nobs,firm,year,q,x\n"
                            "1,1,1,10,5\n2,2,1,12,6\n3,1,2,11,5\n4,2,2,14,6\n";
  WriteWholeFile(dir + "/farm_input.csv", panel);
  WriteWholeFile(dir + "/-farm_input.csv", panel);
  // A batch run prints what a run with standard input at its end prints.
  const std::string atEnd = RunKoruProcess("farm_input.csv", "", "cd '" + dir + "'; ").console;
  const std::string dashAtEnd = RunKoruProcess("-- -farm_input.csv", "", "cd '" + dir + "'; ").console;
  ASSERT_NE(atEnd.find("Processing finished"), std::string::npos) << atEnd;
  const std::string missing = std::string(kBanner) +
                              "\n Input file:  missing_input.csv\n\n ERROR: unable to open the input file. \n\n"
                              " Press ENTER to terminate.\n";
  // Plain tables: one well formed (the same panel), then one fault each.
  WriteWholeFile(dir + "/farm.csv", "firm,year,q,x\n1,1,10,5\n2,1,12,6\n1,2,11,5\n2,2,14,6\n");
  WriteWholeFile(dir + "/nocolumn.csv", "firm,year,y,x\n1,1,10,5\n2,1,12,6\n1,2,11,5\n2,2,14,6\n");
  WriteWholeFile(dir + "/text.csv", "firm;year;q;x\n1;1;10;5\n2;1;1O;6\n1;2;11;5\n2;2;14;6\n");
  WriteWholeFile(dir + "/blank.csv", "firm,year,q,x\n1,1,10,\n2,1,12,6\n1,2,11,5\n2,2,14,6\n");
  WriteWholeFile(dir + "/fields.csv", "firm,year,q,x\n1,1,10,5\n2,1,12,6\n1,2,11\n2,2,14,6\n");
  WriteWholeFile(dir + "/quote.csv", "firm,year,q,x\n1,1,10,5\n\"2,1,12,6\n1,2,11,5\n2,2,14,6\n");
  WriteWholeFile(dir + "/twice.csv", "firm,year,q,x\n1,1,10,5\n2,1,12,6\n1,1,11,5\n2,2,14,6\n");
  const std::string table = " --firm firm --period year --outputs q --inputs x";
  const auto tableStop = [](const std::string& name, const std::string& message) {
    return std::string(kBanner) + "\n Input table: " + name + "\n\n ERROR: " + message + " \n Press ENTER to terminate.\n";
  };
  // The table gives the input file's result files (written by the run above).
  const std::string farmAtEnd = RunKoruProcess("--table farm.csv --out tab" + table, "", "cd '" + dir + "'; ").console;
  ASSERT_NE(farmAtEnd.find("Processing finished"), std::string::npos) << farmAtEnd;
  for (const char* suffix : {"_output_indexes.csv", "_output_levels.csv", "_output_shadowprices.csv",
                             "_output_xtras.csv", "_output_xxerrors.txt"})
    EXPECT_EQ(ReadWholeFile(dir + "/tab" + suffix), ReadWholeFile(dir + "/farm" + suffix)) << suffix;

  // The bootstrap only with each period's own technology (Window 1) or none.
  WriteWholeFile(dir + "/regress_input.csv", "Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nNoTechRegress\n" +
                                                 panel.substr(panel.find("end\n")));
  WriteWholeFile(dir + "/window_input.csv", "Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nWindow 2\n" +
                                                panel.substr(panel.find("end\n")));
  const auto bootstrapRefused = [](const std::string& name, const std::string& technology) {
    return std::string(kBanner) + "\n Input file:  " + name + "\n\n Fare-Primont indexes \n" + technology +
           " Variable returns to scale\n\n ERROR: the bootstrap needs each period's own technology with a window "
           "of 1 (technical regress allowed) or no technical change \n Press ENTER to terminate.\n";
  };
  WriteWholeFile(dir + "/pooled_input.csv", "Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nNoTechChange\n" +
                                                panel.substr(panel.find("end\n")));
  const std::string pooledMalmquist =
      std::string(kBanner) + "\n Input file:  pooled_input.csv\n\n Fare-Primont indexes \n No technical change\n"
      " Variable returns to scale\n\n ERROR: the bootstrap of the Malmquist index needs each period's own technology"
      " with a window of 1 (technical regress allowed) \n Press ENTER to terminate.\n";
  const std::string replicates = "which takes a whole number of replicates from 1 to 1000000";
  std::string bootstrapAtEnd = atEnd;
  const std::string set6 = " Computing Set 6: Indexes \n";
  bootstrapAtEnd.insert(bootstrapAtEnd.find(set6) + set6.size(), " Computing the bootstrap: OTE, ITE, 3 replicates \n");

  const std::string usage = "Usage: koru [OPTIONS] [--] [PATH]\n";
  const std::string threads = "which takes a whole number from 1 to 1024";

  const struct {
    std::string line;
    int status;
    std::string out;  // the whole of standard output, or its start where `prefix`
    bool prefix;
    std::string err;
  } cases[] = {
      {"--help", 0, usage, true, ""},
      {"-h farm_input.csv", 0, usage, true, ""},
      {"--help --bogus", 0, usage, true, ""},
      {"--version", 0, "KORU " KORU_VERSION "\nCompiler: ", true, ""},
      {"--bogus", 2, "", false, UsageError("unknown option '--bogus'")},
      {"-j 2 farm_input.csv", 2, "", false, UsageError("unknown option '-j'")},
      {"--threads 0", 2, "", false, UsageError("bad value '0' for '--threads', " + threads)},
      {"--threads=1025 farm_input.csv", 2, "", false, UsageError("bad value '1025' for '--threads', " + threads)},
      {"--threads -3 farm_input.csv", 2, "", false, UsageError("bad value '-3' for '--threads', " + threads)},
      {"--threads 2.5 farm_input.csv", 2, "", false, UsageError("bad value '2.5' for '--threads', " + threads)},
      {"--threads= farm_input.csv", 2, "", false, UsageError("bad value '' for '--threads', " + threads)},
      {"--threads", 2, "", false, UsageError("option '--threads' needs a value")},
      {"--batch", 2, "", false, UsageError("--batch needs a path")},
      {"--batch=yes farm_input.csv", 2, "", false, UsageError("option '--batch' takes no value")},
      {"farm_input.csv other_input.csv", 2, "", false,
       UsageError("more than one path: 'farm_input.csv' and 'other_input.csv'")},
      {"farm_input.csv --batch", 2, "", false, UsageError("option '--batch' after the path; options come first")},
      {"--batch -farm_input.csv", 2, "", false, UsageError("unknown option '-farm_input.csv'")},
      {"--batch farm_input.csv", 0, atEnd, false, ""},
      {"--batch --threads 2 --report farm_input.csv", 0, atEnd, false, ""},
      {"--batch --single-solve farm_input.csv", 0, atEnd, false, ""},
      {"--single-solve=yes farm_input.csv", 2, "", false, UsageError("option '--single-solve' takes no value")},
      {"--threads=1 --batch -- -farm_input.csv", 0, dashAtEnd, false, ""},
      {"--batch missing_input.csv", 1, missing, false, ""},
      {"--batch --bootstrap 3 --seed 9 --alpha=0.1 farm_input.csv", 0, bootstrapAtEnd, false, ""},
      {"--bootstrap 0 farm_input.csv", 2, "", false, UsageError("bad value '0' for '--bootstrap', " + replicates)},
      {"--bootstrap -5 farm_input.csv", 2, "", false, UsageError("bad value '-5' for '--bootstrap', " + replicates)},
      {"--bootstrap=ten farm_input.csv", 2, "", false, UsageError("bad value 'ten' for '--bootstrap', " + replicates)},
      {"--bootstrap 3 --alpha 1 farm_input.csv", 2, "", false,
       UsageError("bad value '1' for '--alpha', which takes a number between 0 and 1")},
      {"--bootstrap 3 --alpha 0.05x farm_input.csv", 2, "", false,
       UsageError("bad value '0.05x' for '--alpha', which takes a number between 0 and 1")},
      {"--seed 4 farm_input.csv", 2, "", false, UsageError("--seed and --alpha need --bootstrap")},
      {"--batch --bootstrap 3 regress_input.csv", 1, bootstrapRefused("regress_input.csv", " No technical regress\n"),
       false, ""},
      {"--batch --malmquist --bootstrap 3 pooled_input.csv", 1, pooledMalmquist, false, ""},
      {"--batch --bootstrap 3 window_input.csv", 1,
       bootstrapRefused("window_input.csv",
                        " Technical regress allowed\n Period-t technology estimated using data from 2 periods\n"),
       false, ""},
      {"--batch --table farm.csv --out tab" + table, 0, farmAtEnd, false, ""},
      {"--table farm.csv --firm firm", 2, "", false, UsageError("--table needs --firm, --period, --outputs and --inputs")},
      {"--firm firm farm_input.csv", 2, "", false, UsageError("the options of a plain table need --table")},
      {"--table farm.csv" + table + " farm_input.csv", 2, "", false, UsageError("a path and --table: give one of them")},
      {"--table farm.csv" + table + " --output-prices q", 2, "", false,
       UsageError("--output-prices and --input-prices go together")},
      {"--batch --table nocolumn.csv" + table, 1,
       tableStop("nocolumn.csv", "nocolumn.csv: --outputs names the column 'q', which the header does not hold"), false,
       ""},
      {"--batch --table text.csv" + table, 1,
       tableStop("text.csv", "text.csv, line 3, column 'q': '1O' is not a number"), false, ""},
      {"--batch --table blank.csv" + table, 1,
       tableStop("blank.csv",
                 "blank.csv, line 2, column 'x': the cell is blank (only a row whose every quantity is blank is an "
                 "absent observation)"),
       false, ""},
      {"--batch --table fields.csv" + table, 1, tableStop("fields.csv", "fields.csv, line 4: 3 fields, the header has 4"),
       false, ""},
      {"--batch --table quote.csv" + table, 1, tableStop("quote.csv", "quote.csv, line 3: a quoted field is not closed"),
       false, ""},
      {"--batch --table twice.csv" + table, 1,
       tableStop("twice.csv", "rows 1 and 3 both hold firm '1' in year '1'"), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const OptionRun run = RunWithOptions(dir, c.line);
    EXPECT_EQ(run.status, c.status);
    if (c.prefix)
      EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
    else
      EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
