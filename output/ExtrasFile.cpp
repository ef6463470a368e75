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
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/WriterPieces.h"

namespace {

// "%3.4g," for every entry of a representative-observation vector.
void WriteVectorPieces(std::FILE* file, const std::vector<double>& values) {
  for (double value : values) FilePrintf(file, "%3.4g,", value);
}

// The headings of the identifiers and the twelve aggregates, then `more`.
void WriteAggregatesHeading(std::FILE* file, const AnalysisRecord& r, const char* more) {
  FilePrintf(file, " %s,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs,%s", r.IdHeading,
             more);
}

// The identifiers and the twelve aggregates of observation o, then the
// observation's entries of `more`, each after a comma, then `end`; all
// through single precision.
void WriteAggregatesRow(std::FILE* file, const AnalysisRecord& r, uint32_t o,
                        const std::vector<const ObservationVector*>& more, const char* end) {
  const SinglePrecisionOf sp = StartRow(file, r, o);
  FilePrintf(file, ", %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,  %3.4g,%3.4g", sp(r.QHATt),
             sp(r.QBARt), sp(r.Q), sp(r.XHATt), sp(r.XBARt), sp(r.X), sp(r.QHATs), sp(r.QBARs), sp(r.Qs),
             sp(r.XHATs), sp(r.XBARs), sp(r.Xs));
  for (const ObservationVector* values : more) FilePrintf(file, ",%3.4g", sp(*values));
  FilePrintf(file, "%s", end);
}

// A group of multiplier columns: entries 1..count of a row of `table`,
// headed name1, name2, ...
struct MultiplierColumns {
  const char* name;
  Matrix& table;
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
    WriteAggregatesRow(file, record, o, section.distances, ",");
    for (const MultiplierColumns& group : section.multipliers)
      for (uint32_t j = 1; j <= group.count; ++j)
        FilePrintf(file, &group == &last && j == group.count ? "%3.4g \n" : "%3.4g,",
                   group.table.GetValue(o - 1, j - 1));
  }
}

void WriteMalmquistHsSection(std::FILE* file, AnalysisRecord& r) {
  WriteDistanceSection(file, r,
                       {" Selected computations for Malmquist-hs indexes \n\n",
                        " DItss, DIttt, HIttt, DOsts, DOttt, HOttt,",
                        {&r.DItss, &r.DIttt, &r.HIttt, &r.DOsts, &r.DOttt, &r.HOttt},
                        {{"alpha", r.alphahs, r.Outputs}, {"eta", r.etahs, r.Inputs}}});
}

void WriteMalmquistItSection(std::FILE* file, AnalysisRecord& r) {
  WriteDistanceSection(file, r,
                       {" Selected computations for Malmquist-it indexes \n\n",
                        "  DIstt, DIttt, HIttt,  DOtst, DOttt, HOttt,",
                        {&r.DIstt, &r.DIttt, &r.HIttt, &r.DOtst, &r.DOttt, &r.HOttt},
                        {{"alpha", r.alphait, r.Outputs}, {"eta", r.etait, r.Inputs}}});
}

void WriteHicksMoorsteenSection(std::FILE* file, AnalysisRecord& r) {
  WriteDistanceSection(file, r,
                       {" Selected computations for Hicks-Moorsteen indexes \n\n",
                        " DItss, DIstt, DIttt, HIttt, DOsts, DOtst, DOttt, HOttt,",
                        {&r.DItss, &r.DIstt, &r.DIttt, &r.HIttt, &r.DOsts, &r.DOtst, &r.DOttt, &r.HOttt},
                        {{"alphahs", r.alphahs, r.Outputs},
                         {"etahs", r.etahs, r.Inputs},
                         {"alphait", r.alphait, r.Outputs},
                         {"etait", r.etait, r.Inputs}}});
}

// The aggregates and the own-period distance values of every observation:
// the table of the Fare-Primont and the price-based sections.
void WriteAggregatesTable(std::FILE* file, const AnalysisRecord& r) {
  WriteAggregatesHeading(file, r, " DIttt, HIttt, DOttt, HOttt \n");
  for (uint32_t o = 1; o <= r.Observations; ++o)
    WriteAggregatesRow(file, r, o, {&r.DIttt, &r.HIttt, &r.DOttt, &r.HOttt}, " \n");
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

bool WriteExtrasFile(AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_xtras.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  if (record.MalmquistHs == 1) WriteMalmquistHsSection(file, record);
  if (record.MalmquistIt == 1) WriteMalmquistItSection(file, record);
  if (record.HicksMoorsteen == 1) WriteHicksMoorsteenSection(file, record);
  if (record.FarePrimont == 1) WriteFarePrimontSection(file, record);
  if (AnyChosenFamily(record, &FamilyFacts::priceBased)) {
    FilePrintf(file, " Selected computations for Paasche Laspeyres Fisher or Lowe indexes \n\n");
    WriteAggregatesTable(file, record);
  }
  return CloseResultFile(files, file);
}
