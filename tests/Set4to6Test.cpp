// Sets 4, 5 and 6: TFP and TFP*, the efficiency components and the index
// numbers, on records filled by hand. Expected values are worked out by hand
// in the comments beside them.

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/AnalysisRecord.h"
#include "input/InputFile.h"
#include "measures/ComputationSets.h"

namespace {

using Vec = ObservationVector AnalysisRecord::*;

enum class Family { Laspeyres, Paasche, Fisher, Lowe, MalmquistHs, MalmquistIt, HicksMoorsteen, FarePrimont };

void SetFamily(AnalysisRecord& r, Family family) {
  r.Laspeyres = family == Family::Laspeyres;
  r.Paasche = family == Family::Paasche;
  r.Fisher = family == Family::Fisher;
  r.Lowe = family == Family::Lowe;
  r.MalmquistHs = family == Family::MalmquistHs;
  r.MalmquistIt = family == Family::MalmquistIt;
  r.HicksMoorsteen = family == Family::HicksMoorsteen;
  r.FarePrimont = family == Family::FarePrimont;
}

// Sizes the record and creates its data matrix (with room for prices).
void MakeRecord(AnalysisRecord& r, uint32_t N, uint32_t T, uint32_t M, uint32_t K, Family family, int prices) {
  SetFamily(r, family);
  r.Prices = prices;
  SetUpProblem(r, N, T, M, K);
  const uint32_t NT = N * T;
  if (prices)
    r.Data.Create(NT + 10, 2 * (M + K) + 20, NT, 2 * (M + K) + 2);
  else
    r.Data.Create(NT + 10, M + K + 10, NT, M + K + 2);
}

// Data row of observation o (1-based): outputs, inputs, then prices.
void SetDataRow(AnalysisRecord& r, uint32_t o, const std::vector<double>& values) {
  for (uint32_t j = 0; j < values.size(); ++j) r.Data.SetValue(o - 1, 2 + j, values[j]);
}

std::string RunSet(void (*compute)(AnalysisRecord&), AnalysisRecord& r) {
  testing::internal::CaptureStdout();
  compute(r);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------- Set 6

struct GuardedIndexCase {
  const char* name;
  Vec index;
  Vec numerator;
  Vec denominator;
};

const GuardedIndexCase kGuardedIndexes[] = {
    {"dQ", &AnalysisRecord::dQ, &AnalysisRecord::Q, &AnalysisRecord::Qs},
    {"dX", &AnalysisRecord::dX, &AnalysisRecord::X, &AnalysisRecord::Xs},
    {"dTFPE", &AnalysisRecord::dTFPE, &AnalysisRecord::TFPE, &AnalysisRecord::TFPEs},
    {"dOTE", &AnalysisRecord::dOTE, &AnalysisRecord::OTE, &AnalysisRecord::OTEs},
    {"dOSE", &AnalysisRecord::dOSE, &AnalysisRecord::OSE, &AnalysisRecord::OSEs},
    {"dOME", &AnalysisRecord::dOME, &AnalysisRecord::OME, &AnalysisRecord::OMEs},
    {"dROSE", &AnalysisRecord::dROSE, &AnalysisRecord::ROSE, &AnalysisRecord::ROSEs},
    {"dOSME", &AnalysisRecord::dOSME, &AnalysisRecord::OSME, &AnalysisRecord::OSMEs},
    {"dITE", &AnalysisRecord::dITE, &AnalysisRecord::ITE, &AnalysisRecord::ITEs},
    {"dISE", &AnalysisRecord::dISE, &AnalysisRecord::ISE, &AnalysisRecord::ISEs},
    {"dIME", &AnalysisRecord::dIME, &AnalysisRecord::IME, &AnalysisRecord::IMEs},
    {"dRISE", &AnalysisRecord::dRISE, &AnalysisRecord::RISE, &AnalysisRecord::RISEs},
    {"dISME", &AnalysisRecord::dISME, &AnalysisRecord::ISME, &AnalysisRecord::ISMEs},
    {"dRME", &AnalysisRecord::dRME, &AnalysisRecord::RME, &AnalysisRecord::RMEs},
};

// Observation 1 lacks the numerator, 2 the denominator, 3 has 6 / 4 = 1.5,
// 4 has a zero denominator, which is a value like any other (+inf).
TEST(Set6Indexes, GuardedIndexIsMissingExactlyWhenAnOperandIs) {
  for (const GuardedIndexCase& c : kGuardedIndexes) {
    SCOPED_TRACE(c.name);
    AnalysisRecord r;
    MakeRecord(r, 4, 1, 1, 1, Family::Laspeyres, 0);
    r.*c.numerator = {kMissing, 6.0, 6.0, 3.0};
    r.*c.denominator = {4.0, kMissing, 4.0, 0.0};
    RunSet(ComputeSet6, r);
    EXPECT_EQ((r.*c.index)[0], kMissing);
    EXPECT_EQ((r.*c.index)[1], kMissing);
    EXPECT_EQ((r.*c.index)[2], 1.5);
    EXPECT_TRUE(std::isinf((r.*c.index)[3]));
  }
}

// A value that is merely close to the marker is not the marker.
TEST(Set6Indexes, MarkerComparisonIsExact) {
  AnalysisRecord r;
  MakeRecord(r, 1, 1, 1, 1, Family::Laspeyres, 0);
  r.OTE = {-9999.5};
  r.OTEs = {0.5};
  RunSet(ComputeSet6, r);
  EXPECT_EQ(r.dOTE[0], -19999.0);
}

struct TechCase {
  const char* name;
  double Q, Qs, X, Xs, TFPE, TFPEs, TFPstar, TFPstars;
  double dTFP, dTech;
};

// dTFP = (Q / Qs) / (X / Xs); dTech = TFP* / TFP*s only beside dTFP and dTFPE.
const TechCase kTechCases[] = {
    // 6/2 = 3, 3/1 = 3, dTFP 1; dTech 8/2 = 4.
    {"all present", 6, 2, 3, 1, 0.5, 0.25, 8, 2, 1.0, 4.0},
    {"dX missing", 6, 2, kMissing, 1, 0.5, 0.25, 8, 2, kMissing, kMissing},
    {"dQ missing", 6, kMissing, 3, 1, 0.5, 0.25, 8, 2, kMissing, kMissing},
    {"dTFPE missing", 6, 2, 3, 1, kMissing, 0.25, 8, 2, 1.0, kMissing},
    // TFP* itself is not tested: -9999 / 2.
    {"TFP* missing", 6, 2, 3, 1, 0.5, 0.25, kMissing, 2, 1.0, -4999.5},
};

TEST(Set6Indexes, TechChangeOnlyBesideTfpAndTfpeChange) {
  for (const TechCase& c : kTechCases) {
    SCOPED_TRACE(c.name);
    AnalysisRecord r;
    MakeRecord(r, 1, 1, 1, 1, Family::Laspeyres, 0);
    r.Q = {c.Q};
    r.Qs = {c.Qs};
    r.X = {c.X};
    r.Xs = {c.Xs};
    r.TFPE = {c.TFPE};
    r.TFPEs = {c.TFPEs};
    r.TFPstar = {c.TFPstar};
    r.TFPstars = {c.TFPstars};
    RunSet(ComputeSet6, r);
    EXPECT_EQ(r.dTFP[0], c.dTFP);
    EXPECT_EQ(r.dTech[0], c.dTech);
  }
}

const GuardedIndexCase kPriceIndexes[] = {
    {"dP", &AnalysisRecord::dP, &AnalysisRecord::P, &AnalysisRecord::Ps},
    {"dW", &AnalysisRecord::dW, &AnalysisRecord::W, &AnalysisRecord::Ws},
    {"dTT", &AnalysisRecord::dTT, &AnalysisRecord::TT, &AnalysisRecord::TTs},
    {"dRev", &AnalysisRecord::dRev, &AnalysisRecord::Rev, &AnalysisRecord::Revs},
    {"dCost", &AnalysisRecord::dCost, &AnalysisRecord::Cost, &AnalysisRecord::Costs},
    {"dProf", &AnalysisRecord::dProf, &AnalysisRecord::Prof, &AnalysisRecord::Profs},
};

// The price indexes are plain quotients: -9999 / 4, 6 / 4, 0 / 0 (NaN).
// Without prices they are not written at all.
TEST(Set6Indexes, PriceIndexesAreUnguardedAndOnlyWithPrices) {
  for (const GuardedIndexCase& c : kPriceIndexes) {
    SCOPED_TRACE(c.name);
    AnalysisRecord r;
    MakeRecord(r, 3, 1, 1, 1, Family::Laspeyres, 1);
    r.*c.numerator = {kMissing, 6.0, 0.0};
    r.*c.denominator = {4.0, 4.0, 0.0};
    EXPECT_EQ(RunSet(ComputeSet6, r), " Computing Set 6: Indexes \n");
    EXPECT_EQ((r.*c.index)[0], -2499.75);
    EXPECT_EQ((r.*c.index)[1], 1.5);
    EXPECT_TRUE(std::isnan((r.*c.index)[2]));

    AnalysisRecord noPrices;
    MakeRecord(noPrices, 1, 1, 1, 1, Family::Lowe, 0);
    noPrices.*c.index = {7.0};
    noPrices.*c.numerator = {6.0};
    noPrices.*c.denominator = {4.0};
    RunSet(ComputeSet6, noPrices);
    EXPECT_EQ((noPrices.*c.index)[0], 7.0);
  }
}

// ---------------------------------------------------------------- Set 5

// Levels of one observation, chosen by hand so that every relation holds:
// Q 6, X 3, TFP 2, TFP* 4, OTE 0.75 (QBAR 8), ITE 0.5 (XBAR 1.5), OSE 0.8,
// QHAT 10, XHAT 1.2.
struct Levels {
  double Q = 6, X = 3, TFP = 2, TFPstar = 4, QBAR = 8, XBAR = 1.5, OSE = 0.8, QHAT = 10, XHAT = 1.2;
};

void StoreLevels(AnalysisRecord& r, uint32_t e, const Levels& l) {
  r.Q[e] = l.Q;
  r.X[e] = l.X;
  r.TFP[e] = l.TFP;
  r.TFPstar[e] = l.TFPstar;
  r.QBARt[e] = l.QBAR;
  r.XBARt[e] = l.XBAR;
  r.OSE[e] = l.OSE;
  r.QHATt[e] = l.QHAT;
  r.XHATt[e] = l.XHAT;
}

void StoreComparisonLevels(AnalysisRecord& r, uint32_t e, const Levels& l) {
  r.Qs[e] = l.Q;
  r.Xs[e] = l.X;
  r.TFPs[e] = l.TFP;
  r.TFPstars[e] = l.TFPstar;
  r.QBARs[e] = l.QBAR;
  r.XBARs[e] = l.XBAR;
  r.OSEs[e] = l.OSE;
  r.QHATs[e] = l.QHAT;
  r.XHATs[e] = l.XHAT;
}

TEST(Set5Components, HandExampleAndItsDecompositions) {
  AnalysisRecord r;
  MakeRecord(r, 1, 1, 1, 1, Family::Laspeyres, 0);
  StoreLevels(r, 0, Levels());
  StoreComparisonLevels(r, 0, Levels());
  EXPECT_EQ(RunSet(ComputeSet5, r), " Computing Set 5: TFPE, OME, ROSE, OSME, IME, RISE, ISME, RME \n");
  // TFPE 2/4; OME 8/10; IME 1.2/1.5; ROSE 10/3/4 = 5/6; RISE 6/1.2/4 = 5/4;
  // OSME 0.8 * 5/6 = 2/3; ISME 0.8 * 5/4 = 1; RME 8/3/0.8/4 = 5/6.
  EXPECT_DOUBLE_EQ(r.TFPE[0], 0.5);
  EXPECT_DOUBLE_EQ(r.OME[0], 0.8);
  EXPECT_DOUBLE_EQ(r.IME[0], 0.8);
  EXPECT_DOUBLE_EQ(r.ROSE[0], 5.0 / 6.0);
  EXPECT_DOUBLE_EQ(r.RISE[0], 1.25);
  EXPECT_DOUBLE_EQ(r.OSME[0], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(r.ISME[0], 1.0);
  EXPECT_DOUBLE_EQ(r.RME[0], 5.0 / 6.0);
  // TFPE = OTE x OME x ROSE = ITE x IME x RISE; OSME = OSE x RME.
  EXPECT_DOUBLE_EQ(0.75 * r.OME[0] * r.ROSE[0], r.TFPE[0]);
  EXPECT_DOUBLE_EQ(0.5 * r.IME[0] * r.RISE[0], r.TFPE[0]);
  EXPECT_DOUBLE_EQ(0.8 * r.RME[0], r.OSME[0]);
  // The comparison side of a chained family gets the same values.
  EXPECT_EQ(r.TFPEs[0], r.TFPE[0]);
  EXPECT_EQ(r.ROSEs[0], r.ROSE[0]);
  EXPECT_EQ(r.RMEs[0], r.RME[0]);
  EXPECT_EQ(r.ISMEs[0], r.ISME[0]);
}

// Chained quotients go left to right: 8/2/4 = 1 (not 8/(2/4) = 16).
TEST(Set5Components, QuotientsAreTakenLeftToRight) {
  AnalysisRecord r;
  MakeRecord(r, 1, 1, 1, 1, Family::Laspeyres, 0);
  Levels l;
  l.QHAT = 8;
  l.X = 2;
  l.TFPstar = 4;
  l.Q = 8;
  l.XHAT = 2;
  l.QBAR = 24;
  l.OSE = 3;
  StoreLevels(r, 0, l);
  StoreComparisonLevels(r, 0, l);
  RunSet(ComputeSet5, r);
  EXPECT_EQ(r.ROSE[0], 1.0);
  EXPECT_EQ(r.RISE[0], 1.0);
  EXPECT_EQ(r.RME[0], 1.0);  // 24/2/3/4
  EXPECT_EQ(r.ROSEs[0], 1.0);
  EXPECT_EQ(r.RISEs[0], 1.0);
  EXPECT_EQ(r.RMEs[0], 1.0);
}

struct MissingOperandCase {
  const char* operand;
  Vec own;
  Vec comparison;
  std::set<std::string> missing;  // the measures it must leave at -9999
};

const MissingOperandCase kMissingOperands[] = {
    {"TFP", &AnalysisRecord::TFP, &AnalysisRecord::TFPs, {"TFPE"}},
    {"TFP*", &AnalysisRecord::TFPstar, &AnalysisRecord::TFPstars, {"TFPE", "ROSE", "RISE", "OSME", "ISME", "RME"}},
    {"QBAR", &AnalysisRecord::QBARt, &AnalysisRecord::QBARs, {"OME", "OSME", "RME"}},
    {"QHAT", &AnalysisRecord::QHATt, &AnalysisRecord::QHATs, {"OME", "ROSE", "OSME"}},
    {"XHAT", &AnalysisRecord::XHATt, &AnalysisRecord::XHATs, {"IME", "RISE", "ISME"}},
    {"XBAR", &AnalysisRecord::XBARt, &AnalysisRecord::XBARs, {"IME", "ISME"}},
    {"X", &AnalysisRecord::X, &AnalysisRecord::Xs, {"ROSE", "OSME", "RME"}},
    {"Q", &AnalysisRecord::Q, &AnalysisRecord::Qs, {"RISE", "ISME"}},
    {"OSE", &AnalysisRecord::OSE, &AnalysisRecord::OSEs, {"RME"}},
};

struct Measure {
  const char* name;
  Vec own;
  Vec comparison;
};

const Measure kComponents[] = {
    {"TFPE", &AnalysisRecord::TFPE, &AnalysisRecord::TFPEs}, {"OME", &AnalysisRecord::OME, &AnalysisRecord::OMEs},
    {"ROSE", &AnalysisRecord::ROSE, &AnalysisRecord::ROSEs}, {"OSME", &AnalysisRecord::OSME, &AnalysisRecord::OSMEs},
    {"IME", &AnalysisRecord::IME, &AnalysisRecord::IMEs},    {"RISE", &AnalysisRecord::RISE, &AnalysisRecord::RISEs},
    {"ISME", &AnalysisRecord::ISME, &AnalysisRecord::ISMEs}, {"RME", &AnalysisRecord::RME, &AnalysisRecord::RMEs},
};

// Observation 2 (period 2) misses one operand on its own side and, for a
// chained family, the same operand on its comparison side; exactly the
// measures built from it stay -9999.
TEST(Set5Components, MissingOperandLeavesExactlyItsMeasuresMissing) {
  for (const MissingOperandCase& c : kMissingOperands) {
    SCOPED_TRACE(c.operand);
    AnalysisRecord r;
    MakeRecord(r, 1, 2, 1, 1, Family::Paasche, 0);
    for (uint32_t e = 0; e < 2; ++e) {
      StoreLevels(r, e, Levels());
      StoreComparisonLevels(r, e, Levels());
    }
    (r.*c.own)[1] = kMissing;
    (r.*c.comparison)[1] = kMissing;
    RunSet(ComputeSet5, r);
    for (const Measure& m : kComponents) {
      SCOPED_TRACE(m.name);
      const bool missing = c.missing.count(m.name) > 0;
      EXPECT_EQ((r.*m.own)[1] == kMissing, missing);
      EXPECT_EQ((r.*m.comparison)[1] == kMissing, missing);
      EXPECT_NE((r.*m.own)[0], kMissing);
    }
  }
}

TEST(Set5Components, PriceLevelsAreUnguardedPlainQuotients) {
  AnalysisRecord r;
  MakeRecord(r, 1, 1, 1, 1, Family::Laspeyres, 1);
  StoreLevels(r, 0, Levels());
  StoreComparisonLevels(r, 0, Levels());
  r.Rev = {kMissing};  // Q 6, X 3
  r.Cost = {12.0};
  r.Revs = {18.0};
  r.Costs = {0.0};
  RunSet(ComputeSet5, r);
  EXPECT_EQ(r.P[0], kMissing / 6.0);
  EXPECT_EQ(r.W[0], 4.0);
  EXPECT_EQ(r.TT[0], (kMissing / 6.0) / 4.0);
  EXPECT_EQ(r.Prof[0], kMissing / 12.0);
  EXPECT_EQ(r.Ps[0], 3.0);
  EXPECT_EQ(r.Ws[0], 0.0);
  EXPECT_TRUE(std::isinf(r.TTs[0]));
  EXPECT_TRUE(std::isinf(r.Profs[0]));

  AnalysisRecord noPrices;
  MakeRecord(noPrices, 1, 1, 1, 1, Family::Laspeyres, 0);
  StoreLevels(noPrices, 0, Levels());
  noPrices.Rev = {6.0};
  noPrices.P = {7.0};
  RunSet(ComputeSet5, noPrices);
  EXPECT_EQ(noPrices.P[0], 7.0);
}

TEST(Set5Components, ComparisonValuesByFamily) {
  // Chained, two firms, three periods: Base ends at NT - N = 4; with T = 1 at NT.
  for (uint32_t T : {3u, 1u}) {
    AnalysisRecord r;
    MakeRecord(r, 2, T, 1, 1, Family::MalmquistIt, 0);
    for (uint32_t e = 0; e < 2 * T; ++e) {
      StoreLevels(r, e, Levels());
      Levels s;
      s.TFP = 1.0 + e;  // TFPEs = (1 + e) / 4
      StoreComparisonLevels(r, e, s);
    }
    RunSet(ComputeSet5, r);
    EXPECT_EQ(r.Base, T == 1 ? 2u : 4u);
    for (uint32_t e = 0; e < 2 * T; ++e) EXPECT_EQ(r.TFPEs[e], (1.0 + e) / 4.0);
  }

  // Fixed base 2: every "s" value is observation 2's, Base unchanged.
  AnalysisRecord r;
  MakeRecord(r, 2, 2, 1, 1, Family::FarePrimont, 0);
  r.Base = 2;
  for (uint32_t e = 0; e < 4; ++e) {
    Levels l;
    l.TFP = 1.0 + e;
    l.QHAT = 10.0 + e;
    StoreLevels(r, e, l);
  }
  RunSet(ComputeSet5, r);
  EXPECT_EQ(r.Base, 2u);
  for (uint32_t e = 0; e < 4; ++e) {
    for (const Measure& m : kComponents) {
      SCOPED_TRACE(m.name);
      EXPECT_EQ((r.*m.comparison)[e], (r.*m.own)[1]);
    }
  }
  EXPECT_EQ(r.TFPEs[3], 0.5);  // TFP 2 / TFP* 4
  EXPECT_EQ(r.OMEs[0], 8.0 / 11.0);
}

// ---------------------------------------------------------------- Set 4

// Two firms, two periods, two outputs, one input, with prices:
//   obs  y          x   p        w
//   1    (4, 1)     2   (1, 2)   1
//   2    (1, 4)     2   (2, 1)   1
//   3    (3, 3)     2   (1, 1)   2
//   4    (2, 10)    4   (3, 1)   1
void MakeTwoByTwo(AnalysisRecord& r, Family family) {
  MakeRecord(r, 2, 2, 2, 1, family, 1);
  SetDataRow(r, 1, {4, 1, 2, 1, 2, 1});
  SetDataRow(r, 2, {1, 4, 2, 2, 1, 1});
  SetDataRow(r, 3, {3, 3, 2, 1, 1, 2});
  SetDataRow(r, 4, {2, 10, 4, 3, 1, 1});
  // Weight matrices of the distance-function families: the hs rows hold the
  // comparison observation's prices, the it rows the observation's own, so
  // Malmquist-hs must agree with Laspeyres, Malmquist-it with Paasche and
  // Hicks-Moorsteen with Fisher.
  const double hsOut[4][2] = {{1, 2}, {2, 1}, {1, 2}, {2, 1}};
  const double hsIn[4] = {1, 1, 1, 1};
  const double itOut[4][2] = {{1, 2}, {2, 1}, {1, 1}, {3, 1}};
  const double itIn[4] = {1, 1, 2, 1};
  for (uint32_t e = 0; e < 4; ++e) {
    for (uint32_t m = 0; m < 2; ++m) {
      r.pstarhs.SetValue(e, m, hsOut[e][m]);
      r.pstarit.SetValue(e, m, itOut[e][m]);
    }
    r.wstarhs.SetValue(e, 0, hsIn[e]);
    r.wstarit.SetValue(e, 0, itIn[e]);
  }
  for (uint32_t e = 0; e < 4; ++e) {
    r.Q[e] = r.Qs[e] = 1.0;
    r.X[e] = r.Xs[e] = 1.0;
  }
}

struct ChainedMaximumCase {
  Family family;
  const char* name;
  double tfpStar[4];
  double tfpStars[4];
};

// Laspeyres (weights of b): period 1 ratios under p (1,2): 3, 4.5; under
// (2,1): 4.5, 3. Period 2 under obs 1's weights: 4.5, 22/4 = 5.5; under obs
// 2's: 4.5, 14/4 = 3.5. TFP*s of period 2 over period 1 as in period 1.
// Paasche (own weights): obs 3 (p (1,1), w 2): 6/4, 12/8 -> 1.5; over period
// 1: 5/4, 5/4 -> 1.25. Obs 4 (p (3,1), w 1): 12/2, 16/4 -> 6; over period 1:
// 13/2, 7/2 -> 6.5.
// Fisher: each pass its own maximum, then the square root of the product.
const ChainedMaximumCase kChainedMaxima[] = {
    {Family::Laspeyres, "Laspeyres", {4.5, 4.5, 5.5, 4.5}, {4.5, 4.5, 4.5, 4.5}},
    {Family::MalmquistHs, "MalmquistHs", {4.5, 4.5, 5.5, 4.5}, {4.5, 4.5, 4.5, 4.5}},
    {Family::Paasche, "Paasche", {4.5, 4.5, 1.5, 6.0}, {4.5, 4.5, 1.25, 6.5}},
    {Family::MalmquistIt, "MalmquistIt", {4.5, 4.5, 1.5, 6.0}, {4.5, 4.5, 1.25, 6.5}},
    {Family::Fisher,
     "Fisher",
     {4.5, 4.5, std::sqrt(5.5 * 1.5), std::sqrt(4.5 * 6.0)},
     {4.5, 4.5, std::sqrt(4.5 * 1.25), std::sqrt(4.5 * 6.5)}},
    {Family::HicksMoorsteen,
     "HicksMoorsteen",
     {4.5, 4.5, std::sqrt(5.5 * 1.5), std::sqrt(4.5 * 6.0)},
     {4.5, 4.5, std::sqrt(4.5 * 1.25), std::sqrt(4.5 * 6.5)}},
};

TEST(Set4TfpStar, ChainedFamiliesMaximiseWithTheirWeights) {
  for (const ChainedMaximumCase& c : kChainedMaxima) {
    SCOPED_TRACE(c.name);
    AnalysisRecord r;
    MakeTwoByTwo(r, c.family);
    EXPECT_EQ(RunSet(ComputeSet4, r), " Computing Set 4: TFP, TFP* \n");
    for (uint32_t e = 0; e < 4; ++e) {
      SCOPED_TRACE(e + 1);
      EXPECT_EQ(r.TFPstar[e], c.tfpStar[e]);
      EXPECT_EQ(r.TFPstars[e], c.tfpStars[e]);
    }
    EXPECT_EQ(r.Base, 2u);
    EXPECT_EQ(r.RefFirst, 1u);  // last set: period 1, for TFP*s of period 2
    EXPECT_EQ(r.RefLast, 2u);
    EXPECT_EQ(r.RefCount, 2u);
  }
}

// Pass 2 must not carry on from pass 1's maximum: with a carried maximum obs
// 3 of Fisher would keep 5.5; the pass-1 maxima stay in the scratch vectors.
TEST(Set4TfpStar, TwoPassMaximaAreSeparate) {
  AnalysisRecord r;
  MakeTwoByTwo(r, Family::Fisher);
  RunSet(ComputeSet4, r);
  EXPECT_LT(r.TFPstar[2], 3.0);
  EXPECT_EQ(r.FirstPassQ[2], 5.5);
  EXPECT_EQ(r.FirstPassQ[3], 4.5);
  EXPECT_EQ(r.FirstPassQs[2], 4.5);
  EXPECT_EQ(r.FirstPassQs[3], 4.5);
}

TEST(Set4TfpStar, SinglePeriodChainedFamilyComparesWithItself) {
  AnalysisRecord r;
  MakeRecord(r, 3, 1, 1, 1, Family::Paasche, 1);
  // y, x, p, w: ratios y p / (x w) under obs 1's prices (1, 1): 1, 2, 0.5.
  SetDataRow(r, 1, {1, 1, 1, 1});
  SetDataRow(r, 2, {4, 2, 1, 2});
  SetDataRow(r, 3, {2, 4, 3, 1});
  RunSet(ComputeSet4, r);
  // Obs 2 (p 1, w 2): 0.5, 1, 0.25; obs 3 (p 3, w 1): 3, 6, 1.5.
  const double expected[3] = {2.0, 1.0, 6.0};
  for (uint32_t e = 0; e < 3; ++e) {
    EXPECT_EQ(r.TFPstar[e], expected[e]);
    EXPECT_EQ(r.TFPstars[e], r.TFPstar[e]);
  }
  EXPECT_EQ(r.Base, 3u);
}

struct FixedBaseCase {
  const char* name;
  int techRegress, techChange;
  double tfpStar[4];
  double flags[4];
};

// TFP of obs 1..4: 2, 3, 1, missing. Base 2.
const FixedBaseCase kFixedBase[] = {
    {"own period", 1, 1, {3, 3, 1, 1}, {0, 1, 1, 0}},
    {"no technical regress", 0, 1, {3, 3, 3, 3}, {0, 1, 0, 0}},
    {"no technical change", 0, 0, {3, 3, 3, 3}, {0, 1, 0, 0}},
};

TEST(Set4TfpStar, FixedBaseFamiliesMaximiseStoredTfp) {
  for (Family family : {Family::Lowe, Family::FarePrimont}) {
    for (const FixedBaseCase& c : kFixedBase) {
      SCOPED_TRACE(c.name);
      AnalysisRecord r;
      MakeRecord(r, 2, 2, 1, 1, family, family == Family::Lowe);
      r.Base = 2;
      r.TechRegress = c.techRegress;
      r.TechChange = c.techChange;
      r.Q = {4, 6, 1, kMissing};
      r.X = {2, 2, 1, 2};
      r.Qs = {6, 6, 6, 6};
      r.Xs = {2, 2, 2, kMissing};
      RunSet(ComputeSet4, r);
      EXPECT_EQ(r.TFP[0], 2.0);
      EXPECT_EQ(r.TFP[3], kMissing);
      EXPECT_EQ(r.TFPs[0], 3.0);
      EXPECT_EQ(r.TFPs[3], kMissing);
      for (uint32_t e = 0; e < 4; ++e) {
        SCOPED_TRACE(e + 1);
        EXPECT_EQ(r.TFPstar[e], c.tfpStar[e]);
        EXPECT_EQ(r.TFPstars[e], c.tfpStar[1]);
        EXPECT_EQ(r.TfpMaxFlag[e], c.flags[e]);
      }
      EXPECT_EQ(r.Base, 2u);
    }
  }
}

// ---------------------------------------------------------- Sets 4 to 6

// One firm, two periods, one output, one input, Laspeyres prices 1: TFP is
// 2 then 3; TFP* of period 1 and 2 are 4 and 4.5 (a second firm on the
// frontier). With OTE, ITE and OSE set and QHAT, XHAT consistent, the index
// identities must hold: dTFP = dQ/dX = dTech x dTFPE, dTFPE = dOTE x dOME x
// dROSE = dITE x dIME x dRISE = dOTE x dOSE x dRME, dTT = dP/dW, dProf = dTT x dTFP.
TEST(Set4to6Chain, IndexDecompositionIdentitiesHold) {
  AnalysisRecord r;
  MakeRecord(r, 2, 2, 1, 1, Family::Laspeyres, 1);
  // y, x, p, w
  SetDataRow(r, 1, {2, 1, 1, 1});
  SetDataRow(r, 2, {4, 1, 1, 1});
  SetDataRow(r, 3, {3, 1, 2, 1});
  SetDataRow(r, 4, {9, 2, 1, 3});
  r.Q = {2, 4, 3, 9};
  r.Qs = {2, 4, 2, 4};
  r.X = {1, 1, 1, 2};
  r.Xs = {1, 1, 1, 1};
  r.Rev = {2, 4, 6, 9};
  r.Revs = {2, 4, 2, 4};
  r.Cost = {1, 1, 1, 6};
  r.Costs = {1, 1, 1, 1};
  r.OTE = {0.5, 1, 0.75, 1};
  r.ITE = {0.4, 1, 0.8, 1};
  r.OSE = {0.9, 1, 0.6, 1};
  r.OTEs = {0.5, 1, 0.5, 1};
  r.ITEs = {0.4, 1, 0.4, 1};
  r.OSEs = {0.9, 1, 0.9, 1};
  r.ISE = r.ISEs = {1, 1, 1, 1};
  for (uint32_t e = 0; e < 4; ++e) {
    r.QBARt[e] = r.Q[e] / r.OTE[e];
    r.QBARs[e] = r.Qs[e] / r.OTEs[e];
    r.XBARt[e] = r.X[e] * r.ITE[e];
    r.XBARs[e] = r.Xs[e] * r.ITEs[e];
  }
  r.QHATt = {3.5, 4, 4.2, 9};
  r.QHATs = {3.5, 4, 3.5, 4};
  r.XHATt = {0.3, 1, 0.7, 2};
  r.XHATs = {0.3, 1, 0.3, 1};
  RunSet(ComputeSet4, r);
  // Period 1 ratios 2, 4; period 2 under obs 1's prices (1, 1): 3, 4.5.
  EXPECT_EQ(r.TFPstar[2], 4.5);
  EXPECT_EQ(r.TFPstars[2], 4.0);
  RunSet(ComputeSet5, r);
  RunSet(ComputeSet6, r);
  for (uint32_t e = 0; e < 4; ++e) {
    SCOPED_TRACE(e + 1);
    EXPECT_NEAR(r.dTFP[e], r.dQ[e] / r.dX[e], 1e-12);
    EXPECT_NEAR(r.dTFP[e], r.dTech[e] * r.dTFPE[e], 1e-12);
    EXPECT_NEAR(r.dTFPE[e], r.dOTE[e] * r.dOME[e] * r.dROSE[e], 1e-12);
    EXPECT_NEAR(r.dTFPE[e], r.dITE[e] * r.dIME[e] * r.dRISE[e], 1e-12);
    EXPECT_NEAR(r.dTFPE[e], r.dOTE[e] * r.dOSE[e] * r.dRME[e], 1e-12);
    EXPECT_NEAR(r.dTFPE[e], r.dOTE[e] * r.dOSME[e], 1e-12);
    EXPECT_NEAR(r.dTT[e], r.dP[e] / r.dW[e], 1e-12);
    EXPECT_NEAR(r.dProf[e], r.dTT[e] * r.dTFP[e], 1e-12);
  }
  // Period 1 is compared with itself.
  EXPECT_EQ(r.dTFP[0], 1.0);
  EXPECT_EQ(r.dTech[1], 1.0);
  // Obs 3: dQ 3/2, dX 1, dTech 4.5/4, dTFPE (3/4.5)/(2/4).
  EXPECT_EQ(r.dQ[2], 1.5);
  EXPECT_EQ(r.dTech[2], 1.125);
  EXPECT_DOUBLE_EQ(r.dTFPE[2], 4.0 / 3.0);
}

}  // namespace
