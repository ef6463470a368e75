// Set 2: the price-based aggregates of the one-firm example, the efficient
// aggregates and their -9999 rule, the distance-function stages on panels
// solved by hand, the Fare-Primont stage, the labels of failed programs, and
// the identities Q = DOsts, X = DItss (Malmquist-hs) and Q = DOtst, X = DIstt
// (Malmquist-it) on generated panels.
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "input/InputFile.h"
#include "lp/WorkerPool.h"
#include "measures/ComputationSets.h"
#include "tests/TestSupport.h"

namespace {

constexpr double kTol = 1e-9;

using Family = int AnalysisRecord::*;

// One data row: outputs, inputs, then (with prices) output and input prices.
using Row = std::vector<double>;

std::unique_ptr<AnalysisRecord> MakeRecord(uint32_t N, uint32_t T, uint32_t M, uint32_t K, bool prices,
                                           Family family, const std::vector<Row>& rows, ErrorLog* log = nullptr) {
  auto record = std::make_unique<AnalysisRecord>();
  record->Log = log;
  record->Prices = prices ? 1 : 0;
  (*record).*family = 1;
  SetUpProblem(*record, N, T, M, K);
  const uint32_t NT = N * T;
  const uint32_t values = prices ? 2 * (M + K) : M + K;
  if (prices)
    record->Data.Create(NT + 10, 2 * (M + K) + 20, NT, 2 * (M + K) + 2);
  else
    record->Data.Create(NT + 10, M + K + 10, NT, M + K + 2);
  for (uint32_t o = 0; o < NT; ++o) {
    record->Data.SetValue(o, 0, o % N + 1);
    record->Data.SetValue(o, 1, o / N + 1);
    for (uint32_t j = 0; j < values; ++j) record->Data.SetValue(o, 2 + j, rows[o][j]);
  }
  return record;
}

std::string RunSet2(AnalysisRecord& record) {
  testing::internal::CaptureStdout();
  WorkerPool workers(1);
  PrepareWorkers(record, workers);
  ComputeSet2(record, workers);
  return testing::internal::GetCapturedStdout();
}

void RunSets1And2(AnalysisRecord& record) {
  testing::internal::CaptureStdout();
  WorkerPool workers(1);
  PrepareWorkers(record, workers);
  ComputeSet1(record, workers);
  ComputeSet2(record, workers);
  testing::internal::GetCapturedStdout();
}

void ExpectPair(const ObservationVector& v, double first, double second, const std::string& what) {
  EXPECT_NEAR(v[0], first, kTol) << what << ", obs 1";
  EXPECT_NEAR(v[1], second, kTol) << what << ", obs 2";
}

// ---------------------------------------------------------------------------
// Price-based families. One firm, two periods: outputs 2 then 3 at prices 1
// then 2; inputs 2 and 2 at prices 1 then 3.

const std::vector<Row> kOneFirmTwoPeriods = {{2, 2, 1, 1}, {3, 2, 2, 3}};

struct PriceCase {
  const char* name;
  Family family;
  uint32_t base;
  double Q[2], Qs[2], X[2], Xs[2], Revs[2], Costs[2];
};

TEST(Set2PriceAggregates, OneFirmTwoPeriodsByFamily) {
  const double r18 = std::sqrt(18.0), r8 = std::sqrt(8.0), r12 = std::sqrt(12.0);
  const PriceCase cases[] = {
      // Laspeyres: weights of the comparison observation (period 1 prices).
      {"Laspeyres", &AnalysisRecord::Laspeyres, 1, {2, 3}, {2, 2}, {2, 2}, {2, 2}, {2, 2}, {2, 2}},
      // Paasche: the observation's own prices.
      {"Paasche", &AnalysisRecord::Paasche, 1, {2, 6}, {2, 4}, {2, 6}, {2, 6}, {2, 2}, {2, 2}},
      // Fisher: geometric mean of the two.
      {"Fisher", &AnalysisRecord::Fisher, 1, {2, r18}, {2, r8}, {2, r12}, {2, r12}, {2, 2}, {2, 2}},
      // Lowe: mean prices 1.5 and 2, the fixed Base observation.
      {"Lowe, Base 1", &AnalysisRecord::Lowe, 1, {3, 4.5}, {3, 3}, {4, 4}, {4, 4}, {2, 2}, {2, 2}},
      {"Lowe, Base 2", &AnalysisRecord::Lowe, 2, {3, 4.5}, {4.5, 4.5}, {4, 4}, {4, 4}, {6, 6}, {6, 6}},
  };
  for (const PriceCase& c : cases) {
    auto record = MakeRecord(1, 2, 1, 1, true, c.family, kOneFirmTwoPeriods);
    record->Base = c.base;
    std::string console = RunSet2(*record);
    EXPECT_EQ(console, " Computing Set 2: REV, Q, QBAR, COST, X, XBAR \n") << c.name;
    ExpectPair(record->Rev, 2, 6, std::string(c.name) + " Rev");
    ExpectPair(record->Cost, 2, 6, std::string(c.name) + " Cost");
    ExpectPair(record->Q, c.Q[0], c.Q[1], std::string(c.name) + " Q");
    ExpectPair(record->Qs, c.Qs[0], c.Qs[1], std::string(c.name) + " Qs");
    ExpectPair(record->X, c.X[0], c.X[1], std::string(c.name) + " X");
    ExpectPair(record->Xs, c.Xs[0], c.Xs[1], std::string(c.name) + " Xs");
    ExpectPair(record->Revs, c.Revs[0], c.Revs[1], std::string(c.name) + " Revs");
    ExpectPair(record->Costs, c.Costs[0], c.Costs[1], std::string(c.name) + " Costs");
    EXPECT_NEAR(record->OutputPriceMeans[0], 1.5, kTol) << c.name;
    EXPECT_NEAR(record->InputPriceMeans[0], 2.0, kTol) << c.name;
    // Chained families leave Base at the last comparison observation; fixed-base ones keep it.
    EXPECT_EQ(record->Base, c.family == &AnalysisRecord::Lowe ? c.base : 1u) << c.name;
  }
}

TEST(Set2PriceAggregates, FisherKeepsTheLaspeyresPassAsFirstPass) {
  auto record = MakeRecord(1, 2, 1, 1, true, &AnalysisRecord::Fisher, kOneFirmTwoPeriods);
  RunSet2(*record);
  ExpectPair(record->FirstPassQ, 2, 3, "first-pass Q");
  ExpectPair(record->FirstPassQs, 2, 2, "first-pass Qs");
  ExpectPair(record->FirstPassX, 2, 2, "first-pass X");
  ExpectPair(record->FirstPassXs, 2, 2, "first-pass Xs");
}

TEST(Set2PriceAggregates, SinglePeriodChainedRunComparesEachObservationWithItself) {
  // Two firms, two outputs priced differently: Laspeyres weights are own prices.
  auto record = MakeRecord(2, 1, 2, 1, true, &AnalysisRecord::Laspeyres,
                           {{1, 2, 3, 4, 5, 6}, {2, 1, 4, 1, 2, 3}});
  RunSet2(*record);
  ExpectPair(record->Q, 1 * 4 + 2 * 5, 2 * 1 + 1 * 2, "Q");
  ExpectPair(record->X, 3 * 6, 4 * 3, "X");
  for (uint32_t k = 0; k < 2; ++k) {
    EXPECT_EQ(record->Qs[k], record->Q[k]);
    EXPECT_EQ(record->Xs[k], record->X[k]);
    EXPECT_EQ(record->Revs[k], record->Rev[k]);
    EXPECT_EQ(record->Costs[k], record->Cost[k]);
  }
  EXPECT_EQ(record->Base, 2u);
}

TEST(Set2EfficientAggregates, DivideByOteMultiplyByIteAndPassOnMissing) {
  auto record = MakeRecord(1, 2, 1, 1, true, &AnalysisRecord::Laspeyres, kOneFirmTwoPeriods);
  record->OTE = {0.5, kMissing};
  record->OTEs = {0.5, 0.5};
  record->ITE = {0.25, 0.8};
  record->ITEs = {kMissing, 0.25};
  RunSet2(*record);
  // Q = (2, 3), Qs = (2, 2), X = (2, 2), Xs = (2, 2).
  EXPECT_NEAR(record->QBARt[0], 4.0, kTol);
  EXPECT_EQ(record->QBARt[1], kMissing);
  EXPECT_NEAR(record->Q[1], 3.0, kTol);
  ExpectPair(record->QBARs, 4.0, 4.0, "QBARs");
  ExpectPair(record->XBARt, 0.5, 1.6, "XBARt");
  EXPECT_EQ(record->XBARs[0], kMissing);
  EXPECT_NEAR(record->XBARs[1], 0.5, kTol);
}

TEST(Set2PriceAggregates, WithoutPricesRevenueAndCostAreNotWritten) {
  auto record = MakeRecord(2, 1, 1, 1, false, &AnalysisRecord::MalmquistHs, {{1, 1}, {4, 2}});
  record->Rev.assign(2, 7.0);
  record->Revs.assign(2, 7.0);
  record->Cost.assign(2, 7.0);
  record->OutputPriceMeans.assign(1, 7.0);
  std::string console = RunSet2(*record);
  EXPECT_EQ(console, " Computing Set 2: Q, QBAR, X, XBAR \n");
  ExpectPair(record->Rev, 7.0, 7.0, "Rev");
  ExpectPair(record->Revs, 7.0, 7.0, "Revs");
  ExpectPair(record->Cost, 7.0, 7.0, "Cost");
  EXPECT_EQ(record->OutputPriceMeans[0], 7.0);
}

// ---------------------------------------------------------------------------
// Distance-function stages.

// Two firms in one period: A (y=1, x=1), B (y=4, x=2).
const std::vector<Row> kFirmsAB = {{1, 1}, {4, 2}};

TEST(Set2DistanceFunctions, TwoFirmsUnderConstantReturns) {
  auto record = MakeRecord(2, 1, 1, 1, false, &AnalysisRecord::HicksMoorsteen, kFirmsAB);
  record->Vrs = 0;
  RunSets1And2(*record);
  ExpectPair(record->DOsts, 0.5, 1, "DOsts");
  ExpectPair(record->DOtst, 0.5, 1, "DOtst");
  ExpectPair(record->DItss, 2, 1, "DItss");
  ExpectPair(record->DIstt, 2, 1, "DIstt");
  const double alphahs[] = {1, 0.25}, pstarhs[] = {0.5, 0.25}, etahs[] = {1, 0.5}, wstarhs[] = {2, 0.5};
  for (uint32_t k = 0; k < 2; ++k) {
    EXPECT_NEAR(record->alphahs.GetValue(k, 0), alphahs[k], kTol) << k;
    EXPECT_NEAR(record->pstarhs.GetValue(k, 0), pstarhs[k], kTol) << k;
    EXPECT_NEAR(record->etahs.GetValue(k, 0), etahs[k], kTol) << k;
    EXPECT_NEAR(record->wstarhs.GetValue(k, 0), wstarhs[k], kTol) << k;
    // In period 1 the period-t programs are the period-s programs.
    EXPECT_NEAR(record->alphait.GetValue(k, 0), alphahs[k], kTol) << k;
    EXPECT_NEAR(record->pstarit.GetValue(k, 0), pstarhs[k], kTol) << k;
    EXPECT_NEAR(record->etait.GetValue(k, 0), etahs[k], kTol) << k;
    EXPECT_NEAR(record->wstarit.GetValue(k, 0), wstarhs[k], kTol) << k;
  }
  // Both passes aggregate to the distance values.
  ExpectPair(record->Q, 0.5, 1, "Q");
  ExpectPair(record->X, 2, 1, "X");
}

TEST(Set2DistanceFunctions, TwoFirmsUnderVariableReturnsAreOnTheFrontier) {
  for (Family family : {&AnalysisRecord::MalmquistHs, &AnalysisRecord::MalmquistIt,
                        &AnalysisRecord::HicksMoorsteen}) {
    auto record = MakeRecord(2, 1, 1, 1, false, family, kFirmsAB);
    RunSets1And2(*record);
    const bool periodS = family != &AnalysisRecord::MalmquistIt;
    const bool periodT = family != &AnalysisRecord::MalmquistHs;
    if (periodS) {
      ExpectPair(record->DOsts, 1, 1, "DOsts");
      ExpectPair(record->DItss, 1, 1, "DItss");
    }
    if (periodT) {
      ExpectPair(record->DOtst, 1, 1, "DOtst");
      ExpectPair(record->DIstt, 1, 1, "DIstt");
    }
    // A stage that does not run leaves its values untouched.
    if (!periodS) ExpectPair(record->DOsts, 0, 0, "DOsts not run");
    if (!periodT) ExpectPair(record->DOtst, 0, 0, "DOtst not run");
    // pstar = DO / y, wstar = DI / x with one output and one input.
    ExpectPair(record->Q, 1, 1, "Q");
    ExpectPair(record->X, 1, 1, "X");
  }
}

// One firm, two periods, constant returns: (y=1, x=1) then (y=2, x=1).
struct StageCase {
  const char* name;
  uint32_t window;
  int techRegress, techChange;
  double DOsts[2], DItss[2], DOtst[2], DIstt[2];
};

TEST(Set2DistanceFunctions, PeriodSAndPeriodTTechnologiesFollowTheReferenceRule) {
  const StageCase cases[] = {
      // Period 1 frontier y = x, period 2 frontier y = 2x.
      {"each period alone", 1, 1, 1, {1, 2}, {1, 1}, {1, 0.5}, {1, 1}},
      // Both periods on the frontier y = 2x.
      {"Window 2", 2, 1, 1, {0.5, 1}, {2, 2}, {0.5, 0.5}, {2, 1}},
      {"NoTechChange", 1, 0, 0, {0.5, 1}, {2, 2}, {0.5, 0.5}, {2, 1}},
      // Period 2's period-s technology is still period 1 alone.
      {"NoTechRegress", 1, 0, 1, {1, 2}, {1, 1}, {1, 0.5}, {1, 1}},
  };
  for (const StageCase& c : cases) {
    auto record = MakeRecord(1, 2, 1, 1, false, &AnalysisRecord::HicksMoorsteen, {{1, 1}, {2, 1}});
    record->Vrs = 0;
    record->Window = c.window;
    record->TechRegress = c.techRegress;
    record->TechChange = c.techChange;
    RunSets1And2(*record);
    ExpectPair(record->DOsts, c.DOsts[0], c.DOsts[1], std::string(c.name) + " DOsts");
    ExpectPair(record->DItss, c.DItss[0], c.DItss[1], std::string(c.name) + " DItss");
    ExpectPair(record->DOtst, c.DOtst[0], c.DOtst[1], std::string(c.name) + " DOtst");
    ExpectPair(record->DIstt, c.DIstt[0], c.DIstt[1], std::string(c.name) + " DIstt");
    // Hicks-Moorsteen: Q = sqrt(DOsts DOtst), Qs = (y_b / y_o) Q, X = sqrt(DItss DIstt), Xs = X.
    const double q2 = std::sqrt(c.DOsts[1] * c.DOtst[1]);
    const double x2 = std::sqrt(c.DItss[1] * c.DIstt[1]);
    EXPECT_NEAR(record->Q[1], q2, kTol) << c.name;
    EXPECT_NEAR(record->Qs[1], 0.5 * q2, kTol) << c.name;
    EXPECT_NEAR(record->X[1], x2, kTol) << c.name;
    EXPECT_NEAR(record->Xs[1], x2, kTol) << c.name;
    EXPECT_NEAR(record->FirstPassQ[1], c.DOsts[1], kTol) << c.name;
    EXPECT_NEAR(record->FirstPassX[1], c.DItss[1], kTol) << c.name;
    EXPECT_EQ(record->Base, 1u) << c.name;
  }
}

// Outputs and inputs drawn from [1, 10) for a panel of N firms and T periods.
std::vector<Row> GeneratePanel(unsigned seed, uint32_t NT, uint32_t width) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> draw(10, 99);
  std::vector<Row> rows(NT, Row(width));
  for (Row& row : rows)
    for (double& v : row) v = draw(generator) / 10.0;
  return rows;
}

TEST(Set2DistanceFunctions, AggregatesEqualTheDistanceValuesOnGeneratedPanels) {
  const uint32_t N = 4, T = 3, M = 2, K = 2;
  for (unsigned seed : {11u, 12u, 13u}) {
    for (int vrs : {1, 0}) {
      std::vector<Row> rows = GeneratePanel(seed, N * T, M + K);
      auto hs = MakeRecord(N, T, M, K, false, &AnalysisRecord::MalmquistHs, rows);
      auto it = MakeRecord(N, T, M, K, false, &AnalysisRecord::MalmquistIt, rows);
      auto hm = MakeRecord(N, T, M, K, false, &AnalysisRecord::HicksMoorsteen, rows);
      hs->Vrs = it->Vrs = hm->Vrs = vrs;
      RunSets1And2(*hs);
      RunSets1And2(*it);
      RunSets1And2(*hm);
      for (uint32_t k = 0; k < N * T; ++k) {
        const std::string where = "seed " + std::to_string(seed) + ", Vrs " + std::to_string(vrs) + ", obs " +
                                  std::to_string(k + 1);
        ASSERT_NE(hs->DOsts[k], kMissing) << where;
        ASSERT_NE(it->DIstt[k], kMissing) << where;
        EXPECT_NEAR(hs->Q[k], hs->DOsts[k], kTol) << where;
        EXPECT_NEAR(hs->X[k], hs->DItss[k], kTol) << where;
        EXPECT_NEAR(it->Q[k], it->DOtst[k], kTol) << where;
        EXPECT_NEAR(it->X[k], it->DIstt[k], kTol) << where;
        // Hicks-Moorsteen solves both stages with the same programs.
        EXPECT_EQ(hm->DOsts[k], hs->DOsts[k]) << where;
        EXPECT_EQ(hm->DIstt[k], it->DIstt[k]) << where;
        EXPECT_NEAR(hm->Q[k], std::sqrt(hs->DOsts[k] * it->DOtst[k]), kTol) << where;
        EXPECT_NEAR(hm->X[k], std::sqrt(hs->DItss[k] * it->DIstt[k]), kTol) << where;
        if (k < N) {
          // Period 1: every program is Set 1's program of the observation.
          EXPECT_EQ(hs->DOsts[k], hs->DOttt[k]) << where;
          EXPECT_EQ(hs->DItss[k], hs->DIttt[k]) << where;
          EXPECT_EQ(it->DOtst[k], it->DOttt[k]) << where;
          EXPECT_EQ(it->DIstt[k], it->DIttt[k]) << where;
        }
      }
      EXPECT_EQ(hs->Base, N * T - N);
    }
  }
}

// ---------------------------------------------------------------------------
// Failed programs and their labels.

struct FailureCase {
  const char* name;
  Family family;
  std::vector<Row> rows;  // one firm, two periods: (y, x)
  const char* log;
};

TEST(Set2FailedProgram, LabelsNameTheProgramAndObservation) {
  const FailureCase cases[] = {
      {"zero output in period 2: u.y_o = 1 fails",
       &AnalysisRecord::HicksMoorsteen,
       {{1, 1}, {0, 1}},
       "Determining DOsts, Obs 2 , EHL 0 :  LP error: code = -1 \n\n"},
      {"zero output in period 1: u.y_b = 1 fails for both",
       &AnalysisRecord::MalmquistIt,
       {{0, 1}, {1, 1}},
       "Determining DOtst, Obs 1 , EHL 0 :  LP error: code = -1 \n\n"
       "Determining DOtst, Obs 2 , EHL 0 :  LP error: code = -1 \n\n"},
      {"zero input in period 2: v.x_o = 1 fails",
       &AnalysisRecord::MalmquistHs,
       {{1, 1}, {1, 0}},
       "Determining DItss, Obs 2 , EHL 0 :  LP error: code = -1 \n\n"},
      {"zero input in period 1: v.x_b = 1 fails for both",
       &AnalysisRecord::MalmquistIt,
       {{1, 0}, {1, 1}},
       "Determining DIstt, Obs 1 , EHL 0 :  LP error: code = -1 \n\n"
       "Determining DIstt, Obs 2 , EHL 0 :  LP error: code = -1 \n\n"},
  };
  for (const FailureCase& c : cases) {
    std::string dir = MakeTestDirectory("log");
    ErrorLog log(dir + "/errors.txt");
    auto record = MakeRecord(1, 2, 1, 1, false, c.family, c.rows, &log);
    RunSet2(*record);
    std::fflush(log.m_File);
    EXPECT_EQ(ReadWholeFile(dir + "/errors.txt"), c.log) << c.name;
  }
}

TEST(Set2FailedProgram, FailedDistanceIsMissingAndTheRunGoesOn) {
  auto record = MakeRecord(1, 2, 1, 1, false, &AnalysisRecord::HicksMoorsteen, {{1, 1}, {0, 1}});
  RunSet2(*record);
  EXPECT_EQ(record->DOsts[1], kMissing);
  // The other programs of observation 2: (x=1, y_b=1) against (1, 1) and
  // (x_b=1, y_o=0) against (1, 0) need all of the input.
  EXPECT_NEAR(record->DItss[1], 1.0, kTol);
  EXPECT_NEAR(record->DIstt[1], 1.0, kTol);
  EXPECT_NEAR(record->DOtst[0], 1.0, kTol);
}

// ---------------------------------------------------------------------------
// Fare-Primont.

struct FarePrimontCase {
  const char* name;
  int vrs;
  double DO000, alpha0, beta0, gamma0, pstar0, DI000, phi0, eta0, delta0, wstar0;
};

TEST(Set2FarePrimont, TwoFirmsRepresentativeObservation) {
  const FarePrimontCase cases[] = {
      {"CRS", 0, 5.0 / 6, 0.4, 0.8, 0, 1.0 / 3, 1.2, 1.0 / 3, 2.0 / 3, 0, 0.8},
      // (1.5, 2.5) lies on the segment between A and B: both distances 1,
      // supporting line 0.4 y = 1.2 x - 0.8 and (2/9) y = (2/3) x - 4/9.
      {"VRS", 1, 1, 0.4, 1.2, -0.8, 0.4, 1, 2.0 / 9, 2.0 / 3, -4.0 / 9, 2.0 / 3},
  };
  for (const FarePrimontCase& c : cases) {
    std::string dir = MakeTestDirectory("log");
    ErrorLog log(dir + "/errors.txt");
    auto record = MakeRecord(2, 1, 1, 1, false, &AnalysisRecord::FarePrimont, kFirmsAB, &log);
    record->Vrs = c.vrs;
    RunSets1And2(*record);
    EXPECT_NEAR(record->q0[0], 2.5, kTol) << c.name;
    EXPECT_NEAR(record->x0[0], 1.5, kTol) << c.name;
    EXPECT_NEAR(record->DO000, c.DO000, kTol) << c.name;
    EXPECT_NEAR(record->alpha0[0], c.alpha0, kTol) << c.name;
    EXPECT_NEAR(record->beta0[0], c.beta0, kTol) << c.name;
    EXPECT_NEAR(record->gamma0, c.gamma0, kTol) << c.name;
    EXPECT_NEAR(record->pstar0[0], c.pstar0, kTol) << c.name;
    EXPECT_NEAR(record->DI000, c.DI000, kTol) << c.name;
    EXPECT_NEAR(record->phi0[0], c.phi0, kTol) << c.name;
    EXPECT_NEAR(record->eta0[0], c.eta0, kTol) << c.name;
    EXPECT_NEAR(record->delta0, c.delta0, kTol) << c.name;
    EXPECT_NEAR(record->wstar0[0], c.wstar0, kTol) << c.name;
    // Q = y pstar0, X = x wstar0, compared with the Base observation A.
    ExpectPair(record->Q, c.pstar0, 4 * c.pstar0, std::string(c.name) + " Q");
    ExpectPair(record->X, c.wstar0, 2 * c.wstar0, std::string(c.name) + " X");
    ExpectPair(record->Qs, c.pstar0, c.pstar0, std::string(c.name) + " Qs");
    ExpectPair(record->Xs, c.wstar0, c.wstar0, std::string(c.name) + " Xs");
    EXPECT_EQ(record->Base, 1u);
    std::fflush(log.m_File);
    EXPECT_EQ(ReadWholeFile(dir + "/errors.txt"), "") << c.name;
  }
}

TEST(Set2FarePrimont, ReferenceRuleDoesNotChangeTheWeights) {
  std::vector<Row> rows = GeneratePanel(5, 6, 3);
  auto reference = MakeRecord(2, 3, 1, 2, false, &AnalysisRecord::FarePrimont, rows);
  RunSets1And2(*reference);
  ASSERT_NE(reference->DO000, kMissing);
  ASSERT_NE(reference->DI000, kMissing);
  // One output: pstar0 = DO000 / q0.
  EXPECT_NEAR(reference->pstar0[0], reference->DO000 / reference->q0[0], kTol);
  // The input weights aggregate the representative inputs to DI000.
  EXPECT_NEAR(reference->wstar0[0] * reference->x0[0] + reference->wstar0[1] * reference->x0[1],
              reference->DI000, kTol);
  struct {
    uint32_t window;
    int techRegress, techChange;
  } rules[] = {{2, 1, 1}, {1, 0, 1}, {1, 0, 0}, {3, 1, 1}};
  for (const auto& rule : rules) {
    auto record = MakeRecord(2, 3, 1, 2, false, &AnalysisRecord::FarePrimont, rows);
    record->Window = rule.window;
    record->TechRegress = rule.techRegress;
    record->TechChange = rule.techChange;
    RunSets1And2(*record);
    EXPECT_EQ(record->DO000, reference->DO000);
    EXPECT_EQ(record->DI000, reference->DI000);
    EXPECT_EQ(record->pstar0, reference->pstar0);
    EXPECT_EQ(record->wstar0, reference->wstar0);
  }
}

TEST(Set2FarePrimont, FailedProgramIsLabelledWithObservationZero) {
  std::string dir = MakeTestDirectory("log");
  ErrorLog log(dir + "/errors.txt");
  auto record = MakeRecord(2, 1, 1, 1, false, &AnalysisRecord::FarePrimont, kFirmsAB, &log);
  // A representative observation without output cannot be normalised.
  record->OutputMeans = {0.0};
  record->InputMeans = {1.5};
  RunSet2(*record);
  EXPECT_EQ(record->DO000, kMissing);
  // v = 2/3; the least input of the hull is 1: DI000 = 1.5 / 1, and
  // wstar0 = eta0 DI000 / (eta0 x0) = (2/3) 1.5 / 1.
  EXPECT_NEAR(record->DI000, 1.5, kTol);
  EXPECT_NEAR(record->wstar0[0], 1.0, kTol);
  std::fflush(log.m_File);
  EXPECT_EQ(ReadWholeFile(dir + "/errors.txt"), "Determining DO000, Obs 0 , EHL 0 :  LP error: code = -1 \n\n");
}

}  // namespace
