// Set 3: the QHAT and XHAT programs, on records filled by hand. The optima
// are worked out by hand for one-output, one-input technologies, where the
// envelopment programs reduce to picking the best reference observation or
// ray.

#include <cmath>
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

// Sizes the record (with prices) and fills the data rows: for each
// observation its outputs, inputs, output prices and input prices.
void MakeRecord(AnalysisRecord& r, uint32_t N, uint32_t T, uint32_t M, uint32_t K, Family family,
                const std::vector<std::vector<double>>& rows) {
  SetFamily(r, family);
  r.Prices = 1;
  SetUpProblem(r, N, T, M, K);
  const uint32_t NT = N * T;
  r.Data.Create(NT + 10, 2 * (M + K) + 20, NT, 2 * (M + K) + 2);
  for (uint32_t o = 0; o < rows.size(); ++o)
    for (uint32_t j = 0; j < rows[o].size(); ++j) r.Data.SetValue(o, 2 + j, rows[o][j]);
}

// Runs Set 3 on one worker, whose workspace then holds the last program.
std::string RunSet3(AnalysisRecord& r, WorkerPool& workers) {
  testing::internal::CaptureStdout();
  PrepareWorkers(r, workers);
  ComputeSet3(r, workers);
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string RunSet3(AnalysisRecord& r) {
  WorkerPool workers(1);
  return RunSet3(r, workers);
}

const char kHeading[] = " Computing Set 3: QHAT, XHAT \n";

// ------------------------------------------------------ single period

// Three firms, one period: y = (1, 2, 3), x = (2, 2, 4), output price 2 and
// input price 3 for all. VRS frontier: (2, 1)-(2, 2)-(4, 3); CRS ray y = x.
//   QHAT/2 VRS: x <= 2 gives y 2; x <= 4 gives y 3.  CRS: y = x_d.
//   XHAT/3 VRS: y >= 1 or 2 needs x 2; y >= 3 needs x 4.  CRS: x = y_d.
//   NIRS (firms scaled down only): QHAT as VRS; XHAT y >= 1 from half of
//   firm 2, x 1.  NDRS (scaled up only): QHAT x <= 4 from twice firm 2, y 4;
//   XHAT y >= 3 from 1.5 x firm 2, x 3.
struct SinglePeriodCase {
  const char* name;
  int vrs;
  int scaleBound;
  double qhat[3];
  double xhat[3];
};

const SinglePeriodCase kSinglePeriod[] = {
    {"VRS", 1, kFreeScale, {4, 4, 6}, {6, 6, 12}},
    {"CRS", 0, kFreeScale, {4, 4, 8}, {3, 6, 9}},
    {"NIRS", 1, kNonIncreasing, {4, 4, 6}, {3, 6, 12}},
    {"NDRS", 1, kNonDecreasing, {4, 4, 8}, {6, 6, 9}},
};

TEST(Set3Hats, SinglePeriodWorkedExample) {
  for (Family family : {Family::Laspeyres, Family::Fisher}) {
    for (const SinglePeriodCase& c : kSinglePeriod) {
      SCOPED_TRACE(c.name);
      AnalysisRecord r;
      MakeRecord(r, 3, 1, 1, 1, family, {{1, 2, 2, 3}, {2, 2, 2, 3}, {3, 4, 2, 3}});
      r.Vrs = c.vrs;
      r.ScaleBound = c.scaleBound;
      EXPECT_EQ(RunSet3(r), kHeading);
      for (uint32_t e = 0; e < 3; ++e) {
        SCOPED_TRACE(e + 1);
        EXPECT_DOUBLE_EQ(r.QHATt[e], c.qhat[e]);
        EXPECT_DOUBLE_EQ(r.XHATt[e], c.xhat[e]);
        // T = 1: every observation is its own comparison observation.
        EXPECT_EQ(r.QHATs[e], r.QHATt[e]);
        EXPECT_EQ(r.XHATs[e], r.XHATt[e]);
      }
      EXPECT_EQ(r.Base, 3u);
      EXPECT_EQ(r.RefFirst, 1u);
      EXPECT_EQ(r.RefLast, 3u);
      EXPECT_EQ(r.RefCount, 3u);
    }
  }
}

// ------------------------------------------------------ chained, two periods

// Two firms, two periods, one output and one input:
//   obs  y  x  p  w
//   1    1  2  1  1      period 1 technology (VRS): x 2 gives y 2
//   2    2  2  1  1
//   3    3  2  2  1      period 2 technology (VRS): (2, 3)-(4, 4)
//   4    4  4  3  2
// Quantities: QHAT 2, 2, 3, 4 and XHAT 2, 2, 2, 4 in the own period; firm
// i's period-1 observation against period 1 gives QHAT 2 and XHAT 2.
// Laspeyres weighs with the comparison observation's prices (all 1 here);
// Paasche with the observation's own: obs 3 QHAT 3*2, XHAT 2*1, QHATs 2*2,
// XHATs 2*1; obs 4 QHAT 4*3, XHAT 4*2, QHATs 2*3, XHATs 2*2. Fisher is the
// geometric mean of the two.
struct ChainedCase {
  Family family;
  const char* name;
  double qhatt[4], xhatt[4], qhats[4], xhats[4];
};

const ChainedCase kChained[] = {
    {Family::Laspeyres, "Laspeyres", {2, 2, 3, 4}, {2, 2, 2, 4}, {2, 2, 2, 2}, {2, 2, 2, 2}},
    {Family::MalmquistHs, "MalmquistHs", {2, 2, 3, 4}, {2, 2, 2, 4}, {2, 2, 2, 2}, {2, 2, 2, 2}},
    {Family::Paasche, "Paasche", {2, 2, 6, 12}, {2, 2, 2, 8}, {2, 2, 4, 6}, {2, 2, 2, 4}},
    {Family::MalmquistIt, "MalmquistIt", {2, 2, 6, 12}, {2, 2, 2, 8}, {2, 2, 4, 6}, {2, 2, 2, 4}},
    {Family::Fisher,
     "Fisher",
     {2, 2, std::sqrt(18.0), std::sqrt(48.0)},
     {2, 2, 2, std::sqrt(32.0)},
     {2, 2, std::sqrt(8.0), std::sqrt(12.0)},
     {2, 2, 2, std::sqrt(8.0)}},
    {Family::HicksMoorsteen,
     "HicksMoorsteen",
     {2, 2, std::sqrt(18.0), std::sqrt(48.0)},
     {2, 2, 2, std::sqrt(32.0)},
     {2, 2, std::sqrt(8.0), std::sqrt(12.0)},
     {2, 2, 2, std::sqrt(8.0)}},
};

void MakeTwoPeriodRecord(AnalysisRecord& r, Family family) {
  MakeRecord(r, 2, 2, 1, 1, family, {{1, 2, 1, 1}, {2, 2, 1, 1}, {3, 2, 2, 1}, {4, 4, 3, 2}});
  // Distance-function weights: hs rows carry the comparison observation's
  // prices, it rows the observation's own, so the Malmquist families must
  // agree with Laspeyres and Paasche and Hicks-Moorsteen with Fisher.
  const double hs[4][2] = {{1, 1}, {1, 1}, {1, 1}, {1, 1}};
  const double it[4][2] = {{1, 1}, {1, 1}, {2, 1}, {3, 2}};
  for (uint32_t e = 0; e < 4; ++e) {
    r.pstarhs.SetValue(e, 0, hs[e][0]);
    r.wstarhs.SetValue(e, 0, hs[e][1]);
    r.pstarit.SetValue(e, 0, it[e][0]);
    r.wstarit.SetValue(e, 0, it[e][1]);
  }
}

TEST(Set3Hats, ChainedFamiliesTwoPeriods) {
  for (const ChainedCase& c : kChained) {
    SCOPED_TRACE(c.name);
    AnalysisRecord r;
    MakeTwoPeriodRecord(r, c.family);
    EXPECT_EQ(RunSet3(r), kHeading);
    for (uint32_t e = 0; e < 4; ++e) {
      SCOPED_TRACE(e + 1);
      EXPECT_DOUBLE_EQ(r.QHATt[e], c.qhatt[e]);
      EXPECT_DOUBLE_EQ(r.XHATt[e], c.xhatt[e]);
      EXPECT_DOUBLE_EQ(r.QHATs[e], c.qhats[e]);
      EXPECT_DOUBLE_EQ(r.XHATs[e], c.xhats[e]);
    }
    // The last reference set is period 1's, for the comparison values of period 2.
    EXPECT_EQ(r.Base, 2u);
    EXPECT_EQ(r.RefFirst, 1u);
    EXPECT_EQ(r.RefLast, 2u);
    EXPECT_EQ(r.RefCount, 2u);
  }
}

// A two-pass family whose program fails in one pass only, for one
// observation. On the two-period record above an output weight that is not a
// number fails that pass's QHAT programs (bad input); the XHAT programs, and
// every other observation, are solved. A failed second pass decides the value:
// -9999; after a failed first pass the second pass's value stands alone
// (first-pass values from the Laspeyres row above, second-pass values from
// the Paasche row). Hicks-Moorsteen: pass 1 of obs 3 (pstarhs row 3) and
// pass 2 of obs 4 (pstarit row 4) fail. Fisher weighs with prices: obs 3's
// own output price fails its pass 2, in both stages.
TEST(Set3Hats, TwoPassFamiliesWithOnePassFailing) {
  const double nan = std::nan("");
  const struct {
    Family family;
    const char* name;
    double qhatt[4], xhatt[4], qhats[4], xhats[4];
  } cases[] = {
      {Family::HicksMoorsteen, "HicksMoorsteen", {2, 2, 6, kMissing}, {2, 2, 2, std::sqrt(32.0)},
       {2, 2, 4, kMissing}, {2, 2, 2, std::sqrt(8.0)}},
      {Family::Fisher, "Fisher", {2, 2, kMissing, std::sqrt(48.0)}, {2, 2, 2, std::sqrt(32.0)},
       {2, 2, kMissing, std::sqrt(12.0)}, {2, 2, 2, std::sqrt(8.0)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AnalysisRecord r;
    MakeTwoPeriodRecord(r, c.family);
    if (c.family == Family::HicksMoorsteen) {
      r.pstarhs.SetValue(2, 0, nan);
      r.pstarit.SetValue(3, 0, nan);
    } else {
      r.Data.SetValue(2, 4, nan);  // output price of obs 3
    }
    RunSet3(r);
    for (uint32_t e = 0; e < 4; ++e) {
      SCOPED_TRACE(e + 1);
      EXPECT_DOUBLE_EQ(r.QHATt[e], c.qhatt[e]);
      EXPECT_DOUBLE_EQ(r.XHATt[e], c.xhatt[e]);
      EXPECT_DOUBLE_EQ(r.QHATs[e], c.qhats[e]);
      EXPECT_DOUBLE_EQ(r.XHATs[e], c.xhats[e]);
    }
  }
}

// The first pass of a two-pass family stays in the scratch vectors.
TEST(Set3Hats, FirstPassValuesKept) {
  AnalysisRecord r;
  MakeTwoPeriodRecord(r, Family::Fisher);
  RunSet3(r);
  EXPECT_DOUBLE_EQ(r.FirstPassQ[3], 4.0);   // Laspeyres QHATt of obs 4
  EXPECT_DOUBLE_EQ(r.FirstPassX[3], 4.0);   // Laspeyres XHATt of obs 4
  EXPECT_DOUBLE_EQ(r.FirstPassQs[3], 2.0);  // Laspeyres QHATs of obs 4
  EXPECT_DOUBLE_EQ(r.FirstPassXs[3], 2.0);
}

// ------------------------------------------------------ fixed base

// Lowe weights 2 (output) and 3 (input); Fare-Primont weights 5 and 1.5.
// Two firms, two periods, Base 3; the two periods have the technologies of
// the chained example above (VRS).
TEST(Set3Hats, FixedBaseComparisonValuesAreTheBaseObservations) {
  struct Case {
    Family family;
    const char* name;
    double p, w;
  };
  for (const Case& c : {Case{Family::Lowe, "Lowe", 2, 3}, Case{Family::FarePrimont, "FarePrimont", 5, 1.5}}) {
    SCOPED_TRACE(c.name);
    AnalysisRecord r;
    MakeRecord(r, 2, 2, 1, 1, c.family, {{1, 2, 9, 9}, {2, 2, 9, 9}, {3, 2, 9, 9}, {4, 4, 9, 9}});
    r.Base = 3;
    r.LoweOutputWeights = {2};
    r.LoweInputWeights = {3};
    r.pstar0 = {5};
    r.wstar0 = {1.5};
    EXPECT_EQ(RunSet3(r), kHeading);
    const double qhat[4] = {2, 2, 3, 4};
    const double xhat[4] = {2, 2, 2, 4};
    for (uint32_t e = 0; e < 4; ++e) {
      SCOPED_TRACE(e + 1);
      EXPECT_DOUBLE_EQ(r.QHATt[e], c.p * qhat[e]);
      EXPECT_DOUBLE_EQ(r.XHATt[e], c.w * xhat[e]);
      EXPECT_EQ(r.QHATs[e], r.QHATt[2]);
      EXPECT_EQ(r.XHATs[e], r.XHATt[2]);
    }
    EXPECT_EQ(r.Base, 3u);
    EXPECT_EQ(r.RefFirst, 3u);
    EXPECT_EQ(r.RefLast, 4u);
  }
}

// ------------------------------------------------------ posing the programs

// After the run the work objects hold the last program posed: the QHAT
// program of observation 2 (Lowe, one period, one output, two inputs).
//   rows 1..M:      -y_j        | 1      <= 0
//   rows M+1..M+K:   x_j,k      | 0      <= x_2,k
//   row  M+K+1:      1 ... 1    | 0       = 1   (VRS only)
TEST(Set3Hats, LastQhatProgramLayout) {
  for (int vrs : {1, 0}) {
    SCOPED_TRACE(vrs ? "VRS" : "CRS");
    AnalysisRecord r;
    // y, x1, x2, p, w1, w2
    MakeRecord(r, 2, 1, 1, 2, Family::Lowe, {{3, 5, 7, 0, 0, 0}, {4, 6, 8, 0, 0, 0}});
    r.Vrs = vrs;
    r.LoweOutputWeights = {1.5};
    r.LoweInputWeights = {1.0, 1.0};
    WorkerPool workers(1);
    RunSet3(r, workers);
    LPWorkspace& last = workers.Workspace(0);
    Matrix& A = last.LPMatrix;
    ASSERT_EQ(A.m_NumRows, vrs ? 4u : 3u);
    ASSERT_EQ(A.m_NumCols, 3u);
    const double expected[4][3] = {{-3, -4, 1}, {5, 6, 0}, {7, 8, 0}, {1, 1, 0}};
    for (uint32_t i = 0; i < A.m_NumRows; ++i)
      for (uint32_t j = 0; j < 3; ++j) EXPECT_EQ(A.GetValue(i, j), expected[i][j]) << i << "," << j;
    const double rhs[4] = {0, 6, 8, 1};
    for (uint32_t i = 0; i < A.m_NumRows; ++i) EXPECT_EQ(last.LPRhs[i], rhs[i]);
    EXPECT_EQ(last.LPObjective[0], 0.0);
    EXPECT_EQ(last.LPObjective[1], 0.0);
    EXPECT_EQ(last.LPObjective[2], 1.5);
    EXPECT_EQ(last.Problem.m_NumLessEqual, 3);
    EXPECT_EQ(last.Problem.m_NumGreaterEqual, 0);
    EXPECT_EQ(last.Problem.m_NumEqual, vrs ? 1 : 0);
    // QHAT of obs 2: VRS, x <= (6, 8) admits obs 2 only (obs 1 alone too,
    // with less output) -> y 4; CRS: the ray of obs 2 (4/8 per x2) vs obs 1
    // (3/7): scale obs 2 by 1 -> 4, obs 1 by 8/7 -> 24/7 < 4.
    EXPECT_DOUBLE_EQ(r.QHATt[1], 1.5 * 4);
  }
}

// ------------------------------------------------------ failed programs

// A negative output quantity of observation 1 makes the right-hand side of
// every XHAT program with target 1 negative, which the solver refuses: the
// XHATt of observation 1, and the XHATs of observation 3 (whose comparison
// observation it is) become -9999 and are logged under the label of the
// period-t observation. Everything else is solved.
TEST(Set3Hats, FailedProgramIsMissingAndLoggedUnderItsLabel) {
  const std::string logPath = MakeTestDirectory("log") + "/errors.txt";
  {
    ErrorLog log(logPath);
    AnalysisRecord r;
    r.Log = &log;
    MakeRecord(r, 2, 2, 1, 1, Family::Laspeyres, {{-1, 2, 1, 1}, {2, 2, 1, 1}, {3, 2, 1, 1}, {4, 4, 1, 1}});
    const std::string console = RunSet3(r);
    EXPECT_EQ(r.XHATt[0], kMissing);
    EXPECT_EQ(r.XHATs[0], kMissing);
    EXPECT_EQ(r.XHATs[2], kMissing);
    EXPECT_NE(r.QHATt[0], kMissing);
    EXPECT_NE(r.QHATs[2], kMissing);
    for (uint32_t e : {1u, 3u}) {
      EXPECT_NE(r.XHATt[e], kMissing);
      EXPECT_NE(r.XHATs[e], kMissing);
    }
    EXPECT_EQ(console.rfind(kHeading, 0), 0u);
  }
  const std::string text = ReadWholeFile(logPath);
  EXPECT_EQ(text.find("Determining XHATt, Obs 1 , EHL 0 : "), 0u) << text;
  EXPECT_NE(text.find("\n\nDetermining XHATs, Obs 3 , EHL 0 : "), std::string::npos) << text;
  // Exactly the two failed programs are logged.
  std::size_t entries = 0;
  for (std::size_t at = text.find("EHL"); at != std::string::npos; at = text.find("EHL", at + 1)) ++entries;
  EXPECT_EQ(entries, 2u);
}

// ------------------------------------------------------ objective scaling

// Normalised shadow prices of data in large units are about 1e-5 and below
// the simplex tolerance. Two firms, y = (100000, 200000), x = (50000,
// 50000), Fare-Primont weights 3e-6 and 4e-6 (VRS):
//   QHAT of either firm: x <= 50000 admits firm 2 -> 3e-6 x 200000 = 0.6;
//   XHAT of firm 1: y >= 100000 needs x 50000 -> 4e-6 x 50000 = 0.2.
TEST(Set3Hats, TinyWeightsStillReachTheOptimum) {
  AnalysisRecord r;
  MakeRecord(r, 2, 1, 1, 1, Family::FarePrimont, {{100000, 50000, 0, 0}, {200000, 50000, 0, 0}});
  r.pstar0 = {3e-6};
  r.wstar0 = {4e-6};
  EXPECT_EQ(RunSet3(r), kHeading);
  EXPECT_NEAR(r.QHATt[0], 0.6, 1e-12);
  EXPECT_NEAR(r.QHATt[1], 0.6, 1e-12);
  EXPECT_NEAR(r.XHATt[0], 0.2, 1e-12);
  EXPECT_NEAR(r.XHATt[1], 0.2, 1e-12);
}

// The objective is scaled by a power of two only, so nothing is rounded:
// weights 0.75 (posed as 1.5) give exactly half of what weights 1.5 give,
// bit for bit, on data whose optima are not round numbers. Scaling by the
// reciprocal of the largest weight instead would round. Three firms, two
// outputs, one input.
TEST(Set3Hats, ScaledObjectiveIsExactlyProportional) {
  const std::vector<std::vector<double>> rows = {
      {1.3, 2.7, 1.1, 0, 0, 0}, {2.9, 0.7, 1.7, 0, 0, 0}, {1.9, 1.9, 1.3, 0, 0, 0}};
  double qhat[2][3];
  double xhat[2][3];
  const double scale[2] = {1.5, 0.75};
  for (int s = 0; s < 2; ++s) {
    AnalysisRecord r;
    MakeRecord(r, 3, 1, 2, 1, Family::Lowe, rows);
    r.LoweOutputWeights = {scale[s], scale[s] * 0.625};
    r.LoweInputWeights = {scale[s]};
    RunSet3(r);
    for (uint32_t e = 0; e < 3; ++e) {
      qhat[s][e] = r.QHATt[e];
      xhat[s][e] = r.XHATt[e];
    }
  }
  for (uint32_t e = 0; e < 3; ++e) {
    SCOPED_TRACE(e + 1);
    EXPECT_GT(qhat[0][e], 0.0);
    EXPECT_EQ(qhat[1][e] * 2.0, qhat[0][e]);
    EXPECT_EQ(xhat[1][e] * 2.0, xhat[0][e]);
  }
}

// The constraint matrices depend on the period's reference set alone and are
// laid out once per period: the last program of a two-period chained run is
// the QHATs program of observation 4 against period 1 (observations 1, 2),
// posed right after the programs of period 2 (observations 3, 4), and the
// work matrix must hold period 1's quantities.
//   rows 1..M:  -y_1 -y_2 | 1     <= 0
//   row  M+1:    x_1  x_2 | 0     <= x_2
//   row  M+2:    1    1   | 0      = 1
TEST(Set3Hats, LastProgramUsesTheReferenceSetOfItsOwnPeriod) {
  AnalysisRecord r;
  // y, x, p, w; period 1 then period 2.
  MakeRecord(r, 2, 2, 1, 1, Family::Laspeyres,
             {{3, 5, 1, 1}, {4, 6, 1, 1}, {30, 50, 1, 1}, {40, 60, 1, 1}});
  WorkerPool workers(1);
  EXPECT_EQ(RunSet3(r, workers), kHeading);
  Matrix& A = workers.Workspace(0).LPMatrix;
  ASSERT_EQ(A.m_NumRows, 3u);
  ASSERT_EQ(A.m_NumCols, 3u);
  const double expected[3][3] = {{-3, -4, 1}, {5, 6, 0}, {1, 1, 0}};
  for (uint32_t i = 0; i < 3; ++i)
    for (uint32_t j = 0; j < 3; ++j) EXPECT_EQ(A.GetValue(i, j), expected[i][j]) << i << "," << j;
  EXPECT_EQ(workers.Workspace(0).LPRhs[1], 6.0);
  // QHATs of observation 4: firm 2 in period 1 (x = 6) is on the frontier.
  EXPECT_DOUBLE_EQ(r.QHATs[3], 4.0);
  // And QHATt of observation 4 against period 2: y = 40.
  EXPECT_DOUBLE_EQ(r.QHATt[3], 40.0);
}

}  // namespace
