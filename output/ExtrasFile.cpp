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

// "%3.4g," for entries 1..count of observation o's row of a multiplier
// matrix, read with the checked access.
void WriteMatrixPieces(std::FILE* file, Matrix& table, uint32_t o, uint32_t count) {
  for (uint32_t j = 1; j <= count; ++j) FilePrintf(file, "%3.4g,", table.GetValue(o - 1, j - 1));
}

// "%3.4g," for the first `count` entries of observation o's row, then
// "%3.4g \n" for the last one, which ends the line.
void WriteLastMatrixPieces(std::FILE* file, Matrix& table, uint32_t o, uint32_t count) {
  for (uint32_t j = 1; j < count; ++j) FilePrintf(file, "%3.4g,", table.GetValue(o - 1, j - 1));
  FilePrintf(file, "%3.4g \n", table.GetValue(o - 1, count - 1));
}

// "%3.4g," for every entry of a representative-observation vector.
void WriteVectorPieces(std::FILE* file, const std::vector<double>& values) {
  for (double value : values) FilePrintf(file, "%3.4g,", value);
}

// The identifiers and the 18 aggregates and distance values of the Malmquist
// sections; the line goes on with the multipliers.
void WriteMalmquistValues(std::FILE* file, const AnalysisRecord& r, uint32_t o, const ObservationVector& DIfirst,
                          const ObservationVector& DOfirst) {
  const uint32_t i = o - 1;
  auto sp = [i](const ObservationVector& v) { return SinglePrecision(v[i]); };
  WriteIdentifiers(file, r, o);
  FilePrintf(file, ", %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,  %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,",
             sp(r.QHATt), sp(r.QBARt), sp(r.Q), sp(r.XHATt), sp(r.XBARt), sp(r.X), sp(r.QHATs), sp(r.QBARs),
             sp(r.Qs), sp(r.XHATs), sp(r.XBARs), sp(r.Xs), sp(DIfirst), sp(r.DIttt), sp(r.HIttt), sp(DOfirst),
             sp(r.DOttt), sp(r.HOttt));
}

// A Malmquist section: the family's own distance values (DItss/DOsts or
// DIstt/DOtst) and multipliers (alpha, eta) after the shared aggregates.
struct MalmquistSection {
  const char* title;
  const char* distanceHeadings;
  const ObservationVector& DIfirst;
  const ObservationVector& DOfirst;
  Matrix& alpha;
  Matrix& eta;
};

void WriteMalmquistSection(std::FILE* file, AnalysisRecord& record, const MalmquistSection& section) {
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  FilePrintf(file, "%s", section.title);
  FilePrintf(file, " %s,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs,%s", record.IdHeading,
             section.distanceHeadings);
  for (uint32_t m = 1; m <= M; ++m) FilePrintf(file, "alpha%d,", static_cast<int>(m));
  for (uint32_t k = 1; k < K; ++k) FilePrintf(file, "eta%d,", static_cast<int>(k));
  FilePrintf(file, "eta%d \n", static_cast<int>(K));
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    WriteMalmquistValues(file, record, o, section.DIfirst, section.DOfirst);
    WriteMatrixPieces(file, section.alpha, o, M);
    WriteLastMatrixPieces(file, section.eta, o, K);
  }
}

void WriteMalmquistHsSection(std::FILE* file, AnalysisRecord& record) {
  WriteMalmquistSection(file, record,
                        {" Selected computations for Malmquist-hs indexes \n\n",
                         " DItss, DIttt, HIttt, DOsts, DOttt, HOttt,", record.DItss, record.DOsts, record.alphahs,
                         record.etahs});
}

void WriteMalmquistItSection(std::FILE* file, AnalysisRecord& record) {
  WriteMalmquistSection(file, record,
                        {" Selected computations for Malmquist-it indexes \n\n",
                         "  DIstt, DIttt, HIttt,  DOtst, DOttt, HOttt,", record.DIstt, record.DOtst, record.alphait,
                         record.etait});
}

void WriteHicksMoorsteenSection(std::FILE* file, AnalysisRecord& record) {
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  FilePrintf(file, " Selected computations for Hicks-Moorsteen indexes \n\n");
  FilePrintf(file,
             " %s,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs, DItss, DIstt, DIttt, "
             "HIttt, DOsts, DOtst, DOttt, HOttt,",
             record.IdHeading);
  for (uint32_t m = 1; m <= M; ++m) FilePrintf(file, "alphahs%d,", static_cast<int>(m));
  for (uint32_t k = 1; k <= K; ++k) FilePrintf(file, "etahs%d,", static_cast<int>(k));
  for (uint32_t m = 1; m <= M; ++m) FilePrintf(file, "alphait%d,", static_cast<int>(m));
  for (uint32_t k = 1; k < K; ++k) FilePrintf(file, "etait%d,", static_cast<int>(k));
  FilePrintf(file, "etait%d \n", static_cast<int>(K));
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    const uint32_t i = o - 1;
    const AnalysisRecord& r = record;
    auto sp = [i](const ObservationVector& v) { return SinglePrecision(v[i]); };
    WriteIdentifiers(file, record, o);
    FilePrintf(file,
               ", %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,  %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,"
               "%3.4g,%3.4g,%3.4g,%3.4g,",
               sp(r.QHATt), sp(r.QBARt), sp(r.Q), sp(r.XHATt), sp(r.XBARt), sp(r.X), sp(r.QHATs), sp(r.QBARs),
               sp(r.Qs), sp(r.XHATs), sp(r.XBARs), sp(r.Xs), sp(r.DItss), sp(r.DIstt), sp(r.DIttt), sp(r.HIttt),
               sp(r.DOsts), sp(r.DOtst), sp(r.DOttt), sp(r.HOttt));
    WriteMatrixPieces(file, record.alphahs, o, M);
    WriteMatrixPieces(file, record.etahs, o, K);
    WriteMatrixPieces(file, record.alphait, o, M);
    WriteLastMatrixPieces(file, record.etait, o, K);
  }
}

// The aggregates and the own-period distance values of every observation:
// the table of the Fare-Primont and the price-based sections.
void WriteAggregatesTable(std::FILE* file, const AnalysisRecord& r) {
  FilePrintf(file,
             " %s,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs, DIttt, HIttt, DOttt, "
             "HOttt \n",
             r.IdHeading);
  for (uint32_t o = 1; o <= r.Observations; ++o) {
    const uint32_t i = o - 1;
    auto sp = [i](const ObservationVector& v) { return SinglePrecision(v[i]); };
    WriteIdentifiers(file, r, o);
    FilePrintf(file, ", %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g,  %3.4g,%3.4g,%3.4g,%3.4g,%3.4g,%3.4g \n",
               sp(r.QHATt), sp(r.QBARt), sp(r.Q), sp(r.XHATt), sp(r.XBARt), sp(r.X), sp(r.QHATs), sp(r.QBARs),
               sp(r.Qs), sp(r.XHATs), sp(r.XBARs), sp(r.Xs), sp(r.DIttt), sp(r.HIttt), sp(r.DOttt), sp(r.HOttt));
  }
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

bool WriteExtrasFile(AnalysisRecord& record, const std::string& fileName) {
  std::FILE* file = OpenResultFile(fileName, "Unable to open _output_xtras.csv file for writing");
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
  return CloseResultFile(file, "Unable to write _output_xtras.csv file");
}
