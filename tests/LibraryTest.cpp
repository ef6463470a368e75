// The public interface (include/koru/koru.h): panels in memory give the
// console program's files, two analyses on two threads at once give the same
// results as each alone, refusals name the field and the observation, and a
// cancel ends a run with Cancelled.
#include <atomic>
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
}
