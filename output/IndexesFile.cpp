// The indexes file: for every observation the index numbers of Set 6 that
// compare it with its comparison observation. The chained families compare
// firm i in period t with firm i in period t-1, so the first period has only
// its identifiers; the fixed-base families compare every observation with
// Base. Index values pass through single precision before "%3.4f".
#include <cstdio>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/ResultTables.h"
#include "output/WriterPieces.h"

namespace {

// The 22 index columns with prices, in the file's order; without prices the
// last 16 (dQ to dRME).
constexpr ObservationVector AnalysisRecord::*kIndexColumns[22] = {
    &AnalysisRecord::dRev,  &AnalysisRecord::dCost, &AnalysisRecord::dProf, &AnalysisRecord::dP,
    &AnalysisRecord::dW,    &AnalysisRecord::dTT,   &AnalysisRecord::dQ,    &AnalysisRecord::dX,
    &AnalysisRecord::dTFP,  &AnalysisRecord::dTech, &AnalysisRecord::dTFPE, &AnalysisRecord::dOTE,
    &AnalysisRecord::dOSE,  &AnalysisRecord::dOME,  &AnalysisRecord::dROSE, &AnalysisRecord::dOSME,
    &AnalysisRecord::dITE,  &AnalysisRecord::dISE,  &AnalysisRecord::dIME,  &AnalysisRecord::dRISE,
    &AnalysisRecord::dISME, &AnalysisRecord::dRME};
constexpr int kPriceOnlyColumns = 6;

const char kChainedTitle[] = " %s Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n";
const char kFixedBaseTitle[] = " %s Indexes Comparing Observation i to Observation %d \n";

// Under Paasche the allocative columns are the revenue and cost allocative
// efficiencies.
const char kChainedPaascheHeading[] =
    "  %s, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dRAE, dROSE, "
    "dOSME, dITE, dISE, dCAE, dRISE, dISME, dRME \n";
const char kChainedPricesHeading[] =
    "  %s, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, "
    "dOSME, dITE, dISE, dIME, dRISE, dISME, dRME \n";
const char kChainedHeading[] =
    "  %s, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, "
    "dRME \n";
const char kFixedBasePricesHeading[] =
    " %s, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, "
    "dITE, dISE, dIME, dRISE, dISME, dRME \n";
const char kFixedBaseHeading[] =
    " %s, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, "
    "dRME \n";

const char* Heading(const AnalysisRecord& r) {
  if (r.IsChained()) {
    if (r.Prices != 1) return kChainedHeading;
    return r.Paasche == 1 ? kChainedPaascheHeading : kChainedPricesHeading;
  }
  return r.Prices == 1 ? kFixedBasePricesHeading : kFixedBaseHeading;
}

std::string Title(const AnalysisRecord& r) {
  return r.IsChained() ? FormatText(kChainedTitle, FamilyName(r))
                       : FormatText(kFixedBaseTitle, FamilyName(r), static_cast<int>(r.Base));
}

// The identifiers of observation o and its 22 index values with prices, or
// its 16 quantity index values without.
void WriteIndexesRow(std::FILE* file, const AnalysisRecord& r, uint32_t o) {
  const SinglePrecisionOf sp = StartRow(file, r, o);
  const auto v = [&](int c) { return sp(r.*kIndexColumns[c]); };
  if (r.Prices == 1)
    FilePrintf(file,
               ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f,%3.4f,%3.4f,%3.4f,"
               "%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f \n",
               v(0), v(1), v(2), v(3), v(4), v(5), v(6), v(7), v(8), v(9), v(10), v(11), v(12), v(13), v(14),
               v(15), v(16), v(17), v(18), v(19), v(20), v(21));
  else
    FilePrintf(file,
               ",%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f \n",
               v(6), v(7), v(8), v(9), v(10), v(11), v(12), v(13), v(14), v(15), v(16), v(17), v(18), v(19), v(20),
               v(21));
}

}  // namespace

ValueTable IndexesTable(const AnalysisRecord& record) {
  ValueTable table;
  table.title = TrimmedTitle(Title(record));
  table.headings = HeadingNames(Heading(record));
  for (int c = record.Prices == 1 ? 0 : kPriceOnlyColumns; c < 22; ++c)
    table.columns.push_back(record.*kIndexColumns[c]);
  // The chained families print only the identifiers of the first period.
  table.printed = PrintedRows(record);
  if (record.IsChained())
    for (uint32_t o = 0; o < record.Firms && o < record.Observations; ++o) table.printed[o] = false;
  return table;
}

bool WriteIndexesFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_indexes.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  const uint32_t NT = record.Observations;
  if (record.IsChained() || record.IsFixedBase()) {
    FilePrintf(file, "%s", Title(record).c_str());
    FilePrintf(file, Heading(record), record.IdHeading);
  }

  if (record.IsChained()) {
    // The first period has no period before it: identifiers only.
    for (uint32_t o = 1; o <= record.Firms && o <= NT; ++o) {
      if (record.IsAbsent(o)) continue;
      WriteIdentifiers(file, record, o);
      FilePrintf(file, " \n");
    }
    for (uint32_t o = record.Firms + 1; o <= NT; ++o)
      if (!record.IsAbsent(o)) WriteIndexesRow(file, record, o);
  } else if (record.IsFixedBase()) {
    for (uint32_t o = 1; o <= NT; ++o)
      if (!record.IsAbsent(o)) WriteIndexesRow(file, record, o);
  }

  return CloseResultFile(files, file);
}
