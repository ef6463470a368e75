// The Malmquist file (with the Malmquist setting): for every observation of
// periods 2..T the four distances of each orientation, the Malmquist index
// and its efficiency and technical change; unless returns to scale are
// constant, also the constant-returns distances and indexes and the split of
// the constant-returns efficiency change into pure and scale efficiency
// change. The first period has no period before it: identifiers only. The
// values pass through single precision before "%3.4f", as the levels file
// prints them.
#include <cstdio>
#include <string>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/ResultTables.h"
#include "output/WriterPieces.h"

namespace {

using Values = AnalysisRecord::MalmquistValues;

struct MalmquistColumn {
  const char* name;
  ObservationVector Values::*values;
};

// Every run's columns, then those of a run whose returns to scale are not
// constant.
const MalmquistColumn kColumns[] = {
    {"DOsss", &Values::DOsss},       {"DOtts", &Values::DOtts},       {"DOsst", &Values::DOsst},
    {"DOttt", &Values::DOttt},       {"M_O", &Values::M_O},           {"EC_O", &Values::EC_O},
    {"TC_O", &Values::TC_O},         {"DIsss", &Values::DIsss},       {"DItts", &Values::DItts},
    {"DIsst", &Values::DIsst},       {"DIttt", &Values::DIttt},       {"M_I", &Values::M_I},
    {"EC_I", &Values::EC_I},         {"TC_I", &Values::TC_I},         {"HOsss", &Values::HOsss},
    {"HOtts", &Values::HOtts},       {"HOsst", &Values::HOsst},       {"HOttt", &Values::HOttt},
    {"M_O_crs", &Values::M_O_crs},   {"EC_O_crs", &Values::EC_O_crs}, {"TC_O_crs", &Values::TC_O_crs},
    {"PEC_O", &Values::PEC_O},       {"SEC_O", &Values::SEC_O},       {"HIsss", &Values::HIsss},
    {"HItts", &Values::HItts},       {"HIsst", &Values::HIsst},       {"HIttt", &Values::HIttt},
    {"M_I_crs", &Values::M_I_crs},   {"EC_I_crs", &Values::EC_I_crs}, {"TC_I_crs", &Values::TC_I_crs},
    {"PEC_I", &Values::PEC_I},       {"SEC_I", &Values::SEC_I},
};
constexpr std::size_t kConstantReturnsColumns = 14;
constexpr std::size_t kAllColumns = sizeof kColumns / sizeof kColumns[0];

const char kTitle[] = " Malmquist Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n";

std::size_t ColumnCount(const AnalysisRecord& record) {
  return record.Vrs != 0 ? kAllColumns : kConstantReturnsColumns;
}

}  // namespace

ValueTable MalmquistTable(const AnalysisRecord& record) {
  ValueTable table;
  table.title = TrimmedTitle(kTitle);
  for (std::size_t c = 0; c < ColumnCount(record); ++c) {
    table.headings.push_back(kColumns[c].name);
    table.columns.push_back(record.MalmquistSet.*kColumns[c].values);
  }
  table.printed = PrintedRows(record);
  for (uint32_t o = 0; o < record.Firms && o < record.Observations; ++o) table.printed[o] = false;
  return table;
}

bool WriteMalmquistFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_malmquist.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  FilePrintf(file, "%s", kTitle);
  const std::size_t count = ColumnCount(record);
  std::string heading = FormatText("  %s", record.IdHeading);
  for (std::size_t c = 0; c < count; ++c) heading += std::string(", ") + kColumns[c].name;
  FilePrintf(file, "%s \n", heading.c_str());
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    if (record.IsAbsent(o)) continue;
    const SinglePrecisionOf sp = StartRow(file, record, o);
    if (o > record.Firms)
      for (std::size_t c = 0; c < count; ++c) FilePrintf(file, ",%3.4f", sp(record.MalmquistSet.*kColumns[c].values));
    FilePrintf(file, " \n");
  }
  return CloseResultFile(files, file);
}
