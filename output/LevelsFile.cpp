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

// Rows R1 (chained families with prices): 22 measures.
void WriteChainedRowWithPrices(std::FILE* file, const AnalysisRecord& r, uint32_t o) {
  const uint32_t i = o - 1;
  auto sp = [i](const ObservationVector& v) { return SinglePrecision(v[i]); };
  WriteIdentifiers(file, r, o);
  FilePrintf(file,
             ", %3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,"
             "%3.4f,%3.4f, %3.4f,%3.4f,%3.4f,%3.4f%s",
             sp(r.Rev), sp(r.Cost), sp(r.Prof), sp(r.P), sp(r.W), sp(r.TT), sp(r.Q), sp(r.X), sp(r.TFP),
             sp(r.TFPstar), sp(r.TFPE), sp(r.OTE), sp(r.OSE), sp(r.OME), sp(r.ROSE), sp(r.OSME), sp(r.ITE),
             sp(r.ISE), sp(r.IME), sp(r.RISE), sp(r.ISME), sp(r.RME), RowEnd(r, o));
}

// Rows R2 (chained families without prices): 16 measures.
void WriteChainedRowWithoutPrices(std::FILE* file, const AnalysisRecord& r, uint32_t o) {
  const uint32_t i = o - 1;
  auto sp = [i](const ObservationVector& v) { return SinglePrecision(v[i]); };
  WriteIdentifiers(file, r, o);
  FilePrintf(file, ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f%s",
             sp(r.Q), sp(r.X), sp(r.TFP), sp(r.TFPstar), sp(r.TFPE), sp(r.OTE), sp(r.OSE), sp(r.OME), sp(r.ROSE),
             sp(r.OSME), sp(r.ITE), sp(r.ISE), sp(r.IME), sp(r.RISE), sp(r.ISME), sp(r.RME), RowEnd(r, o));
}

// Rows R3 (fixed-base families with prices): 22 measures.
void WriteFixedBaseRowWithPrices(std::FILE* file, const AnalysisRecord& r, uint32_t o) {
  const uint32_t i = o - 1;
  auto sp = [i](const ObservationVector& v) { return SinglePrecision(v[i]); };
  WriteIdentifiers(file, r, o);
  FilePrintf(file,
             ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f ,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,"
             "%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f%s",
             sp(r.Rev), sp(r.Cost), sp(r.Prof), sp(r.P), sp(r.W), sp(r.TT), sp(r.Q), sp(r.X), sp(r.TFP),
             sp(r.TFPstar), sp(r.TFPE), sp(r.OTE), sp(r.OSE), sp(r.OME), sp(r.ROSE), sp(r.OSME), sp(r.ITE),
             sp(r.ISE), sp(r.IME), sp(r.RISE), sp(r.ISME), sp(r.RME), RowEnd(r, o));
}

// Rows R4 (fixed-base families without prices): 16 measures.
void WriteFixedBaseRowWithoutPrices(std::FILE* file, const AnalysisRecord& r, uint32_t o) {
  const uint32_t i = o - 1;
  auto sp = [i](const ObservationVector& v) { return SinglePrecision(v[i]); };
  WriteIdentifiers(file, r, o);
  FilePrintf(file, ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f%s",
             sp(r.Q), sp(r.X), sp(r.TFP), sp(r.TFPstar), sp(r.TFPE), sp(r.OTE), sp(r.OSE), sp(r.OME), sp(r.ROSE),
             sp(r.OSME), sp(r.ITE), sp(r.ISE), sp(r.IME), sp(r.RISE), sp(r.ISME), sp(r.RME), RowEnd(r, o));
}

}  // namespace

bool WriteLevelsFile(AnalysisRecord& record, const std::string& fileName) {
  std::FILE* file = OpenResultFile(fileName, "Unable to open _output_levels.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  FilePrintf(file, " Levels Computed Using %s Aggregator Functions  \n", FamilyName(record));
  const uint32_t NT = record.Observations;

  if (record.IsChained()) {
    if (record.Prices == 1) {
      // Under Paasche the allocative columns are the revenue and cost
      // allocative efficiencies.
      if (record.Paasche == 1)
        FilePrintf(file,
                   "  %s, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, RAE, ROSE, OSME, ITE, ISE, CAE, "
                   "RISE,ISME, RME, \n",
                   record.IdHeading);
      else
        FilePrintf(file,
                   "  %s, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, "
                   "RISE,ISME, RME, \n",
                   record.IdHeading);
      for (uint32_t o = 1; o <= NT; ++o) WriteChainedRowWithPrices(file, record, o);
    } else {
      FilePrintf(file, "  %s, Q,  X,  TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE,ISME, RME, \n",
                 record.IdHeading);
      for (uint32_t o = 1; o <= NT; ++o) WriteChainedRowWithoutPrices(file, record, o);
    }
  }

  if (record.IsFixedBase()) {
    if (record.Prices == 1) {
      FilePrintf(file,
                 "  %s, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, "
                 "RISE, ISME, RME \n",
                 record.IdHeading);
      for (uint32_t o = 1; o <= NT; ++o) WriteFixedBaseRowWithPrices(file, record, o);
    } else {
      FilePrintf(file, "  %s, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE, ISME, RME \n",
                 record.IdHeading);
      for (uint32_t o = 1; o <= NT; ++o) WriteFixedBaseRowWithoutPrices(file, record, o);
    }
  }

  return CloseResultFile(file, "Unable to write _output_levels.csv file");
}
