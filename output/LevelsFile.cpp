// The levels file: for every observation its revenue, cost, profitability,
// price and quantity aggregates, TFP, TFP* and the efficiency measures. The
// observations that attain the maximum TFP of their period carry ",max" at
// the end of their row. Measure values pass through single precision before
// "%3.4f".
#include <cstdio>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/ResultTables.h"
#include "output/WriterPieces.h"

namespace {

// The 22 level columns with prices, in the file's order; without prices the
// last 16 (Q to RME).
constexpr ObservationVector AnalysisRecord::*kLevelColumns[22] = {
    &AnalysisRecord::Rev,  &AnalysisRecord::Cost,    &AnalysisRecord::Prof, &AnalysisRecord::P,
    &AnalysisRecord::W,    &AnalysisRecord::TT,      &AnalysisRecord::Q,    &AnalysisRecord::X,
    &AnalysisRecord::TFP,  &AnalysisRecord::TFPstar, &AnalysisRecord::TFPE, &AnalysisRecord::OTE,
    &AnalysisRecord::OSE,  &AnalysisRecord::OME,     &AnalysisRecord::ROSE, &AnalysisRecord::OSME,
    &AnalysisRecord::ITE,  &AnalysisRecord::ISE,     &AnalysisRecord::IME,  &AnalysisRecord::RISE,
    &AnalysisRecord::ISME, &AnalysisRecord::RME};
constexpr int kPriceOnlyColumns = 6;

const char kTitle[] = " Levels Computed Using %s Aggregator Functions  \n";

// How a row ends: ",max" for an observation at the maximum TFP.
const char* RowEnd(const AnalysisRecord& record, uint32_t o) {
  return record.TfpMaxFlag[o - 1] == 1.0 ? ",max \n" : " \n";
}

// The heading and the row format of one half of the file (the chained or the
// fixed-base families), with and without prices. The rows with prices hold 22
// measures, those without 16; the halves differ only in their spacing.
struct LevelsLayout {
  const char* headingWithPrices;
  const char* rowWithPrices;
  const char* headingWithoutPrices;
  const char* rowWithoutPrices;
};

const LevelsLayout kChainedLayout = {
    "  %s, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, "
    "RISE,ISME, RME, \n",
    ", %3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,"
    "%3.4f,%3.4f, %3.4f,%3.4f,%3.4f,%3.4f%s",
    "  %s, Q,  X,  TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE,ISME, RME, \n",
    ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f%s",
};

const LevelsLayout kFixedBaseLayout = {
    "  %s, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, "
    "RISE, ISME, RME \n",
    ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f ,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,"
    "%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f%s",
    "  %s, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE, ISME, RME \n",
    ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f%s",
};

// Under Paasche the allocative columns are the revenue and cost allocative
// efficiencies.
const char kPaascheHeading[] =
    "  %s, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, RAE, ROSE, OSME, ITE, ISE, CAE, "
    "RISE,ISME, RME, \n";

const char* Heading(const AnalysisRecord& r, const LevelsLayout& layout, bool paasche) {
  if (r.Prices != 1) return layout.headingWithoutPrices;
  return paasche ? kPaascheHeading : layout.headingWithPrices;
}

void WriteLevelsHalf(std::FILE* file, const AnalysisRecord& r, const LevelsLayout& layout, bool paasche) {
  FilePrintf(file, Heading(r, layout, paasche), r.IdHeading);
  for (uint32_t o = 1; o <= r.Observations; ++o) {
    if (r.IsAbsent(o)) continue;
    const SinglePrecisionOf sp = StartRow(file, r, o);
    const auto v = [&](int c) { return sp(r.*kLevelColumns[c]); };
    if (r.Prices == 1)
      FilePrintf(file, layout.rowWithPrices, v(0), v(1), v(2), v(3), v(4), v(5), v(6), v(7), v(8), v(9), v(10), v(11),
                 v(12), v(13), v(14), v(15), v(16), v(17), v(18), v(19), v(20), v(21), RowEnd(r, o));
    else
      FilePrintf(file, layout.rowWithoutPrices, v(6), v(7), v(8), v(9), v(10), v(11), v(12), v(13), v(14), v(15),
                 v(16), v(17), v(18), v(19), v(20), v(21), RowEnd(r, o));
  }
}

}  // namespace

ValueTable LevelsTable(const AnalysisRecord& record) {
  ValueTable table;
  table.title = TrimmedTitle(FormatText(kTitle, FamilyName(record)));
  const bool chained = record.IsChained();
  table.headings = HeadingNames(Heading(record, chained ? kChainedLayout : kFixedBaseLayout,
                                        chained && record.Paasche == 1));
  for (int c = record.Prices == 1 ? 0 : kPriceOnlyColumns; c < 22; ++c) table.columns.push_back(record.*kLevelColumns[c]);
  table.printed = PrintedRows(record);
  return table;
}

bool WriteLevelsFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_levels.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  FilePrintf(file, kTitle, FamilyName(record));
  if (record.IsChained()) WriteLevelsHalf(file, record, kChainedLayout, record.Paasche == 1);
  if (record.IsFixedBase()) WriteLevelsHalf(file, record, kFixedBaseLayout, false);
  return CloseResultFile(files, file);
}
