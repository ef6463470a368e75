// The extras file: selected intermediate values of every observation (the
// aggregates QHAT, QBAR, Q, XHAT, XBAR and X of the observation and of its
// comparison observation, the distance-function values and, for the
// distance-function families, the LP multipliers), plus the representative
// observation's values for Fare-Primont. One section per family flag set.
//
// The values written in the row's own format string pass through single
// precision before "%3.4g"; the multipliers and the Fare-Primont block
// values, each written as a separate piece, are printed from their doubles.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/ResultTables.h"
#include "output/WriterPieces.h"

namespace {

// "%3.4g," for every entry of a representative-observation vector.
void WriteVectorPieces(std::FILE* file, const std::vector<double>& values) {
  for (double value : values) FilePrintf(file, "%3.4g,", value);
}

// The twelve aggregates of every row, in the file's order, and their heading.
constexpr ObservationVector AnalysisRecord::*kAggregateColumns[12] = {
    &AnalysisRecord::QHATt, &AnalysisRecord::QBARt, &AnalysisRecord::Q,  &AnalysisRecord::XHATt,
    &AnalysisRecord::XBARt, &AnalysisRecord::X,     &AnalysisRecord::QHATs, &AnalysisRecord::QBARs,
    &AnalysisRecord::Qs,    &AnalysisRecord::XHATs, &AnalysisRecord::XBARs, &AnalysisRecord::Xs};
const char kAggregatesHeading[] = " %s,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs,";

// The headings of the identifiers and the twelve aggregates, then `more`.
void WriteAggregatesHeading(std::FILE* file, const AnalysisRecord& r, const char* more) {
  FilePrintf(file, kAggregatesHeading, r.IdHeading);
  FilePrintf(file, "%s", more);
}

// The identifiers and the twelve aggregates of observation o, then the
// observation's entries of `more`, each after a comma, then `end`; all
// through single precision.
void WriteAggregatesRow(std::FILE* file, const AnalysisRecord& r, uint32_t o,
                        const std::vector<const ObservationVector*>& more, const char* end) {
  const SinglePrecisionOf sp = StartRow(file, r, o);
  const auto v = [&](int c) { return sp(r.*kAggregateColumns[c]); };
  FilePrintf(file, ", %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,  %3.4g,%3.4g", v(0), v(1), v(2),
             v(3), v(4), v(5), v(6), v(7), v(8), v(9), v(10), v(11));
  for (const ObservationVector* values : more) FilePrintf(file, ",%3.4g", sp(*values));
  FilePrintf(file, "%s", end);
}

// A group of multiplier columns: entries 1..count of a row of `table`,
// headed name1, name2, ...
struct MultiplierColumns {
  const char* name;
  const Matrix& table;
  uint32_t count;
};

// A section of the distance-function families: the aggregates, the
// family's distance values and its LP multipliers, the last multiplier
// ending the line. The multipliers are printed from their doubles, read with
// the checked access.
struct DistanceSection {
  const char* title;
  const char* distanceHeadings;
  std::vector<const ObservationVector*> distances;
  std::vector<MultiplierColumns> multipliers;
};

void WriteDistanceSection(std::FILE* file, const AnalysisRecord& record, const DistanceSection& section) {
  FilePrintf(file, "%s", section.title);
  WriteAggregatesHeading(file, record, section.distanceHeadings);
  const MultiplierColumns& last = section.multipliers.back();
  for (const MultiplierColumns& group : section.multipliers)
    for (uint32_t j = 1; j <= group.count; ++j)
      FilePrintf(file, &group == &last && j == group.count ? "%s%d \n" : "%s%d,", group.name, static_cast<int>(j));
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    if (record.IsAbsent(o)) continue;
    WriteAggregatesRow(file, record, o, section.distances, ",");
    for (const MultiplierColumns& group : section.multipliers)
      for (uint32_t j = 1; j <= group.count; ++j)
        FilePrintf(file, &group == &last && j == group.count ? "%3.4g \n" : "%3.4g,",
                   group.table.Row(o - 1)[j - 1]);
  }
}

DistanceSection MalmquistHsSection(const AnalysisRecord& r) {
  return {" Selected computations for Malmquist-hs indexes \n\n",
          " DItss, DIttt, HIttt, DOsts, DOttt, HOttt,",
          {&r.DItss, &r.DIttt, &r.HIttt, &r.DOsts, &r.DOttt, &r.HOttt},
          {{"alpha", r.alphahs, r.Outputs}, {"eta", r.etahs, r.Inputs}}};
}

DistanceSection MalmquistItSection(const AnalysisRecord& r) {
  return {" Selected computations for Malmquist-it indexes \n\n",
          "  DIstt, DIttt, HIttt,  DOtst, DOttt, HOttt,",
          {&r.DIstt, &r.DIttt, &r.HIttt, &r.DOtst, &r.DOttt, &r.HOttt},
          {{"alpha", r.alphait, r.Outputs}, {"eta", r.etait, r.Inputs}}};
}

DistanceSection HicksMoorsteenSection(const AnalysisRecord& r) {
  return {" Selected computations for Hicks-Moorsteen indexes \n\n",
          " DItss, DIstt, DIttt, HIttt, DOsts, DOtst, DOttt, HOttt,",
          {&r.DItss, &r.DIstt, &r.DIttt, &r.HIttt, &r.DOsts, &r.DOtst, &r.DOttt, &r.HOttt},
          {{"alphahs", r.alphahs, r.Outputs},
           {"etahs", r.etahs, r.Inputs},
           {"alphait", r.alphait, r.Outputs},
           {"etait", r.etait, r.Inputs}}};
}

// The aggregates table of the Fare-Primont and the price-based sections:
// after the aggregates the own-period distance values.
const char kOwnDistancesHeading[] = " DIttt, HIttt, DOttt, HOttt \n";
const char kPriceBasedTitle[] = " Selected computations for Paasche Laspeyres Fisher or Lowe indexes \n\n";

std::vector<const ObservationVector*> OwnDistances(const AnalysisRecord& r) {
  return {&r.DIttt, &r.HIttt, &r.DOttt, &r.HOttt};
}

// The aggregates and the own-period distance values of every observation:
// the table of the Fare-Primont and the price-based sections.
void WriteAggregatesTable(std::FILE* file, const AnalysisRecord& r) {
  WriteAggregatesHeading(file, r, kOwnDistancesHeading);
  const std::vector<const ObservationVector*> distances = OwnDistances(r);
  for (uint32_t o = 1; o <= r.Observations; ++o)
    if (!r.IsAbsent(o)) WriteAggregatesRow(file, r, o, distances, " \n");
}

// The values of a table: the twelve aggregates, the distance values headed
// by `distanceHeadings`, then the multiplier groups.
ValueTable AggregatesValues(const AnalysisRecord& r, const char* title, const char* distanceHeadings,
                            const std::vector<const ObservationVector*>& distances,
                            const std::vector<MultiplierColumns>& multipliers) {
  ValueTable table;
  table.title = TrimmedTitle(title);
  table.headings = HeadingNames(kAggregatesHeading);
  for (const std::string& name : HeadingNames(distanceHeadings)) table.headings.push_back(name);
  for (const auto column : kAggregateColumns) table.columns.push_back(r.*column);
  for (const ObservationVector* values : distances) table.columns.push_back(*values);
  for (const MultiplierColumns& group : multipliers) {
    for (uint32_t j = 1; j <= group.count; ++j) {
      table.headings.push_back(FormatText("%s%d", group.name, static_cast<int>(j)));
      std::vector<double> values(r.Observations);
      for (uint32_t o = 0; o < r.Observations; ++o) values[o] = group.table.Row(o)[j - 1];
      table.columns.push_back(std::move(values));
    }
  }
  table.printed = PrintedRows(r);
  return table;
}

// The representative observation's programs DO000 and DI000, their
// multipliers and the Fare-Primont weights, then the aggregates table.
void WriteFarePrimontSection(std::FILE* file, const AnalysisRecord& r) {
  FilePrintf(file, " DO000, ");
  FilePrintf(file, "%3.4g \n", r.DO000);
  FilePrintf(file, " alpha0, ");
  WriteVectorPieces(file, r.alpha0);
  FilePrintf(file, "\n");
  FilePrintf(file, " beta0, ");
  WriteVectorPieces(file, r.beta0);
  FilePrintf(file, "\n");
  FilePrintf(file, " gamma0, %3.4g \n", r.gamma0);
  FilePrintf(file, " q0, ");
  WriteVectorPieces(file, r.q0);
  FilePrintf(file, "\n");
  FilePrintf(file, " pstar0, ");
  WriteVectorPieces(file, r.pstar0);
  FilePrintf(file, "\n\n");

  FilePrintf(file, " DI000, ");
  FilePrintf(file, "%3.4g \n", r.DI000);
  FilePrintf(file, " phi0, ");
  WriteVectorPieces(file, r.phi0);
  FilePrintf(file, "\n");
  FilePrintf(file, " eta0, ");
  WriteVectorPieces(file, r.eta0);
  FilePrintf(file, "\n");
  FilePrintf(file, " delta0, %3.4g \n", r.delta0);
  FilePrintf(file, " x0, ");
  WriteVectorPieces(file, r.x0);
  FilePrintf(file, "\n");
  FilePrintf(file, " wstar0, ");
  WriteVectorPieces(file, r.wstar0);
  FilePrintf(file, "\n\n");

  WriteAggregatesTable(file, r);
}

}  // namespace

bool WriteExtrasFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_xtras.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  if (record.MalmquistHs == 1) WriteDistanceSection(file, record, MalmquistHsSection(record));
  if (record.MalmquistIt == 1) WriteDistanceSection(file, record, MalmquistItSection(record));
  if (record.HicksMoorsteen == 1) WriteDistanceSection(file, record, HicksMoorsteenSection(record));
  if (record.FarePrimont == 1) WriteFarePrimontSection(file, record);
  if (AnyChosenFamily(record, &FamilyFacts::priceBased)) {
    FilePrintf(file, kPriceBasedTitle);
    WriteAggregatesTable(file, record);
  }
  return CloseResultFile(files, file);
}

ValueTable ExtrasTable(const AnalysisRecord& record) {
  // One family is chosen, so the file holds one table.
  for (const auto& [flag, section] :
       {std::pair<int, DistanceSection (*)(const AnalysisRecord&)>{record.MalmquistHs, MalmquistHsSection},
        {record.MalmquistIt, MalmquistItSection},
        {record.HicksMoorsteen, HicksMoorsteenSection}}) {
    if (flag != 1) continue;
    const DistanceSection s = section(record);
    return AggregatesValues(record, s.title, s.distanceHeadings, s.distances, s.multipliers);
  }
  if (record.FarePrimont == 1)
    return AggregatesValues(record, "", kOwnDistancesHeading, OwnDistances(record), {});
  if (AnyChosenFamily(record, &FamilyFacts::priceBased))
    return AggregatesValues(record, kPriceBasedTitle, kOwnDistancesHeading, OwnDistances(record), {});
  return ValueTable();
}

std::vector<std::pair<std::string, std::vector<double>>> RepresentativeValues(const AnalysisRecord& r) {
  if (r.FarePrimont != 1) return {};
  return {{"DO000", {r.DO000}}, {"alpha0", r.alpha0}, {"beta0", r.beta0}, {"gamma0", {r.gamma0}},
          {"q0", r.q0},         {"pstar0", r.pstar0}, {"DI000", {r.DI000}}, {"phi0", r.phi0},
          {"eta0", r.eta0},     {"delta0", {r.delta0}}, {"x0", r.x0},     {"wstar0", r.wstar0}};
}
