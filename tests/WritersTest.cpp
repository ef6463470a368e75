// Exact bytes of the four result files, written from small records built by
// hand. Every measure gets a distinct value so that a value in the wrong
// column shows; the special values check the printing rules: 0.99995 (0.9999
// after single precision, 1.0000 or 1 from the double), 1.2345 (1.235 after
// single precision, 1.234 from the double), 1.00004, 0.123456789, -9999 and
// 1234567 (three exponent digits).
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "input/InputFile.h"
#include "output/ResultFiles.h"
#include "report/PeriodMeans.h"
#include "report/ReportFile.h"

namespace {

enum class Family { Laspeyres, Paasche, Fisher, Lowe, MalmquistHs, MalmquistIt, HicksMoorsteen, FarePrimont };

void SelectFamily(AnalysisRecord& record, Family family) {
  record.Laspeyres = family == Family::Laspeyres;
  record.Paasche = family == Family::Paasche;
  record.Fisher = family == Family::Fisher;
  record.Lowe = family == Family::Lowe;
  record.MalmquistHs = family == Family::MalmquistHs;
  record.MalmquistIt = family == Family::MalmquistIt;
  record.HicksMoorsteen = family == Family::HicksMoorsteen;
  record.FarePrimont = family == Family::FarePrimont;
}

// Storage for N firms and T periods; firm i in period t has the identifiers
// 10 + i and 1996 + t.
void MakeRecord(AnalysisRecord& record, uint32_t N, uint32_t T, uint32_t M, uint32_t K) {
  SetUpProblem(record, N, T, M, K);
  std::strcpy(record.IdHeading, "Id,Year");
  for (uint32_t o = 1; o <= N * T; ++o) {
    record.Id1[o - 1] = 10.0 + ((o - 1) % N + 1);
    record.Id2[o - 1] = 1996.0 + ((o - 1) / N + 1);
  }
}

using Column = ObservationVector AnalysisRecord::*;

// Column j (1-based) of observation o gets o * 100 + j + 0.25.
template <std::size_t Count>
void FillColumns(AnalysisRecord& record, const Column (&columns)[Count]) {
  for (uint32_t o = 1; o <= record.Observations; ++o)
    for (std::size_t j = 1; j <= Count; ++j) (record.*columns[j - 1])[o - 1] = o * 100.0 + j + 0.25;
}

const Column kLevelColumns[22] = {
    &AnalysisRecord::Rev,  &AnalysisRecord::Cost, &AnalysisRecord::Prof,    &AnalysisRecord::P,
    &AnalysisRecord::W,    &AnalysisRecord::TT,   &AnalysisRecord::Q,       &AnalysisRecord::X,
    &AnalysisRecord::TFP,  &AnalysisRecord::TFPstar, &AnalysisRecord::TFPE, &AnalysisRecord::OTE,
    &AnalysisRecord::OSE,  &AnalysisRecord::OME,  &AnalysisRecord::ROSE,    &AnalysisRecord::OSME,
    &AnalysisRecord::ITE,  &AnalysisRecord::ISE,  &AnalysisRecord::IME,     &AnalysisRecord::RISE,
    &AnalysisRecord::ISME, &AnalysisRecord::RME};

const Column kIndexColumns[22] = {
    &AnalysisRecord::dRev,  &AnalysisRecord::dCost, &AnalysisRecord::dProf, &AnalysisRecord::dP,
    &AnalysisRecord::dW,    &AnalysisRecord::dTT,   &AnalysisRecord::dQ,    &AnalysisRecord::dX,
    &AnalysisRecord::dTFP,  &AnalysisRecord::dTech, &AnalysisRecord::dTFPE, &AnalysisRecord::dOTE,
    &AnalysisRecord::dOSE,  &AnalysisRecord::dOME,  &AnalysisRecord::dROSE, &AnalysisRecord::dOSME,
    &AnalysisRecord::dITE,  &AnalysisRecord::dISE,  &AnalysisRecord::dIME,  &AnalysisRecord::dRISE,
    &AnalysisRecord::dISME, &AnalysisRecord::dRME};

// Levels: observation 2 has TFP 0.123456789, OTE 0.99995 and ITE missing.
void FillLevels(AnalysisRecord& record) {
  FillColumns(record, kLevelColumns);
  record.TFP[1] = 0.123456789;
  record.OTE[1] = 0.99995;
  record.ITE[1] = kMissing;
}

// Indexes: observation 3, when there is one, has dQ 1.00004, dTFP 0.99995
// and dOTE missing.
void FillIndexes(AnalysisRecord& record) {
  FillColumns(record, kIndexColumns);
  if (record.Observations < 3) return;
  record.dQ[2] = 1.00004;
  record.dTFP[2] = 0.99995;
  record.dOTE[2] = kMissing;
}

// Extras: vector v (1-based, in the order below) of observation o gets
// o + v / 8; observation 2 has QHATt 1.2345, XHATs missing and DIttt 0.99995.
// Multiplier (o, j) of alphahs, etahs, alphait, etait gets 10 o, 20 o, 30 o,
// 40 o plus j + 0.5; alphahs and alphait (1, 1) are 1.2345 and the last input
// multiplier of observation 2 is 0.99995.
void FillExtras(AnalysisRecord& record) {
  const Column vectors[20] = {
      &AnalysisRecord::QHATt, &AnalysisRecord::QBARt, &AnalysisRecord::Q,     &AnalysisRecord::XHATt,
      &AnalysisRecord::XBARt, &AnalysisRecord::X,     &AnalysisRecord::QHATs, &AnalysisRecord::QBARs,
      &AnalysisRecord::Qs,    &AnalysisRecord::XHATs, &AnalysisRecord::XBARs, &AnalysisRecord::Xs,
      &AnalysisRecord::DItss, &AnalysisRecord::DIstt, &AnalysisRecord::DIttt, &AnalysisRecord::HIttt,
      &AnalysisRecord::DOsts, &AnalysisRecord::DOtst, &AnalysisRecord::DOttt, &AnalysisRecord::HOttt};
  for (uint32_t o = 1; o <= record.Observations; ++o)
    for (int v = 1; v <= 20; ++v) (record.*vectors[v - 1])[o - 1] = o + v / 8.0;
  record.QHATt[1] = 1.2345;
  record.XHATs[1] = kMissing;
  record.DIttt[1] = 0.99995;

  struct Multipliers {
    Matrix AnalysisRecord::*table;
    double scale;
  };
  const Multipliers tables[4] = {{&AnalysisRecord::alphahs, 10.0},
                                 {&AnalysisRecord::etahs, 20.0},
                                 {&AnalysisRecord::alphait, 30.0},
                                 {&AnalysisRecord::etait, 40.0}};
  for (const Multipliers& m : tables) {
    Matrix& table = record.*m.table;
    for (uint32_t o = 1; o <= record.Observations; ++o)
      for (uint32_t j = 1; j <= table.m_NumCols; ++j) table.SetValue(o - 1, j - 1, m.scale * o + j + 0.5);
  }
  record.alphahs.SetValue(0, 0, 1.2345);
  record.alphait.SetValue(0, 0, 1.2345);
  record.etahs.SetValue(1, record.Inputs - 1, 0.99995);
  record.etait.SetValue(1, record.Inputs - 1, 0.99995);

  // The representative observation (read only by the Fare-Primont section).
  record.DO000 = 0.75;
  record.alpha0 = {0.5, 1.2345};
  record.beta0 = {2.0};
  record.gamma0 = -0.125;
  record.q0 = {3.0, 4.0};
  record.pstar0 = {0.25, 0.0625};
  record.DI000 = 1.5;
  record.phi0 = {6.0, 7.0};
  record.eta0 = {8.0};
  record.delta0 = 0.99995;
  record.x0 = {9.0};
  record.wstar0 = {1234567.0};
}

using Writer = bool (*)(const AnalysisRecord&, const std::string&);

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "koru_writers_" + std::to_string(getpid()) + "_" + name;
}

// Writes the file, reads it back whole and removes it.
std::string WriteAndRead(Writer writer, AnalysisRecord& record, const std::string& name) {
  const std::string path = TempPath(name);
  writer(record, path);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::remove(path.c_str());
  return text.str();
}

// The first `count` lines of a text.
std::string FirstLines(const std::string& text, int count) {
  std::size_t end = 0;
  for (int i = 0; i < count && end != std::string::npos; ++i) {
    end = text.find('\n', end);
    if (end != std::string::npos) ++end;
  }
  return text.substr(0, end);
}

// ---------------------------------------------------------------------------
// Levels file

struct LevelsCase {
  const char* name;
  Family family;
  int prices;
  uint32_t firms, periods;
  double maxFlags[4];
  const char* expected;
};

const LevelsCase kLevelsCases[] = {
    {"LaspeyresWithPricesNamesOmeAndIme", Family::Laspeyres, 1, 1, 2, {1.0, 0.0},
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Laspeyres Aggregator Functions  \n"
       "  Id,Year, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE,ISME, RME, \n"
       "1,    11,  1997, 101.2500,102.2500,103.2500,104.2500,105.2500,106.2500,107.2500,108.2500,109.2500,110.2500,111.2500,112.2500,113.2500,114.2500,115.2500,116.2500,117.2500,118.2500, 119.2500,120.2500,121.2500,122.2500,max \n"
       "2,    11,  1998, 201.2500,202.2500,203.2500,204.2500,205.2500,206.2500,207.2500,208.2500,0.1235,210.2500,211.2500,0.9999,213.2500,214.2500,215.2500,216.2500,-9999.0000,218.2500, 219.2500,220.2500,221.2500,222.2500 \n"},
    {"PaascheWithPricesNamesRaeAndCae", Family::Paasche, 1, 1, 2, {1.0, 0.0},
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Paasche Aggregator Functions  \n"
       "  Id,Year, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, RAE, ROSE, OSME, ITE, ISE, CAE, RISE,ISME, RME, \n"
       "1,    11,  1997, 101.2500,102.2500,103.2500,104.2500,105.2500,106.2500,107.2500,108.2500,109.2500,110.2500,111.2500,112.2500,113.2500,114.2500,115.2500,116.2500,117.2500,118.2500, 119.2500,120.2500,121.2500,122.2500,max \n"
       "2,    11,  1998, 201.2500,202.2500,203.2500,204.2500,205.2500,206.2500,207.2500,208.2500,0.1235,210.2500,211.2500,0.9999,213.2500,214.2500,215.2500,216.2500,-9999.0000,218.2500, 219.2500,220.2500,221.2500,222.2500 \n"},
    {"MalmquistHsWithoutPrices", Family::MalmquistHs, 0, 1, 2, {1.0, 0.0},
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Malmquist-hs Aggregator Functions  \n"
       "  Id,Year, Q,  X,  TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE,ISME, RME, \n"
       "1,    11,  1997,107.2500,108.2500,109.2500,110.2500,111.2500,112.2500,113.2500,114.2500,115.2500,116.2500,117.2500,118.2500,119.2500,120.2500,121.2500,122.2500,max \n"
       "2,    11,  1998,207.2500,208.2500,0.1235,210.2500,211.2500,0.9999,213.2500,214.2500,215.2500,216.2500,-9999.0000,218.2500,219.2500,220.2500,221.2500,222.2500 \n"},
    {"LoweWithPricesHasBlankBeforeComma", Family::Lowe, 1, 1, 2, {1.0, 0.0},
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Lowe Aggregator Functions  \n"
       "  Id,Year, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE, ISME, RME \n"
       "1,    11,  1997,101.2500,102.2500,103.2500,104.2500,105.2500,106.2500,107.2500,108.2500,109.2500,110.2500 ,111.2500,112.2500,113.2500,114.2500,115.2500,116.2500,117.2500,118.2500,119.2500,120.2500, 121.2500,122.2500,max \n"
       "2,    11,  1998,201.2500,202.2500,203.2500,204.2500,205.2500,206.2500,207.2500,208.2500,0.1235,210.2500 ,211.2500,0.9999,213.2500,214.2500,215.2500,216.2500,-9999.0000,218.2500,219.2500,220.2500, 221.2500,222.2500 \n"},
    {"FarePrimontWithoutPricesTwoFirmsTwoPeriods", Family::FarePrimont, 0, 2, 2, {1.0, 0.0, 0.0, 1.0},
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Fare-Primont Aggregator Functions  \n"
       "  Id,Year, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE, ISME, RME \n"
       "1,    11,  1997,107.2500,108.2500,109.2500,110.2500,111.2500,112.2500,113.2500,114.2500,115.2500,116.2500,117.2500,118.2500,119.2500,120.2500, 121.2500,122.2500,max \n"
       "2,    12,  1997,207.2500,208.2500,0.1235,210.2500,211.2500,0.9999,213.2500,214.2500,215.2500,216.2500,-9999.0000,218.2500,219.2500,220.2500, 221.2500,222.2500 \n"
       "3,    11,  1998,307.2500,308.2500,309.2500,310.2500,311.2500,312.2500,313.2500,314.2500,315.2500,316.2500,317.2500,318.2500,319.2500,320.2500, 321.2500,322.2500 \n"
       "4,    12,  1998,407.2500,408.2500,409.2500,410.2500,411.2500,412.2500,413.2500,414.2500,415.2500,416.2500,417.2500,418.2500,419.2500,420.2500, 421.2500,422.2500,max \n"},
};

TEST(WriterLevels, WritesExactBytesForEachLayout) {
  for (const LevelsCase& c : kLevelsCases) {
    AnalysisRecord record;
    MakeRecord(record, c.firms, c.periods, 1, 1);
    SelectFamily(record, c.family);
    record.Prices = c.prices;
    FillLevels(record);
    for (uint32_t o = 0; o < record.Observations; ++o) record.TfpMaxFlag[o] = c.maxFlags[o];
    EXPECT_EQ(WriteAndRead(WriteLevelsFile, record, c.name), c.expected) << c.name;
  }
}

struct HeadingCase {
  Family family;
  int prices;
  const char* expected;
};

TEST(WriterLevels, OtherFamiliesShareTheHeadings) {
  const HeadingCase cases[] = {
      {Family::Fisher, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Fisher Aggregator Functions  \n"
       "  Id,Year, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, "
       "RISE,ISME, RME, \n"},
      {Family::MalmquistIt, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Malmquist-it Aggregator Functions  \n"
       "  Id,Year, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, "
       "RISE,ISME, RME, \n"},
      {Family::HicksMoorsteen, 0,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Hicks-Moorsteen Aggregator Functions  \n"
       "  Id,Year, Q,  X,  TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, RISE,ISME, RME, \n"},
      {Family::FarePrimont, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Levels Computed Using  Fare-Primont Aggregator Functions  \n"
       "  Id,Year, Rev, Cost, Prof, P, W, TT, Q, X, TFP, TFP*, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE, IME, "
       "RISE, ISME, RME \n"},
  };
  for (const HeadingCase& c : cases) {
    AnalysisRecord record;
    MakeRecord(record, 1, 1, 1, 1);
    SelectFamily(record, c.family);
    record.Prices = c.prices;
    EXPECT_EQ(FirstLines(WriteAndRead(WriteLevelsFile, record, "heading"), 4), c.expected);
  }
}

TEST(WriterLevels, MaxMarkOnlyWhereTheFlagIsOne) {
  AnalysisRecord record;
  MakeRecord(record, 3, 1, 1, 1);
  SelectFamily(record, Family::MalmquistHs);
  record.TfpMaxFlag = {0.0, 1.0, 0.0};
  const std::string zeros =
      "0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,0.0000,"
      "0.0000,0.0000";
  const std::string rows = "1,    11,  1997," + zeros + " \n" + "2,    12,  1997," + zeros + ",max \n" +
                           "3,    13,  1997," + zeros + " \n";
  const std::string text = WriteAndRead(WriteLevelsFile, record, "max");
  ASSERT_GE(text.size(), rows.size());
  EXPECT_EQ(text.substr(text.size() - rows.size()), rows);
}

// ---------------------------------------------------------------------------
// Indexes file

struct IndexesCase {
  const char* name;
  Family family;
  int prices;
  uint32_t periods;
  uint32_t base;
  const char* expected;
};

const IndexesCase kIndexesCases[] = {
    {"LaspeyresFirstPeriodHasIdentifiersOnly", Family::Laspeyres, 1, 2, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Laspeyres Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n"
       "  Id,Year, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, dRME \n"
       "1,    11,  1997 \n"
       "2,    12,  1997 \n"
       "3,    11,  1998,301.2500,302.2500,303.2500,304.2500,305.2500,306.2500,1.0000,308.2500,0.9999,310.2500, 311.2500,-9999.0000,313.2500,314.2500,315.2500,316.2500,317.2500,318.2500,319.2500,320.2500, 321.2500,322.2500 \n"
       "4,    12,  1998,401.2500,402.2500,403.2500,404.2500,405.2500,406.2500,407.2500,408.2500,409.2500,410.2500, 411.2500,412.2500,413.2500,414.2500,415.2500,416.2500,417.2500,418.2500,419.2500,420.2500, 421.2500,422.2500 \n"},
    {"PaascheNamesDraeAndDcae", Family::Paasche, 1, 2, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Paasche Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n"
       "  Id,Year, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dRAE, dROSE, dOSME, dITE, dISE, dCAE, dRISE, dISME, dRME \n"
       "1,    11,  1997 \n"
       "2,    12,  1997 \n"
       "3,    11,  1998,301.2500,302.2500,303.2500,304.2500,305.2500,306.2500,1.0000,308.2500,0.9999,310.2500, 311.2500,-9999.0000,313.2500,314.2500,315.2500,316.2500,317.2500,318.2500,319.2500,320.2500, 321.2500,322.2500 \n"
       "4,    12,  1998,401.2500,402.2500,403.2500,404.2500,405.2500,406.2500,407.2500,408.2500,409.2500,410.2500, 411.2500,412.2500,413.2500,414.2500,415.2500,416.2500,417.2500,418.2500,419.2500,420.2500, 421.2500,422.2500 \n"},
    {"HicksMoorsteenWithoutPrices", Family::HicksMoorsteen, 0, 2, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Hicks-Moorsteen Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n"
       "  Id,Year, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, dRME \n"
       "1,    11,  1997 \n"
       "2,    12,  1997 \n"
       "3,    11,  1998,1.0000,308.2500,0.9999,310.2500, 311.2500,-9999.0000,313.2500,314.2500,315.2500,316.2500,317.2500,318.2500,319.2500,320.2500, 321.2500,322.2500 \n"
       "4,    12,  1998,407.2500,408.2500,409.2500,410.2500, 411.2500,412.2500,413.2500,414.2500,415.2500,416.2500,417.2500,418.2500,419.2500,420.2500, 421.2500,422.2500 \n"},
    {"LoweComparesEveryObservationWithBase", Family::Lowe, 1, 2, 2,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Lowe Indexes Comparing Observation i to Observation 2 \n"
       " Id,Year, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, dRME \n"
       "1,    11,  1997,101.2500,102.2500,103.2500,104.2500,105.2500,106.2500,107.2500,108.2500,109.2500,110.2500, 111.2500,112.2500,113.2500,114.2500,115.2500,116.2500,117.2500,118.2500,119.2500,120.2500, 121.2500,122.2500 \n"
       "2,    12,  1997,201.2500,202.2500,203.2500,204.2500,205.2500,206.2500,207.2500,208.2500,209.2500,210.2500, 211.2500,212.2500,213.2500,214.2500,215.2500,216.2500,217.2500,218.2500,219.2500,220.2500, 221.2500,222.2500 \n"
       "3,    11,  1998,301.2500,302.2500,303.2500,304.2500,305.2500,306.2500,1.0000,308.2500,0.9999,310.2500, 311.2500,-9999.0000,313.2500,314.2500,315.2500,316.2500,317.2500,318.2500,319.2500,320.2500, 321.2500,322.2500 \n"
       "4,    12,  1998,401.2500,402.2500,403.2500,404.2500,405.2500,406.2500,407.2500,408.2500,409.2500,410.2500, 411.2500,412.2500,413.2500,414.2500,415.2500,416.2500,417.2500,418.2500,419.2500,420.2500, 421.2500,422.2500 \n"},
    {"FarePrimontBaseFourHasAFullRowForTheBase", Family::FarePrimont, 0, 2, 4,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Fare-Primont Indexes Comparing Observation i to Observation 4 \n"
       " Id,Year, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, dRME \n"
       "1,    11,  1997,107.2500,108.2500,109.2500,110.2500, 111.2500,112.2500,113.2500,114.2500,115.2500,116.2500,117.2500,118.2500,119.2500,120.2500, 121.2500,122.2500 \n"
       "2,    12,  1997,207.2500,208.2500,209.2500,210.2500, 211.2500,212.2500,213.2500,214.2500,215.2500,216.2500,217.2500,218.2500,219.2500,220.2500, 221.2500,222.2500 \n"
       "3,    11,  1998,1.0000,308.2500,0.9999,310.2500, 311.2500,-9999.0000,313.2500,314.2500,315.2500,316.2500,317.2500,318.2500,319.2500,320.2500, 321.2500,322.2500 \n"
       "4,    12,  1998,407.2500,408.2500,409.2500,410.2500, 411.2500,412.2500,413.2500,414.2500,415.2500,416.2500,417.2500,418.2500,419.2500,420.2500, 421.2500,422.2500 \n"},
    {"OnePeriodChainedHasIdentifiersOnly", Family::MalmquistIt, 0, 1, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Malmquist-it Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n"
       "  Id,Year, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, dRME \n"
       "1,    11,  1997 \n"
       "2,    12,  1997 \n"},
};

TEST(WriterIndexes, WritesExactBytesForEachLayout) {
  for (const IndexesCase& c : kIndexesCases) {
    AnalysisRecord record;
    MakeRecord(record, 2, c.periods, 1, 1);
    SelectFamily(record, c.family);
    record.Prices = c.prices;
    record.Base = c.base;
    FillIndexes(record);
    EXPECT_EQ(WriteAndRead(WriteIndexesFile, record, c.name), c.expected) << c.name;
  }
}

TEST(WriterIndexes, OtherChainedFamiliesShareTheHeadings) {
  const HeadingCase cases[] = {
      {Family::Fisher, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Fisher Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n"
       "  Id,Year, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, "
       "dITE, dISE, dIME, dRISE, dISME, dRME \n"},
      {Family::MalmquistIt, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Malmquist-it Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n"
       "  Id,Year, dRev, dCost, dProf, dP, dW, dTT, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, "
       "dITE, dISE, dIME, dRISE, dISME, dRME \n"},
      {Family::MalmquistHs, 0,
       "KORU Version 3.1 Professional\n"
       "\n"
       "  Malmquist-hs Indexes Comparing Firm i in Period t with Firm i in Period t-1 \n"
       "  Id,Year, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME, dITE, dISE, dIME, dRISE, dISME, "
       "dRME \n"},
  };
  for (const HeadingCase& c : cases) {
    AnalysisRecord record;
    MakeRecord(record, 1, 1, 1, 1);
    SelectFamily(record, c.family);
    record.Prices = c.prices;
    EXPECT_EQ(FirstLines(WriteAndRead(WriteIndexesFile, record, "heading"), 4), c.expected);
  }
}

// ---------------------------------------------------------------------------
// Shadow prices file

struct ShadowPricesCase {
  const char* name;
  uint32_t outputs, inputs;
  double pstar[2][2];
  double wstar[2][3];
  const char* expected;
};

TEST(WriterShadowPrices, WritesExactBytesAndPrintsFromDoubles) {
  const ShadowPricesCase cases[] = {
      {"TwoOutputsOneInput", 2, 1, {{0.5, 0.000123456}, {1.2345, 0.99995}}, {{1234567.0}, {kMissing}},
       "KORU Version 3.1 Professional\n"
       "\n"
       " Revenue-deflated Output Shadow Prices and Cost-deflated Input Shadow Prices \n"
       "  Id,Year,pstar1,pstar2,wstar1 \n"
       "1,    11,  1997,0.5,0.0001235,1.235e+006 \n"
       "2,    11,  1998,1.234,  1,-9999 \n"},
      {"OneOutputThreeInputs", 1, 3, {{2.0}, {0.1}}, {{0.25, 3.0, 1e-7}, {10.0, 20.0, 30.0}},
       "KORU Version 3.1 Professional\n"
       "\n"
       " Revenue-deflated Output Shadow Prices and Cost-deflated Input Shadow Prices \n"
       "  Id,Year,pstar1,wstar1,wstar2,wstar3 \n"
       "1,    11,  1997,  2,0.25,  3,1e-007 \n"
       "2,    11,  1998,0.1, 10, 20, 30 \n"},
  };
  for (const ShadowPricesCase& c : cases) {
    AnalysisRecord record;
    MakeRecord(record, 1, 2, c.outputs, c.inputs);
    SelectFamily(record, Family::Laspeyres);
    for (uint32_t o = 0; o < 2; ++o) {
      for (uint32_t m = 0; m < c.outputs; ++m) record.pstar.SetValue(o, m, c.pstar[o][m]);
      for (uint32_t k = 0; k < c.inputs; ++k) record.wstar.SetValue(o, k, c.wstar[o][k]);
    }
    EXPECT_EQ(WriteAndRead(WriteShadowPricesFile, record, c.name), c.expected) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Extras file

struct ExtrasCase {
  const char* name;
  Family family;
  uint32_t outputs, inputs;
  const char* expected;
};

const ExtrasCase kExtrasCases[] = {
    {"MalmquistHsOneInputEndsWithSingleEta", Family::MalmquistHs, 2, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Selected computations for Malmquist-hs indexes \n"
       "\n"
       " Id,Year,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs, DItss, DIttt, HIttt, DOsts, DOttt, HOttt,alpha1,alpha2,eta1 \n"
       "1,    11,  1997, 1.125,1.25,1.375,1.5,1.625,1.75,1.875,  2,2.125,2.25,  2.375,2.5,2.625,2.875,  3,3.125,3.375,3.5,1.234,12.5,21.5 \n"
       "2,    11,  1998, 1.235,2.25,2.375,2.5,2.625,2.75,2.875,  3,3.125,-9999,  3.375,3.5,3.625,0.9999,  4,4.125,4.375,4.5,21.5,22.5,  1 \n"},
    {"MalmquistItUsesItValuesAndMultipliers", Family::MalmquistIt, 1, 2,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Selected computations for Malmquist-it indexes \n"
       "\n"
       " Id,Year,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs,  DIstt, DIttt, HIttt,  DOtst, DOttt, HOttt,alpha1,eta1,eta2 \n"
       "1,    11,  1997, 1.125,1.25,1.375,1.5,1.625,1.75,1.875,  2,2.125,2.25,  2.375,2.5,2.75,2.875,  3,3.25,3.375,3.5,1.234,41.5,42.5 \n"
       "2,    11,  1998, 1.235,2.25,2.375,2.5,2.625,2.75,2.875,  3,3.125,-9999,  3.375,3.5,3.75,0.9999,  4,4.25,4.375,4.5,61.5,81.5,  1 \n"},
    {"HicksMoorsteenPrintsBothMultiplierSets", Family::HicksMoorsteen, 2, 2,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Selected computations for Hicks-Moorsteen indexes \n"
       "\n"
       " Id,Year,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs, DItss, DIstt, DIttt, HIttt, DOsts, DOtst, DOttt, HOttt,alphahs1,alphahs2,etahs1,etahs2,alphait1,alphait2,etait1,etait2 \n"
       "1,    11,  1997, 1.125,1.25,1.375,1.5,1.625,1.75,1.875,  2,2.125,2.25,  2.375,2.5,2.625,2.75,2.875,  3,3.125,3.25,3.375,3.5,1.234,12.5,21.5,22.5,1.234,32.5,41.5,42.5 \n"
       "2,    11,  1998, 1.235,2.25,2.375,2.5,2.625,2.75,2.875,  3,3.125,-9999,  3.375,3.5,3.625,3.75,0.9999,  4,4.125,4.25,4.375,4.5,21.5,22.5,41.5,  1,61.5,62.5,81.5,  1 \n"},
    {"FarePrimontBlockFromDoubles", Family::FarePrimont, 2, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       " DO000, 0.75 \n"
       " alpha0, 0.5,1.234,\n"
       " beta0,   2,\n"
       " gamma0, -0.125 \n"
       " q0,   3,  4,\n"
       " pstar0, 0.25,0.0625,\n"
       "\n"
       " DI000, 1.5 \n"
       " phi0,   6,  7,\n"
       " eta0,   8,\n"
       " delta0,   1 \n"
       " x0,   9,\n"
       " wstar0, 1.235e+006,\n"
       "\n"
       " Id,Year,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs, DIttt, HIttt, DOttt, HOttt \n"
       "1,    11,  1997, 1.125,1.25,1.375,1.5,1.625,1.75,1.875,  2,2.125,2.25,  2.375,2.5,2.875,  3,3.375,3.5 \n"
       "2,    11,  1998, 1.235,2.25,2.375,2.5,2.625,2.75,2.875,  3,3.125,-9999,  3.375,3.5,0.9999,  4,4.375,4.5 \n"},
    {"LoweHasThePriceBasedSection", Family::Lowe, 2, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Selected computations for Paasche Laspeyres Fisher or Lowe indexes \n"
       "\n"
       " Id,Year,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs, DIttt, HIttt, DOttt, HOttt \n"
       "1,    11,  1997, 1.125,1.25,1.375,1.5,1.625,1.75,1.875,  2,2.125,2.25,  2.375,2.5,2.875,  3,3.375,3.5 \n"
       "2,    11,  1998, 1.235,2.25,2.375,2.5,2.625,2.75,2.875,  3,3.125,-9999,  3.375,3.5,0.9999,  4,4.375,4.5 \n"},
    {"PaascheHasThePriceBasedSection", Family::Paasche, 1, 1,
       "KORU Version 3.1 Professional\n"
       "\n"
       " Selected computations for Paasche Laspeyres Fisher or Lowe indexes \n"
       "\n"
       " Id,Year,  QHATt, QBARt, Qt, XHATt, XBARt, Xt, QHATs, QBARs, Qs, XHATs, XBARs, Xs, DIttt, HIttt, DOttt, HOttt \n"
       "1,    11,  1997, 1.125,1.25,1.375,1.5,1.625,1.75,1.875,  2,2.125,2.25,  2.375,2.5,2.875,  3,3.375,3.5 \n"
       "2,    11,  1998, 1.235,2.25,2.375,2.5,2.625,2.75,2.875,  3,3.125,-9999,  3.375,3.5,0.9999,  4,4.375,4.5 \n"},
};

TEST(WriterExtras, WritesExactBytesForEachSection) {
  for (const ExtrasCase& c : kExtrasCases) {
    AnalysisRecord record;
    MakeRecord(record, 1, 2, c.outputs, c.inputs);
    SelectFamily(record, c.family);
    FillExtras(record);
    EXPECT_EQ(WriteAndRead(WriteExtrasFile, record, c.name), c.expected) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Family name and open failures

TEST(WriterFamilyName, LastSetFlagInTheFixedOrderWins) {
  struct Case {
    Family family;
    const char* expected;
  };
  const Case cases[] = {
      {Family::Laspeyres, " Laspeyres"},
      {Family::Paasche, " Paasche"},
      {Family::Fisher, " Fisher"},
      {Family::Lowe, " Lowe"},
      {Family::MalmquistHs, " Malmquist-hs"},
      {Family::MalmquistIt, " Malmquist-it"},
      {Family::HicksMoorsteen, " Hicks-Moorsteen"},
      {Family::FarePrimont, " Fare-Primont"},
  };
  for (const Case& c : cases) {
    AnalysisRecord record;
    SelectFamily(record, c.family);
    EXPECT_STREQ(FamilyName(record), c.expected);
  }
  AnalysisRecord two;
  two.FarePrimont = 1;
  two.Laspeyres = 1;
  EXPECT_STREQ(FamilyName(two), " Fare-Primont");
  two.FarePrimont = 0;
  two.Lowe = 1;
  EXPECT_STREQ(FamilyName(two), " Lowe");
  AnalysisRecord none;
  EXPECT_STREQ(FamilyName(none), "");
}

TEST(WriterOpenFailureDeathTest, EndsTheRunWithTheFileMessage) {
  struct Case {
    Writer writer;
    const char* message;
  };
  const Case cases[] = {
      {WriteIndexesFile, "ERROR: Unable to open _output_indexes.csv file for writing"},
      {WriteLevelsFile, "ERROR: Unable to open _output_levels.csv file for writing"},
      {WriteShadowPricesFile, "ERROR: Unable to open _output_shadowprices.csv file for writing"},
      {WriteExtrasFile, "ERROR: Unable to open _output_xtras.csv file for writing"},
  };
  for (const Case& c : cases) {
    AnalysisRecord record;
    MakeRecord(record, 1, 1, 1, 1);
    SelectFamily(record, Family::Laspeyres);
    // The fatal stop prints on standard output; route it to standard error so
    // the message can be matched, and leave standard input at its end so the
    // wait for ENTER returns at once.
    EXPECT_EXIT(
        {
          std::freopen("/dev/null", "r", stdin);
          std::fflush(stdout);
          dup2(STDERR_FILENO, STDOUT_FILENO);
          // A writer that stopped the run returns false.
          std::_Exit(c.writer(record, "/nonexistent-koru-directory/x_output.csv") ? 99 : 1);
        },
        ::testing::ExitedWithCode(1), c.message);
  }
}

// A hand-worked panel of three firms over five periods (identifiers: firm,
// year 2001..2005). dTFP by period and firm, with its geometric mean:
//   2001: 1, 1, 1            -> 1
//   2002: 2, 4, 1            -> (2 * 4 * 1)^(1/3) = 2
//   2003: 9, -9999, 1        -> (9 * 1)^(1/2) = 3, one left out
//   2004: -9999, NaN, 0      -> no mean, three left out (0 has no logarithm)
//   2005: 0.5, 2, 8          -> 8^(1/3) = 2
// Chained, the running products are 1, 2, 6, and the chain breaks at 2004:
// no cumulated level in 2004 or 2005. Fixed-base, the means stand as they are.
// TFPE in 2001 is 0.2, 0.6, 1.0: quartiles at positions 0.5, 1, 1.5 of the
// sorted values give 0.4, 0.6, 0.8. OTE in 2003 is 0.5, -9999, 1: mean 0.75.
void FillHandWorkedPanel(AnalysisRecord& record, bool chained) {
  record.Firms = 3;
  record.Periods = 5;
  record.Outputs = 1;
  record.Inputs = 1;
  record.Observations = 15;
  (chained ? record.Fisher : record.FarePrimont) = 1;
  std::snprintf(record.IdHeading, sizeof record.IdHeading, "obs,firm,year");
  for (ObservationVector* v : {&record.dTFP, &record.dTech, &record.dTFPE, &record.dOTE, &record.dOSME,
                               &record.dITE, &record.dISME, &record.TFPE, &record.OTE, &record.ITE})
    v->assign(15, 1.0);
  for (uint32_t o = 0; o < 15; ++o) {
    record.Id1.push_back(o % 3 + 1);
    record.Id2.push_back(2001 + o / 3);
  }
  record.dTFP = {1, 1, 1, 2, 4, 1, 9, kMissing, 1, kMissing, std::nan(""), 0, 0.5, 2, 8};
  record.TFPE[0] = 0.2;
  record.TFPE[1] = 0.6;
  record.OTE[6] = 0.5;
  record.OTE[7] = kMissing;
}

// The report's row of one period in the table of period means (the first
// table whose rows carry that period's name).
std::string MeansRow(const std::string& report, const std::string& period) {
  const std::size_t start = report.find("<tr><th scope=\"row\">" + period + "</th>");
  if (start == std::string::npos) return "";
  return report.substr(start, report.find("</tr>", start) - start);
}

TEST(ReportPeriodMeans, HandWorkedPanelChainedAndFixedBase) {
  AnalysisRecord chained;
  FillHandWorkedPanel(chained, true);
  const PeriodSeries means = GeometricMeansByPeriod(chained.dTFP, 3, 5);
  const double expected[] = {1.0, 2.0, 3.0, 0.0, 2.0};
  const bool present[] = {true, true, true, false, true};
  const uint32_t leftOut[] = {0, 0, 1, 3, 0};
  for (int t = 0; t < 5; ++t) {
    EXPECT_EQ(means.present[t], present[t]) << "period " << t + 1;
    EXPECT_EQ(means.leftOut[t], leftOut[t]) << "period " << t + 1;
    if (present[t]) {
      EXPECT_NEAR(means.value[t], expected[t], 1e-12) << "period " << t + 1;
    }
  }
  const PeriodSeries running = RunningProducts(means);
  const bool runningPresent[] = {true, true, true, false, false};
  const double runningValue[] = {1.0, 2.0, 6.0};
  for (int t = 0; t < 5; ++t) {
    EXPECT_EQ(running.present[t], runningPresent[t]) << "period " << t + 1;
    if (t < 3) {
      EXPECT_NEAR(running.value[t], runningValue[t], 1e-12) << "period " << t + 1;
    }
  }

  const std::vector<Spread> spreads = SpreadsByPeriod(chained.TFPE, 3, 5);
  EXPECT_DOUBLE_EQ(spreads[0].minimum, 0.2);
  EXPECT_NEAR(spreads[0].lowerQuartile, 0.4, 1e-12);
  EXPECT_NEAR(spreads[0].median, 0.6, 1e-12);
  EXPECT_NEAR(spreads[0].upperQuartile, 0.8, 1e-12);
  EXPECT_DOUBLE_EQ(spreads[0].maximum, 1.0);
  const PeriodSeries ote = ArithmeticMeansByPeriod(chained.OTE, 3, 5);
  EXPECT_NEAR(ote.value[2], 0.75, 1e-12);
  EXPECT_EQ(ote.leftOut[2], 1u);

  // On the page: periods named by year; the chained table cumulates dTFP and
  // leaves the broken chain empty; the fixed-base table has no cumulated
  // column. Columns: dTFP, dTech, dTFPE, dOTE, dOSME, dITE, dISME, then
  // (chained) cumulated dTFP, then the count left out.
  const std::string gap = "<td class=\"gap\">&#8211;</td>";
  const std::string ones = "<td>1.0000</td><td>1.0000</td><td>1.0000</td><td>1.0000</td><td>1.0000</td><td>1.0000</td>";
  const std::string chainedPage = ReportText(chained, "panel_input.csv");
  EXPECT_EQ(MeansRow(chainedPage, "2003"), "<tr><th scope=\"row\">2003</th><td>3.0000</td>" + ones +
                                                 "<td>6.0000</td><td>dTFP 1</td>");
  EXPECT_EQ(MeansRow(chainedPage, "2004"), "<tr><th scope=\"row\">2004</th>" + gap + ones + gap + "<td>dTFP 3</td>");
  EXPECT_EQ(MeansRow(chainedPage, "2005"), "<tr><th scope=\"row\">2005</th><td>2.0000</td>" + ones + gap +
                                                 "<td>0</td>");
  AnalysisRecord fixedBase;
  FillHandWorkedPanel(fixedBase, false);
  const std::string fixedPage = ReportText(fixedBase, "panel_input.csv");
  EXPECT_EQ(MeansRow(fixedPage, "2002"), "<tr><th scope=\"row\">2002</th><td>2.0000</td>" + ones + "<td>0</td>");
  EXPECT_EQ(MeansRow(fixedPage, "2005"), "<tr><th scope=\"row\">2005</th><td>2.0000</td>" + ones + "<td>0</td>");
  EXPECT_EQ(fixedPage.find("cumulated dTFP"), std::string::npos);
}

}  // namespace
