#include "core/Families.h"

#include "core/AnalysisRecord.h"

const FamilyFacts kFamilies[kFamilyCount] = {
    // flag, name, chained, priceBased, twoPass
    {&AnalysisRecord::Laspeyres, " Laspeyres", true, true, false},
    {&AnalysisRecord::Paasche, " Paasche", true, true, false},
    {&AnalysisRecord::Fisher, " Fisher", true, true, true},
    {&AnalysisRecord::Lowe, " Lowe", false, true, false},
    {&AnalysisRecord::MalmquistHs, " Malmquist-hs", true, false, false},
    {&AnalysisRecord::MalmquistIt, " Malmquist-it", true, false, false},
    {&AnalysisRecord::HicksMoorsteen, " Hicks-Moorsteen", true, false, true},
    {&AnalysisRecord::FarePrimont, " Fare-Primont", false, false, false},
};

bool AnyChosenFamily(const AnalysisRecord& record, bool FamilyFacts::*property) {
  for (const FamilyFacts& family : kFamilies)
    if (record.*family.flag && family.*property) return true;
  return false;
}

const char* FamilyName(const AnalysisRecord& record) {
  const char* name = "";
  for (const FamilyFacts& family : kFamilies)
    if (record.*family.flag == 1) name = family.name;
  return name;
}

bool AnalysisRecord::IsChained() const { return AnyChosenFamily(*this, &FamilyFacts::chained); }

// Every family that is not chained compares with Base.
bool AnalysisRecord::IsFixedBase() const {
  for (const FamilyFacts& family : kFamilies)
    if (this->*family.flag && !family.chained) return true;
  return false;
}
