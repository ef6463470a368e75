#include "core/Families.h"

#include "core/AnalysisRecord.h"

const char* FamilyName(const AnalysisRecord& record) {
  // The flags are tried in this order and a later set flag overrides an
  // earlier one; the command section leaves exactly one of them set.
  const char* name = "";
  if (record.Laspeyres == 1) name = " Laspeyres";
  if (record.Paasche == 1) name = " Paasche";
  if (record.Fisher == 1) name = " Fisher";
  if (record.Lowe == 1) name = " Lowe";
  if (record.MalmquistHs == 1) name = " Malmquist-hs";
  if (record.MalmquistIt == 1) name = " Malmquist-it";
  if (record.HicksMoorsteen == 1) name = " Hicks-Moorsteen";
  if (record.FarePrimont == 1) name = " Fare-Primont";
  return name;
}
