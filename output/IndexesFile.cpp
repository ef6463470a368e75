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
#include "output/WriterPieces.h"

namespace {

// The identifiers of observation o and its 22 index values with prices, or
// its 16 quantity index values without.
void WriteIndexesRow(std::FILE* file, const AnalysisRecord& r, uint32_t o) {
  const SinglePrecisionOf sp = StartRow(file, r, o);
  if (r.Prices == 1)
    FilePrintf(file,
               ",%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f,%3.4f,%3.4f,%3.4f,"
               "%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f \n",
               sp(r.dRev), sp(r.dCost), sp(r.dProf), sp(r.dP), sp(r.dW), sp(r.dTT), sp(r.dQ), sp(r.dX),
               sp(r.dTFP), sp(r.dTech), sp(r.dTFPE), sp(r.dOTE), sp(r.dOSE), sp(r.dOME), sp(r.dROSE),
               sp(r.dOSME), sp(r.dITE), sp(r.dISE), sp(r.dIME), sp(r.dRISE), sp(r.dISME), sp(r.dRME));
  else
    FilePrintf(file,
               ",%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f,%3.4f, %3.4f,%3.4f \n",
               sp(r.dQ), sp(r.dX), sp(r.dTFP), sp(r.dTech), sp(r.dTFPE), sp(r.dOTE), sp(r.dOSE), sp(r.dOME),
               sp(r.dROSE), sp(r.dOSME), sp(r.dITE), sp(r.dISE), sp(r.dIME), sp(r.dRISE), sp(r.dISME), sp(r.dRME));
}

}  // namespace

bool WriteIndexesFile(AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_indexes.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  const uint32_t NT = record.Observations;

  if (record.IsChained()) {
    FilePrintf(file, " %s Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n", FamilyName(record));
    if (record.Prices == 1) {
      // Under Paasche the allocative columns are the revenue and cost
      // allocative efficiencies.
      if (record.Paasche == 1)
        FilePrintf(file,
                   "  %s, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dRAE, dROSE, "
                   "dOSME, dITE, dISE, dCAE, dRISE, dISME, dRME \n",
                   record.IdHeading);
      else
        FilePrintf(file,
                   "  %s, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, "
                   "dOSME, dITE, dISE, dIME, dRISE, dISME, dRME \n",
                   record.IdHeading);
    } else {
      FilePrintf(file,
                 "  %s, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, "
                 "dRME \n",
                 record.IdHeading);
    }
    // The first period has no period before it: identifiers only.
    for (uint32_t o = 1; o <= record.Firms && o <= NT; ++o) {
      WriteIdentifiers(file, record, o);
      FilePrintf(file, " \n");
    }
    for (uint32_t o = record.Firms + 1; o <= NT; ++o) WriteIndexesRow(file, record, o);
  }

  if (record.IsFixedBase()) {
    FilePrintf(file, " %s Indexes Comparing Observation i to Observation %d \n", FamilyName(record),
               static_cast<int>(record.Base));
    if (record.Prices == 1)
      FilePrintf(file,
                 " %s, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, "
                 "dITE, dISE, dIME, dRISE, dISME, dRME \n",
                 record.IdHeading);
    else
      FilePrintf(file,
                 " %s, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, "
                 "dRME \n",
                 record.IdHeading);
    for (uint32_t o = 1; o <= NT; ++o) WriteIndexesRow(file, record, o);
  }

  return CloseResultFile(files, file);
}
