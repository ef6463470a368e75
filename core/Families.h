#pragma once
// The eight index families in one table: the record's flag that selects each,
// its printed name and the properties the reader, the computation sets and
// the writers go by. The command section leaves exactly one flag set; the
// family command codes of the reader (input/CommandSection.cpp) follow the
// table's order.

#include <cstddef>

struct AnalysisRecord;

struct FamilyFacts {
  int AnalysisRecord::*flag;  // the record's flag (1 when the family was chosen)
  const char* name;           // printed name: file headings, the console, the report
  bool chained;               // compares firm i in period t with period t-1; otherwise with Base
  bool priceBased;            // weights are observed or mean prices: needs Prices
  bool twoPass;               // weighs twice and takes the geometric mean of the passes
};

// Laspeyres, Paasche, Fisher, Lowe, Malmquist-hs, Malmquist-it,
// Hicks-Moorsteen, Fare-Primont.
constexpr std::size_t kFamilyCount = 8;
extern const FamilyFacts kFamilies[kFamilyCount];

// Whether any family whose `property` is true is chosen in the record.
bool AnyChosenFamily(const AnalysisRecord& record, bool FamilyFacts::*property);

// The printed name (" Laspeyres" ... " Fare-Primont") of the chosen family,
// the last set flag in table order winning; "" when none is set.
const char* FamilyName(const AnalysisRecord& record);
