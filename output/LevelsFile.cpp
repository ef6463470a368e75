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
#include "output/WriterPieces.h"

namespace {

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

void WriteLevelsHalf(std::FILE* file, const AnalysisRecord& r, const LevelsLayout& layout, bool paasche) {
  const bool prices = r.Prices == 1;
  const char* heading = prices ? (paasche ? kPaascheHeading : layout.headingWithPrices) : layout.headingWithoutPrices;
  FilePrintf(file, heading, r.IdHeading);
  for (uint32_t o = 1; o <= r.Observations; ++o) {
    const SinglePrecisionOf sp = StartRow(file, r, o);
    if (prices)
      FilePrintf(file, layout.rowWithPrices, sp(r.Rev), sp(r.Cost), sp(r.Prof), sp(r.P), sp(r.W), sp(r.TT), sp(r.Q),
                 sp(r.X), sp(r.TFP), sp(r.TFPstar), sp(r.TFPE), sp(r.OTE), sp(r.OSE), sp(r.OME), sp(r.ROSE),
                 sp(r.OSME), sp(r.ITE), sp(r.ISE), sp(r.IME), sp(r.RISE), sp(r.ISME), sp(r.RME), RowEnd(r, o));
    else
      FilePrintf(file, layout.rowWithoutPrices, sp(r.Q), sp(r.X), sp(r.TFP), sp(r.TFPstar), sp(r.TFPE), sp(r.OTE),
                 sp(r.OSE), sp(r.OME), sp(r.ROSE), sp(r.OSME), sp(r.ITE), sp(r.ISE), sp(r.IME), sp(r.RISE),
                 sp(r.ISME), sp(r.RME), RowEnd(r, o));
  }
}

}  // namespace

bool WriteLevelsFile(AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_levels.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  FilePrintf(file, " Levels Computed Using %s Aggregator Functions  \n", FamilyName(record));
  if (record.IsChained()) WriteLevelsHalf(file, record, kChainedLayout, record.Paasche == 1);
  if (record.IsFixedBase()) WriteLevelsHalf(file, record, kFixedBaseLayout, false);
  return CloseResultFile(files, file);
}
