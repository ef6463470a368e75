// The data section: the header and IdHeading, rows read with scanf's "%d,"
// and "%f," rules through single precision, the READ ERROR stop, the
// rows*columns warning, the means with their scaling warning, unit-mean
// rescaling of quantities and prices, the identifiers, and the whole reader.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/AnalysisRecord.h"
#include "input/InputFile.h"
#include "tests/InputTestSupport.h"
#include "tests/TestSupport.h"

namespace {

using Rows = std::vector<std::vector<double>>;

// Reads the command section (its console discarded) and sets the record up.
void ReadCommandsAndSetUp(AnalysisRecord& record, std::FILE* file) {
  testing::internal::CaptureStdout();
  ReadCommandSection(record, file);
  testing::internal::GetCapturedStdout();
  SetUpProblem(record, record.Firms, record.Periods, record.Outputs, record.Inputs);
}

struct Loaded {
  std::unique_ptr<AnalysisRecord> record = std::make_unique<AnalysisRecord>();
  std::string console;  // what the data section printed
};

Loaded Load(const std::string& text) {
  Loaded loaded;
  std::FILE* file = FileWith(text);
  MustReturn guard;
  ReadCommandsAndSetUp(*loaded.record, file);
  testing::internal::CaptureStdout();
  ReadDataSection(*loaded.record, file);
  loaded.console = testing::internal::GetCapturedStdout();
  std::fclose(file);
  return loaded;
}

Rows DataOf(AnalysisRecord& record) {
  Rows rows(record.Data.m_NumRows, std::vector<double>(record.Data.m_NumCols));
  for (uint32_t r = 0; r < record.Data.m_NumRows; ++r)
    for (uint32_t c = 0; c < record.Data.m_NumCols; ++c) rows[r][c] = record.Data.GetValue(r, c);
  return rows;
}

std::string Commands(int firms, int periods, int outputs, int inputs, const std::string& extra = "") {
  return "Firms " + std::to_string(firms) + "\nPeriods " + std::to_string(periods) + "\nOutputs " +
         std::to_string(outputs) + "\nInputs " + std::to_string(inputs) + "\n" + extra + "end\n";
}

std::string ReadError(int row) {
  return "\n READ ERROR: index in data file = " + std::to_string(row) +
         ".  Check numbers of inputs and\n outputs. Include a Prices command if and only if the input file"
         "\n contains prices. \n\n Press ENTER to terminate.\n";
}

std::string SizeWarning(int count, int expected) {
  return "\n WARNING: Data rows*columns (" + std::to_string(count) + ") does not match (2+j+k)*(n*t) (" +
         std::to_string(expected) + ").\n";
}

const std::string kScalingAdvice =
    " WARNING: LPs may not solve.  Results may be unreliable.  Consider rescaling \n"
    " WARNING: the variables to have unit means (e.g., using the UnitMeans option). \n";

const std::string kTwoByTwo = "Firms 2\nPeriods 2\nOutputs 1\nInputs 1\nend\nobs,firm,year,q,x\n"
                              "1,1,1,10,5\n2,2,1,12,6\n3,1,2,11,5\n4,2,2,14,6\n";
const Rows kTwoByTwoRows = {{1, 1, 10, 5}, {2, 1, 12, 6}, {1, 2, 11, 5}, {2, 2, 14, 6}};

// ---------------------------------------------------------------------------
// Rows as read

TEST(DataSectionRows, TwoFirmsTwoPeriods) {
  Loaded loaded = Load(kTwoByTwo);
  AnalysisRecord& record = *loaded.record;
  EXPECT_EQ(loaded.console, "");  // count 16 as expected, means in range
  EXPECT_STREQ(record.IdHeading, "obs,firm,year");
  EXPECT_EQ(DataOf(record), kTwoByTwoRows);
  EXPECT_EQ(record.Id1, (std::vector<double>{1, 2, 1, 2}));
  EXPECT_EQ(record.Id2, (std::vector<double>{1, 1, 2, 2}));
  EXPECT_EQ(record.OutputMeans, (std::vector<double>{11.75}));  // (10 + 12 + 11 + 14) / 4
  EXPECT_EQ(record.InputMeans, (std::vector<double>{5.5}));     // (5 + 6 + 5 + 6) / 4
}

TEST(DataSectionRows, LayoutsAndSeparators) {
  const std::string head = "obs,firm,year,q,x\n";
  const struct {
    const char* name;
    std::string text;
    Rows rows;
    std::string console;
  } cases[] = {
      {"rows broken over lines", Commands(2, 2, 1, 1) + head + "1,1,1,\n10,\n5\n2,2,\n1,12,6\n3,1,2,11,5\n4,2,2,14,6\n",
       kTwoByTwoRows, ""},
      {"line ends instead of commas", Commands(2, 2, 1, 1) + head + "1\n1\n1\n10\n5\n2 2 1 12 6\n3,1,2,11,5\n4\t2\t2\t14\t6",
       kTwoByTwoRows, ""},
      {"blanks before values and trailing commas",
       Commands(2, 2, 1, 1) + head + "1, 1, 1, 10, 5,\n2,\t2,1,12,6,\n3,1,2,11,5,\n4,2,2,14,6,\n", kTwoByTwoRows, ""},
      {"Windows line ends", Commands(2, 2, 1, 1) + "h,e,a,d\r\n1,1,1,10,5\r\n2,2,1,12,6\r\n3,1,2,11,5\r\n4,2,2,14,6\r\n",
       kTwoByTwoRows, ""},
      {"outputs before inputs", Commands(1, 1, 2, 3) + head + "1,7,8,1,2,3,4,5\n", {{7, 8, 1, 2, 3, 4, 5}}, ""},
      {"prices after the quantities", Commands(2, 1, 1, 1, "Prices\n") + head + "1,1,1,10,5,2,3\n2,2,1,12,6,4,5\n",
       {{1, 1, 10, 5, 2, 3}, {2, 1, 12, 6, 4, 5}}, ""},
      {"values pass through single precision", Commands(2, 1, 1, 1) + head + "1,16777217,1,0.1,5\n2,2,1,1e3,-2.5\n",
       {{16777216, 1, static_cast<double>(0.1f), 5}, {2, 1, 1000, -2.5}},
       ""},
      // A file that ends after the last output: the input read meets the end
      // (-1), so the count is 5 x 4 + 3 - 1 = 22, and the temporary still
      // holds the last output.
      {"a missing value at the end",
       Commands(3, 2, 1, 1) + head + "1,1,1,10,5\n2,2,1,12,6\n3,3,1,13,7\n4,1,2,11,5\n5,2,2,14,6\n6,3,2,15",
       {{1, 1, 10, 5}, {2, 1, 12, 6}, {3, 1, 13, 7}, {1, 2, 11, 5}, {2, 2, 14, 6}, {3, 2, 15, 15}},
       SizeWarning(22, 24)},
      {"a failed conversion keeps the last value", Commands(1, 1, 1, 1) + head + "1,7,8,x\n", {{7, 8, 8, 8}},
       SizeWarning(2, 4)},
      {"nothing converted leaves 0.0", Commands(1, 1, 1, 1) + head + "1,x,2,3,4\n", {{0, 0, 0, 0}},
       SizeWarning(0, 4)},
      {"the end of the file after the row number", Commands(1, 1, 1, 1) + head + "1,", {{0, 0, 0, 0}},
       SizeWarning(-4, 4)},
      {"uncounted prices at the end of the file", Commands(1, 1, 1, 1, "Prices\n") + head + "1,1,1,10,5,2",
       {{1, 1, 10, 5, 2, 2}}, ""},
  };
  for (const auto& c : cases) {
    Loaded loaded = Load(c.text);
    EXPECT_EQ(DataOf(*loaded.record), c.rows) << c.name;
    EXPECT_EQ(loaded.console, c.console) << c.name;
  }
}

TEST(DataSectionRows, PointOneIsStoredAsItsSinglePrecisionValue) {
  Loaded loaded = Load(Commands(1, 1, 1, 1) + "h\n1,0.1,0.1,0.1,0.1\n");
  // The float nearest 0.1 is 13421773 / 2^27.
  const double single = 13421773.0 / 134217728.0;
  EXPECT_EQ(loaded.record->Data.GetValue(0, 2), single);
  EXPECT_EQ(loaded.record->Id1[0], single);
  EXPECT_NE(loaded.record->Data.GetValue(0, 2), 0.1);
}

TEST(DataSectionRows, DataMatrixShape) {
  const struct {
    int firms, periods, outputs, inputs;
    bool prices;
    uint32_t maxRows, maxCols, rows, cols;
  } cases[] = {
      {1, 1, 1, 1, false, 11, 12, 1, 4},
      {1, 1, 1, 1, true, 11, 24, 1, 6},
      {2, 2, 2, 3, false, 14, 15, 4, 7},
      {2, 2, 2, 3, true, 14, 30, 4, 12},
  };
  for (const auto& c : cases) {
    std::string text = Commands(c.firms, c.periods, c.outputs, c.inputs, c.prices ? "Prices\n" : "") + "h\n";
    for (int r = 1; r <= c.firms * c.periods; ++r) {
      text += std::to_string(r);
      for (uint32_t v = 0; v < c.cols; ++v) text += ",1";
      text += "\n";
    }
    Loaded loaded = Load(text);
    const Matrix& data = loaded.record->Data;
    EXPECT_EQ(data.m_MaxRows, c.maxRows) << text;
    EXPECT_EQ(data.m_MaxCols, c.maxCols) << text;
    EXPECT_EQ(data.m_NumRows, c.rows) << text;
    EXPECT_EQ(data.m_NumCols, c.cols) << text;
    EXPECT_EQ(loaded.console, "") << text;
  }
}

// ---------------------------------------------------------------------------
// Header

TEST(DataSectionHeader, IdHeadingIsTheTextBeforeTheThirdComma) {
  const std::string a77(77, 'a'), a78(78, 'a'), a79(79, 'a'), a85(85, 'a'), a97(97, 'a'), a98(98, 'a');
  const struct {
    const char* name;
    std::string header;
    std::string heading;
  } cases[] = {
      {"typical", "obs,firm,year,q,x", "obs,firm,year"},
      {"more variables", "obs,firm,year,y1,x1", "obs,firm,year"},
      {"exactly three commas", "obs,firm,year,", "obs,firm,year"},
      {"two commas", "obs,firm,year", ""},
      {"no commas", "obs;firm;year;q;x", ""},
      {"empty line", "", ""},
      {"leading commas", ",,,q", ",,"},
      {"79 characters fit", a77 + ",,,x", a77 + ",,"},
      {"80 characters are cut to 79", a78 + ",,,x", a78 + ","},
      {"85 characters are cut to 79", a85 + ",,,x", a79},
      {"third comma at the 100th character", a97 + ",,,x", a79},
      {"third comma at the 101st character", a98 + ",,,x", ""},
  };
  for (const auto& c : cases) {
    Loaded loaded = Load(Commands(1, 1, 1, 1) + c.header + "\n1,1,1,1,1\n");
    EXPECT_EQ(std::string(loaded.record->IdHeading), c.heading) << c.name;
  }
}

TEST(DataSectionHeader, HeaderOf19999CharactersIsReadWhole) {
  const std::string header = "obs,firm,year," + std::string(19999 - 14, 'h');
  Loaded loaded = Load(Commands(2, 2, 1, 1) + header + "\n1,1,1,10,5\n2,2,1,12,6\n3,1,2,11,5\n4,2,2,14,6\n");
  EXPECT_STREQ(loaded.record->IdHeading, "obs,firm,year");
  EXPECT_EQ(DataOf(*loaded.record), kTwoByTwoRows);
  EXPECT_EQ(loaded.console, "");
}

// ---------------------------------------------------------------------------
// READ ERROR: the row number is not the expected one

TEST(DataSectionStops, ReadErrorNamesTheExpectedRow) {
  const std::string head = "obs,firm,year,q,x\n";
  const struct {
    const char* name;
    std::string text;
    int row;
  } cases[] = {
      {"a row missing in the sequence", Commands(2, 2, 1, 1) + head + "1,1,1,10,5\n2,2,1,12,6\n4,2,2,14,6\n", 3},
      {"the first row numbered 0", Commands(2, 2, 1, 1) + head + "0,1,1,10,5\n", 1},
      {"fewer rows than observations", Commands(2, 2, 1, 1) + head + "1,1,1,10,5\n2,2,1,12,6\n3,1,2,11,5\n", 4},
      {"no rows", Commands(2, 2, 1, 1) + head, 1},
      {"no header and no rows", Commands(2, 2, 1, 1), 1},
      {"a row number that is not a number", Commands(2, 2, 1, 1) + head + "one,1,1,10,5\n", 1},
      {"a blank before a comma", Commands(2, 2, 1, 1) + head + "1,1,1,10 ,5\n2,2,1,12,6\n3,1,2,11,5\n4,2,2,14,6\n",
       2},
      {"prices without the Prices command",
       Commands(2, 2, 1, 1) + head + "1,1,1,10,5,3,4\n2,2,1,12,6,3,4\n3,1,2,11,5,3,4\n4,2,2,14,6,3,4\n", 2},
      // Row 1's prices take row 2's number and first identifier; row 2's
      // number is then read from its second identifier, 1.
      {"the Prices command without prices",
       Commands(2, 2, 1, 1, "Prices\n") + head + "1,1,1,10,5\n2,2,1,12,6\n3,1,2,11,5\n4,2,2,14,6\n", 2},
      {"a header longer than 19999 characters", Commands(2, 2, 1, 1) + std::string(20000, 'h') + "\n1,1,1,10,5\n", 1},
      // The header's 20000th character is taken as row 1's number; the file's
      // row 1 then shifts by one value and row 2's number is read as 5.
      {"a header remainder of digits", Commands(2, 2, 1, 1) + std::string(19999, 'h') + "1\n1,1,1,10,5\n2,2,1,12,6\n",
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string console = ConsoleOfStop([&] {
      AnalysisRecord record;
      std::FILE* file = FileWith(c.text);
      ReadCommandsAndSetUp(record, file);
      return ReadDataSection(record, file);
    });
    EXPECT_EQ(console, ReadError(c.row));
  }
}

// ---------------------------------------------------------------------------
// Means, scaling warning, unit means

TEST(DataSectionMeans, ScalingWarning) {
  // One output (or two) and one input over two observations.
  auto panel = [](const std::string& rows, int outputs = 1, const std::string& extra = "") {
    return Commands(2, 1, outputs, 1, extra) + "obs,firm,year,q,x\n" + rows;
  };
  const struct {
    const char* name;
    std::string text;
    std::vector<double> outputMeans, inputMeans;
    std::string console;
  } cases[] = {
      {"an output mean of 250000", panel("1,1,1,200000,5\n2,2,1,300000,5\n"), {250000}, {5},
       "\n WARNING: An output variable has a mean of 2.5e+005. \n" + kScalingAdvice},
      {"an input mean of 0.00005", panel("1,1,1,2,0.00005\n2,2,1,2,0.00005\n"), {2},
       {static_cast<double>(0.00005f)}, "\n WARNING: An input variable has a mean of 5e-005.  \n" + kScalingAdvice},
      {"both", panel("1,1,1,250000,0.00005\n2,2,1,250000,0.00005\n"), {250000}, {static_cast<double>(0.00005f)},
       "\n WARNING: An output variable has a mean of 2.5e+005. \n"
       " WARNING: An input variable has a mean of 5e-005.  \n" +
           kScalingAdvice},
      {"the later offending output is reported", panel("1,1,1,250000,300000,5\n2,2,1,250000,300000,5\n", 2),
       {250000, 300000}, {5}, "\n WARNING: An output variable has a mean of 3e+005. \n" + kScalingAdvice},
      {"an offending output stays reported", panel("1,1,1,250000,7,5\n2,2,1,250000,9,5\n", 2), {250000, 8}, {5},
       "\n WARNING: An output variable has a mean of 2.5e+005. \n" + kScalingAdvice},
      {"100000 is not offending", panel("1,1,1,100000,5\n2,2,1,100000,5\n"), {100000}, {5}, ""},
      {"just above 100000", panel("1,1,1,100000.01,5\n2,2,1,100000.01,5\n"), {static_cast<double>(100000.01f)}, {5},
       "\n WARNING: An output variable has a mean of 1e+005. \n" + kScalingAdvice},
      // The float nearest 0.0001 lies below it.
      {"0.0001 read in single precision", panel("1,1,1,0.0001,5\n2,2,1,0.0001,5\n"),
       {static_cast<double>(0.0001f)}, {5}, "\n WARNING: An output variable has a mean of 0.0001. \n" + kScalingAdvice},
      {"0.0002 is not offending", panel("1,1,1,0.0002,5\n2,2,1,0.0002,5\n"), {static_cast<double>(0.0002f)}, {5},
       ""},
      {"all zeros raise no warning", panel("1,1,1,0,5\n2,2,1,0,5\n"), {0}, {5}, ""},
      {"a negative mean", panel("1,1,1,-4,5\n2,2,1,-6,5\n"), {-5}, {5},
       "\n WARNING: An output variable has a mean of -5. \n" + kScalingAdvice},
      {"no warning with UnitMeans", panel("1,1,1,200000,5\n2,2,1,300000,5\n", 1, "UnitMeans\n"), {250000}, {5}, ""},
  };
  for (const auto& c : cases) {
    Loaded loaded = Load(c.text);
    EXPECT_EQ(loaded.record->OutputMeans, c.outputMeans) << c.name;
    EXPECT_EQ(loaded.record->InputMeans, c.inputMeans) << c.name;
    EXPECT_EQ(loaded.console, c.console) << c.name;
  }
}

TEST(DataSectionMeans, UnitMeansDividesQuantities) {
  Loaded loaded = Load(Commands(2, 1, 1, 1, "UnitMeans\n") + "h\n1,1,1,200000,5\n2,2,1,300000,7\n");
  EXPECT_EQ(DataOf(*loaded.record), (Rows{{1, 1, 200000.0 / 250000.0, 5.0 / 6.0}, {2, 1, 300000.0 / 250000.0, 7.0 / 6.0}}));
  // The means keep the values of the data as read.
  EXPECT_EQ(loaded.record->OutputMeans, (std::vector<double>{250000}));
  EXPECT_EQ(loaded.record->InputMeans, (std::vector<double>{6}));
}

TEST(DataSectionMeans, UnitMeansMultipliesPricesAndKeepsRevenueAndCost) {
  // Columns: id1, id2, q1, q2, x1, x2, p1, p2, w1, w2.
  // Means: q1 4, q2 20, x1 2, x2 8.
  Loaded loaded = Load(Commands(2, 1, 2, 2, "Prices\nUnitMeans\n") +
                       "obs,firm,year,q1,q2,x1,x2,p1,p2,w1,w2\n"
                       "1,1,1,3,10,1,6,2,1,10,5\n"
                       "2,2,1,5,30,3,10,0.5,3,20,7\n");
  EXPECT_EQ(loaded.console, "");
  EXPECT_EQ(DataOf(*loaded.record), (Rows{{1, 1, 0.75, 0.5, 0.5, 0.75, 8, 20, 20, 40},
                                          {2, 1, 1.25, 1.5, 1.5, 1.25, 2, 60, 40, 56}}));
  EXPECT_EQ(loaded.record->OutputMeans, (std::vector<double>{4, 20}));
  EXPECT_EQ(loaded.record->InputMeans, (std::vector<double>{2, 8}));
}

// ---------------------------------------------------------------------------
// The whole reader

TEST(DataSectionReadInputFile, ReadsTheTwoByTwoFile) {
  AnalysisRecord record;
  MustReturn guard;
  testing::internal::CaptureStdout();
  ReadInputFile(record, std::string(KORU_TEST_DATA) + "/input/two_by_two_input.csv");
  PrintCounts(record);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(console,
            "\n Fare-Primont indexes \n Technical regress allowed\n Variable returns to scale\n"
            "\n Number of Periods = 2\n Number of Firms   = 2\n Number of Outputs = 1\n Number of Inputs  = 1\n\n");
  EXPECT_EQ(record.Observations, 4u);
  EXPECT_STREQ(record.IdHeading, "obs,firm,year");
  EXPECT_EQ(DataOf(record), kTwoByTwoRows);
  EXPECT_EQ(record.Id1, (std::vector<double>{1, 2, 1, 2}));
  EXPECT_EQ(record.Id2, (std::vector<double>{1, 1, 2, 2}));
}

TEST(DataSectionReadInputFile, ReadsFiveThousandObservations) {
  // The observation limit itself: 100 firms x 50 periods are read whole.
  const std::string dir = MakeTestDirectory("limit");
  std::string text = Commands(100, 50, 1, 1) + "obs,firm,year,q,x\n";
  for (int o = 1; o <= 5000; ++o)
    text += std::to_string(o) + "," + std::to_string((o - 1) % 100 + 1) + "," + std::to_string((o - 1) / 100 + 1) +
            ",2,3\n";
  WriteWholeFile(dir + "/limit_input.csv", text);
  AnalysisRecord record;
  MustReturn guard;
  testing::internal::CaptureStdout();
  ReadInputFile(record, dir + "/limit_input.csv");
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(console, "\n Fare-Primont indexes \n Technical regress allowed\n Variable returns to scale\n");
  ASSERT_EQ(record.Data.m_NumRows, 5000u);
  EXPECT_EQ(record.Id1[4999], 100.0);
  EXPECT_EQ(record.Id2[4999], 50.0);
  EXPECT_EQ(record.OutputMeans, (std::vector<double>{2}));
  EXPECT_EQ(record.InputMeans, (std::vector<double>{3}));
}

}  // namespace
