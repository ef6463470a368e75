// The shadow prices file: for every observation the revenue-deflated output
// shadow prices pstar and the cost-deflated input shadow prices wstar of
// Set 1. The same layout serves every family. The prices are printed from
// their double values with "%3.4g"; they do not pass through single precision.
#include <cstdio>
#include <tuple>
#include <utility>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/ResultTables.h"
#include "output/WriterPieces.h"

namespace {

const char kTitle[] = " Revenue-deflated Output Shadow Prices and Cost-deflated Input Shadow Prices \n";

}  // namespace

ValueTable ShadowPricesTable(const AnalysisRecord& record) {
  ValueTable table;
  table.title = TrimmedTitle(kTitle);
  const uint32_t NT = record.Observations;
  for (const auto& [name, prices, count] :
       {std::tuple<const char*, const Matrix*, uint32_t>{"pstar", &record.pstar, record.Outputs},
        std::tuple<const char*, const Matrix*, uint32_t>{"wstar", &record.wstar, record.Inputs}}) {
    for (uint32_t j = 1; j <= count; ++j) {
      table.headings.push_back(FormatText("%s%d", name, static_cast<int>(j)));
      std::vector<double> values(NT);
      for (uint32_t o = 0; o < NT; ++o) values[o] = prices->Row(o)[j - 1];
      table.columns.push_back(std::move(values));
    }
  }
  table.printed = PrintedRows(record);
  return table;
}

bool WriteShadowPricesFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_shadowprices.csv file for writing");
  if (file == nullptr) return false;
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  WriteTitle(file);
  FilePrintf(file, kTitle);

  FilePrintf(file, "  %s,", record.IdHeading);
  for (uint32_t m = 1; m <= M; ++m) FilePrintf(file, "pstar%d,", static_cast<int>(m));
  for (uint32_t k = 1; k < K; ++k) FilePrintf(file, "wstar%d,", static_cast<int>(k));
  FilePrintf(file, "wstar%d \n", static_cast<int>(K));

  for (uint32_t o = 1; o <= record.Observations; ++o) {
    if (record.IsAbsent(o)) continue;
    WriteIdentifiers(file, record, o);
    FilePrintf(file, ",");
    for (uint32_t m = 1; m <= M; ++m) FilePrintf(file, "%3.4g,", record.pstar.Row(o - 1)[m - 1]);
    for (uint32_t k = 1; k < K; ++k) FilePrintf(file, "%3.4g,", record.wstar.Row(o - 1)[k - 1]);
    FilePrintf(file, "%3.4g \n", record.wstar.Row(o - 1)[K - 1]);
  }

  return CloseResultFile(files, file);
}
