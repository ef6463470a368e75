// Set 1: the reference-set rule, the distance values and efficiencies of
// small panels solved by hand, the -9999 rules, the comparison values and
// Base, and the shared multiplier-form program.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/AnalysisRecord.h"
#include "core/ErrorLog.h"
#include "input/InputFile.h"
#include "lp/WorkerPool.h"
#include "measures/BootstrapSet.h"
#include "measures/ComputationSets.h"
#include "measures/MultiplierProgram.h"
#include "measures/ReferenceSet.h"
#include "tests/TestSupport.h"

namespace {

constexpr double kTol = 1e-9;

// One data row: outputs then inputs.
using Row = std::vector<double>;

// A record for N firms, T periods, M outputs, K inputs holding `rows` (period
// by period, firm by firm) in Data, with the Laspeyres family unless the test
// picks another. `log`, when given, is stored before the LP objects are made.
std::unique_ptr<AnalysisRecord> MakeRecord(uint32_t N, uint32_t T, uint32_t M, uint32_t K,
                                           const std::vector<Row>& rows, ErrorLog* log = nullptr) {
  auto record = std::make_unique<AnalysisRecord>();
  record->Log = log;
  record->Laspeyres = 1;
  SetUpProblem(*record, N, T, M, K);
  const uint32_t NT = N * T;
  record->Data.Create(NT + 10, M + K + 10, NT, M + K + 2);
  for (uint32_t o = 0; o < NT; ++o) {
    record->Data.SetValue(o, 0, o % N + 1);
    record->Data.SetValue(o, 1, o / N + 1);
    for (uint32_t j = 0; j < M + K; ++j) record->Data.SetValue(o, 2 + j, rows[o][j]);
  }
  return record;
}

// A workspace sized as a run sizes each worker's.
std::unique_ptr<LPWorkspace> MakeWorkspace(const AnalysisRecord& record) {
  auto workspace = std::make_unique<LPWorkspace>();
  CreateWorkspace(record, *workspace);
  return workspace;
}

void UseFamily(AnalysisRecord& record, int AnalysisRecord::*family) {
  record.Laspeyres = 0;
  record.*family = 1;
}

std::string RunSet1(AnalysisRecord& record) {
  testing::internal::CaptureStdout();
  WorkerPool workers(1);
  PrepareWorkers(record, workers);
  ComputeSet1(record, workers);
  return testing::internal::GetCapturedStdout();
}

// ---------------------------------------------------------------------------
// Reference set of each period.

struct ReferenceCase {
  const char* name;
  uint32_t N, T, window;
  int techRegress, techChange;
  std::vector<ReferenceRange> expected;  // one range per period: first, last, present observations
  std::vector<char> absent = {};         // AnalysisRecord::Absent
};

TEST(Set1ReferenceSet, RuleTable) {
  const ReferenceCase cases[] = {
      {"defaults: each period alone", 2, 3, 1, 1, 1, {{1, 2, 2}, {3, 4, 2}, {5, 6, 2}}},
      {"Window 3, T 5", 2, 5, 3, 1, 1, {{1, 6, 6}, {1, 6, 6}, {1, 6, 6}, {3, 8, 6}, {5, 10, 6}}},
      {"NoTechRegress, Window 1", 2, 3, 1, 0, 1, {{1, 2, 2}, {1, 4, 4}, {1, 6, 6}}},
      {"NoTechRegress, Window 2", 2, 4, 2, 0, 1, {{1, 4, 4}, {1, 4, 4}, {1, 6, 6}, {1, 8, 8}}},
      {"NoTechChange", 3, 3, 1, 0, 0, {{1, 9, 9}, {1, 9, 9}, {1, 9, 9}}},
      {"NoTechChange with Window 2", 1, 3, 2, 0, 0, {{1, 3, 3}, {1, 3, 3}, {1, 3, 3}}},
      // Observations 2 and 5 absent: the ranges stay, their counts drop.
      {"absent 2 and 5", 2, 3, 1, 1, 1, {{1, 2, 1}, {3, 4, 2}, {5, 6, 1}}, {0, 1, 0, 0, 1, 0}},
      {"absent 2 and 5, Window 2", 2, 3, 2, 1, 1, {{1, 4, 3}, {1, 4, 3}, {3, 6, 3}}, {0, 1, 0, 0, 1, 0}},
      {"absent 2 and 5, NoTechRegress", 2, 3, 1, 0, 1, {{1, 2, 1}, {1, 4, 3}, {1, 6, 4}}, {0, 1, 0, 0, 1, 0}},
  };
  for (const ReferenceCase& c : cases) {
    AnalysisRecord record;
    record.Firms = c.N;
    record.Periods = c.T;
    record.Observations = c.N * c.T;
    record.Window = c.window;
    record.TechRegress = c.techRegress;
    record.TechChange = c.techChange;
    record.Absent = c.absent;
    for (uint32_t t = 1; t <= c.T; ++t) {
      ReferenceRange r = ReferenceSetOfPeriod(record, t);
      EXPECT_EQ(r.first, c.expected[t - 1].first) << c.name << ", period " << t;
      EXPECT_EQ(r.count, c.expected[t - 1].count) << c.name << ", period " << t;
      EXPECT_EQ(r.last, c.expected[t - 1].last) << c.name << ", period " << t;
    }
  }
}

// One firm, two periods, one output and one input. The reference rule decides
// which period's observation bounds the other's output.
struct TechnologyCase {
  const char* name;
  uint32_t window;
  int techRegress, techChange;
  Row first, second;         // (y, x) of periods 1 and 2
  double doFirst, doSecond;  // expected DOttt
};

TEST(Set1ReferenceSet, TechnologyOfEachPeriodFollowsTheRule) {
  // Period 2 (y=1) lies below period 1 (y=2) at the same input, or the reverse.
  const TechnologyCase cases[] = {
      {"each period alone: both on their frontier", 1, 1, 1, {2, 1}, {1, 1}, 1.0, 1.0},
      {"NoTechRegress: period 1 bounds period 2", 1, 0, 1, {2, 1}, {1, 1}, 1.0, 0.5},
      {"NoTechRegress: period 2 does not bound period 1", 1, 0, 1, {1, 1}, {2, 1}, 1.0, 1.0},
      {"NoTechChange: period 2 bounds period 1", 1, 0, 0, {1, 1}, {2, 1}, 0.5, 1.0},
      {"Window 2: one technology for both", 2, 1, 1, {1, 1}, {2, 1}, 0.5, 1.0},
  };
  for (const TechnologyCase& c : cases) {
    auto record = MakeRecord(1, 2, 1, 1, {c.first, c.second});
    record->Window = c.window;
    record->TechRegress = c.techRegress;
    record->TechChange = c.techChange;
    RunSet1(*record);
    EXPECT_NEAR(record->DOttt[0], c.doFirst, kTol) << c.name;
    EXPECT_NEAR(record->DOttt[1], c.doSecond, kTol) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Distance values and efficiencies.

struct ObservationExpectation {
  double DOttt, HOttt, DIttt, HIttt, OTE, OSE, ITE, ISE, pstar, wstar;
};

void ExpectObservation(AnalysisRecord& record, uint32_t o, const ObservationExpectation& e,
                       const std::string& what) {
  const uint32_t k = o - 1;
  EXPECT_NEAR(record.DOttt[k], e.DOttt, kTol) << what << " DOttt, obs " << o;
  EXPECT_NEAR(record.HOttt[k], e.HOttt, kTol) << what << " HOttt, obs " << o;
  EXPECT_NEAR(record.DIttt[k], e.DIttt, kTol) << what << " DIttt, obs " << o;
  EXPECT_NEAR(record.HIttt[k], e.HIttt, kTol) << what << " HIttt, obs " << o;
  EXPECT_NEAR(record.OTE[k], e.OTE, kTol) << what << " OTE, obs " << o;
  EXPECT_NEAR(record.OSE[k], e.OSE, kTol) << what << " OSE, obs " << o;
  EXPECT_NEAR(record.ITE[k], e.ITE, kTol) << what << " ITE, obs " << o;
  EXPECT_NEAR(record.ISE[k], e.ISE, kTol) << what << " ISE, obs " << o;
  EXPECT_NEAR(record.pstar.GetValue(k, 0), e.pstar, kTol) << what << " pstar, obs " << o;
  EXPECT_NEAR(record.wstar.GetValue(k, 0), e.wstar, kTol) << what << " wstar, obs " << o;
}

// One period, three firms, y = (1, 2, 3), x = (2, 2, 4).
const std::vector<Row> kThreeFirms = {{1, 2}, {2, 2}, {3, 4}};

TEST(Set1Efficiency, WorkedExampleUnderVariableReturns) {
  auto record = MakeRecord(3, 1, 1, 1, kThreeFirms);
  std::string console = RunSet1(*record);
  EXPECT_EQ(console, " Computing Set 1: OTE, OSE, ITE, ISE \n");
  // With one output and one input pstar = DOttt / y and wstar = DIttt / x.
  ExpectObservation(*record, 1, {0.5, 0.5, 1, 2, 0.5, 1, 1, 0.5, 0.5, 0.5}, "VRS");
  ExpectObservation(*record, 2, {1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5}, "VRS");
  ExpectObservation(*record, 3, {1, 0.75, 1, 4.0 / 3, 1, 0.75, 1, 0.75, 1.0 / 3, 0.25}, "VRS");
  EXPECT_NEAR(record->OutputMeans[0], 2.0, kTol);
  EXPECT_NEAR(record->InputMeans[0], 8.0 / 3, kTol);
}

TEST(Set1Efficiency, ConstantReturnsSolvesOnceAndCopiesHFromD) {
  auto record = MakeRecord(3, 1, 1, 1, kThreeFirms);
  record->Vrs = 0;
  RunSet1(*record);
  // Best ratio y/x is 1 (firm 2): DOttt = (y/x), DIttt = (x/y).
  ExpectObservation(*record, 1, {0.5, 0.5, 2, 2, 0.5, 1, 0.5, 1, 0.5, 1}, "CRS");
  ExpectObservation(*record, 2, {1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5}, "CRS");
  ExpectObservation(*record, 3, {0.75, 0.75, 4.0 / 3, 4.0 / 3, 0.75, 1, 0.75, 1, 0.25, 1.0 / 3}, "CRS");
  for (uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(record->HOttt[k], record->DOttt[k]);
    EXPECT_EQ(record->HIttt[k], record->DIttt[k]);
  }
}

// Non-increasing returns scale the reference combinations down only: the
// small firm 1 is measured as under constant returns, the large firm 3 as
// under variable returns; non-decreasing returns the other way round.
TEST(Set1Efficiency, NonIncreasingAndNonDecreasingReturnsBoundTheScale) {
  auto nirs = MakeRecord(3, 1, 1, 1, kThreeFirms);
  nirs->ScaleBound = kNonIncreasing;
  RunSet1(*nirs);
  ExpectObservation(*nirs, 1, {0.5, 0.5, 2, 2, 0.5, 1, 0.5, 1, 0.5, 1}, "NIRS");
  ExpectObservation(*nirs, 2, {1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5}, "NIRS");
  ExpectObservation(*nirs, 3, {1, 0.75, 1, 4.0 / 3, 1, 0.75, 1, 0.75, 1.0 / 3, 0.25}, "NIRS");

  auto ndrs = MakeRecord(3, 1, 1, 1, kThreeFirms);
  ndrs->ScaleBound = kNonDecreasing;
  RunSet1(*ndrs);
  ExpectObservation(*ndrs, 1, {0.5, 0.5, 1, 2, 0.5, 1, 1, 0.5, 0.5, 0.5}, "NDRS");
  ExpectObservation(*ndrs, 2, {1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5}, "NDRS");
  ExpectObservation(*ndrs, 3, {0.75, 0.75, 4.0 / 3, 4.0 / 3, 0.75, 1, 0.75, 1, 0.25, 1.0 / 3}, "NDRS");
}

TEST(Set1Efficiency, TwoOutputsTwoInputsShadowPricesAggregateToTheDistance) {
  // Firm 1 and 2 span the frontier; firm 3 = 0.5 x firm 1's outputs at firm 1's inputs.
  auto record = MakeRecord(3, 1, 2, 2, {{4, 1, 2, 2}, {1, 4, 2, 2}, {2, 0.5, 2, 2}});
  RunSet1(*record);
  // Same inputs for all: DOttt of firm 3 is the radial shortfall to firm 1.
  EXPECT_NEAR(record->DOttt[2], 0.5, kTol);
  // Normalised shadow prices aggregate the firm's own quantities to its distance value.
  const double y[3][2] = {{4, 1}, {1, 4}, {2, 0.5}};
  for (uint32_t k = 0; k < 3; ++k) {
    double revenue = record->pstar.GetValue(k, 0) * y[k][0] + record->pstar.GetValue(k, 1) * y[k][1];
    double cost = record->wstar.GetValue(k, 0) * 2 + record->wstar.GetValue(k, 1) * 2;
    EXPECT_NEAR(revenue, record->DOttt[k], kTol) << "obs " << k + 1;
    EXPECT_NEAR(cost, record->DIttt[k], kTol) << "obs " << k + 1;
  }
  EXPECT_NEAR(record->OutputMeans[0], 7.0 / 3, kTol);
  EXPECT_NEAR(record->OutputMeans[1], 5.5 / 3, kTol);
  EXPECT_NEAR(record->InputMeans[1], 2.0, kTol);
}

// ---------------------------------------------------------------------------
// Failed programs.

TEST(Set1FailedProgram, ZeroOutputMakesOnlyTheOutputMeasuresMissing) {
  std::string dir = MakeTestDirectory("log");
  ErrorLog log(dir + "/errors.txt");
  // Firm 1 produces nothing: u.y_1 = 1 has no solution, so its output
  // programs are infeasible; its input program is not affected.
  auto record = MakeRecord(3, 1, 1, 1, {{0, 2}, {2, 2}, {3, 4}}, &log);
  RunSet1(*record);
  EXPECT_EQ(record->DOttt[0], kMissing);
  EXPECT_EQ(record->HOttt[0], kMissing);
  EXPECT_EQ(record->OTE[0], kMissing);
  EXPECT_EQ(record->OSE[0], kMissing);
  // VRS input distance of (x=2, y=0): the least input in the hull is 2.
  EXPECT_NEAR(record->DIttt[0], 1.0, kTol);
  EXPECT_NEAR(record->ITE[0], 1.0, kTol);
  // The other firms keep the values of the worked example.
  ExpectObservation(*record, 2, {1, 1, 1, 1, 1, 1, 1, 1, 0.5, 0.5}, "after a failure");
  ExpectObservation(*record, 3, {1, 0.75, 1, 4.0 / 3, 1, 0.75, 1, 0.75, 1.0 / 3, 0.25}, "after a failure");
  std::fflush(log.m_File);
  EXPECT_EQ(ReadWholeFile(dir + "/errors.txt"),
            "Determining DOttt, Obs 1 , EHL 0 :  LP error: code = -1 \n\n"
            "Determining HOttt, Obs 1 , EHL 0 :  LP error: code = -1 \n\n");
}

TEST(Set1FailedProgram, MissingDistanceValuesGiveMissingMeasures) {
  // Distance values of an infeasible program pass on as -9999; OTE does not
  // depend on HOttt and ITE not on HIttt.
  auto record = MakeRecord(2, 1, 1, 1, {{0, 1}, {0, 2}});
  RunSet1(*record);
  for (uint32_t k = 0; k < 2; ++k) {
    EXPECT_EQ(record->DOttt[k], kMissing);
    EXPECT_EQ(record->OTE[k], kMissing);
    EXPECT_EQ(record->OSE[k], kMissing);
    EXPECT_EQ(record->OTEs[k], kMissing);
  }
}

TEST(Set1FailedProgram, OptimumOfExactlyMinus9999CountsAsFailed) {
  // Constant returns, A (y=9999, x=1), B (y=1, x=1): B's output program has
  // u = 1 and v = 9999, so its optimum is -9999 exactly although it solved.
  auto record = MakeRecord(2, 1, 1, 1, {{9999, 1}, {1, 1}});
  record->Vrs = 0;
  RunSet1(*record);
  EXPECT_EQ(record->DOttt[1], kMissing);
  EXPECT_EQ(record->OTE[1], kMissing);
  EXPECT_NEAR(record->DIttt[1], 9999.0, 1e-6);
  EXPECT_NEAR(record->ITE[1], 1.0 / 9999, kTol);
  EXPECT_NEAR(record->DOttt[0], 1.0, kTol);
}

// ---------------------------------------------------------------------------
// Comparison values and Base.

// Two firms, three periods; firm 2 is always half as productive as firm 1.
const std::vector<Row> kTwoFirmsThreePeriods = {{2, 1}, {1, 1}, {4, 1}, {2, 1}, {3, 1}, {1.5, 1}};

TEST(Set1Comparison, ChainedFamiliesCompareWithThePreviousPeriod) {
  int AnalysisRecord::*chained[] = {&AnalysisRecord::Laspeyres,   &AnalysisRecord::Paasche,
                                    &AnalysisRecord::Fisher,      &AnalysisRecord::MalmquistHs,
                                    &AnalysisRecord::MalmquistIt, &AnalysisRecord::HicksMoorsteen};
  for (auto family : chained) {
    auto record = MakeRecord(2, 3, 1, 1, kTwoFirmsThreePeriods);
    UseFamily(*record, family);
    RunSet1(*record);
    for (uint32_t k = 0; k < 6; ++k) {
      const uint32_t b = k < 2 ? k : k - 2;
      EXPECT_EQ(record->OTEs[k], record->OTE[b]) << k;
      EXPECT_EQ(record->OSEs[k], record->OSE[b]) << k;
      EXPECT_EQ(record->ITEs[k], record->ITE[b]) << k;
      EXPECT_EQ(record->ISEs[k], record->ISE[b]) << k;
    }
    EXPECT_NEAR(record->OTE[1], 0.5, kTol);
    EXPECT_NEAR(record->OTEs[3], 0.5, kTol);
    // Base is left at the comparison observation of the last observation.
    EXPECT_EQ(record->Base, 4u);
  }
}

TEST(Set1Comparison, OnePeriodChainedRunComparesEachObservationWithItself) {
  auto record = MakeRecord(3, 1, 1, 1, kThreeFirms);
  RunSet1(*record);
  for (uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(record->OTEs[k], record->OTE[k]);
    EXPECT_EQ(record->ISEs[k], record->ISE[k]);
  }
  EXPECT_EQ(record->Base, 3u);
}

TEST(Set1Comparison, FixedBaseFamiliesCompareWithBaseAndKeepIt) {
  for (auto family : {&AnalysisRecord::Lowe, &AnalysisRecord::FarePrimont}) {
    auto record = MakeRecord(2, 3, 1, 1, kTwoFirmsThreePeriods);
    UseFamily(*record, family);
    record->Base = 4;
    RunSet1(*record);
    for (uint32_t k = 0; k < 6; ++k) {
      EXPECT_EQ(record->OTEs[k], record->OTE[3]);
      EXPECT_EQ(record->OSEs[k], record->OSE[3]);
      EXPECT_EQ(record->ITEs[k], record->ITE[3]);
      EXPECT_EQ(record->ISEs[k], record->ISE[3]);
    }
    EXPECT_NEAR(record->OTEs[0], 0.5, kTol);
    EXPECT_EQ(record->Base, 4u);
  }
}

// ---------------------------------------------------------------------------
// The shared multiplier-form program.

TEST(MultiplierProgram, BuildsTheConstraintMatrixRightHandSideAndObjective) {
  // Two outputs, one input, reference observations 2..3 of three.
  auto record = MakeRecord(3, 1, 2, 1, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  auto ws = MakeWorkspace(*record);
  Matrix outputs, inputs;
  outputs.Create(10, 10, 3, 2);
  inputs.Create(10, 10, 3, 1);
  SetSubMatrix(outputs, 0, 2, 0, 1, record->Data, 0, 2, 2, 3);
  SetSubMatrix(inputs, 0, 2, 0, 0, record->Data, 0, 2, 4, 4);
  const double norm[] = {1.5};
  const double objective[] = {10, 20};
  BuildMultiplierProgram(*record, *ws, outputs, inputs, {2, 3, 2}, Orientation::kInput, norm, objective);
  Matrix& A = ws->LPMatrix;
  ASSERT_EQ(A.m_NumRows, 3u);
  ASSERT_EQ(A.m_NumCols, 5u);
  const double expected[3][5] = {{4, 5, -6, -1, 1}, {7, 8, -9, -1, 1}, {0, 0, 1.5, 0, 0}};
  for (uint32_t r = 0; r < 3; ++r)
    for (uint32_t c = 0; c < 5; ++c) EXPECT_EQ(A.GetValue(r, c), expected[r][c]) << r << "," << c;
  const double expectedObjective[] = {10, 20, 0, -1, 1};
  for (uint32_t c = 0; c < 5; ++c) EXPECT_EQ(ws->LPObjective[c], expectedObjective[c]) << c;
  EXPECT_EQ(ws->LPRhs[0], 0.0);
  EXPECT_EQ(ws->LPRhs[1], 0.0);
  EXPECT_EQ(ws->LPRhs[2], 1.0);

  BuildMultiplierProgram(*record, *ws, outputs, inputs, {1, 1, 1}, Orientation::kOutput, objective, norm);
  ASSERT_EQ(A.m_NumRows, 2u);
  const double expectedOutput[2][5] = {{1, 2, -3, -1, 1}, {10, 20, 0, 0, 0}};
  for (uint32_t r = 0; r < 2; ++r)
    for (uint32_t c = 0; c < 5; ++c) EXPECT_EQ(A.GetValue(r, c), expectedOutput[r][c]) << r << "," << c;
  EXPECT_EQ(ws->LPObjective[0], 0.0);
  EXPECT_EQ(ws->LPObjective[2], -1.5);
}

TEST(MultiplierProgram, ConstantReturnsCutsTheInterceptColumns) {
  auto record = MakeRecord(3, 1, 1, 1, kThreeFirms);
  auto ws = MakeWorkspace(*record);
  Matrix outputs, inputs;
  outputs.Create(10, 10, 3, 1);
  inputs.Create(10, 10, 3, 1);
  SetSubMatrix(outputs, 0, 2, 0, 0, record->Data, 0, 2, 2, 2);
  SetSubMatrix(inputs, 0, 2, 0, 0, record->Data, 0, 2, 3, 3);
  const double y3[] = {3};
  const double x3[] = {4};
  BuildMultiplierProgram(*record, *ws, outputs, inputs, {1, 3, 3}, Orientation::kOutput, y3, x3);
  EXPECT_NEAR(SolveMultiplierProgram(*record, *ws, {1, 3, 3}, Orientation::kOutput, false), 1.0, kTol);
  EXPECT_EQ(ws->Problem.m_NumVariables, 4u);
  EXPECT_NEAR(SolveMultiplierProgram(*record, *ws, {1, 3, 3}, Orientation::kOutput, true), 0.75, kTol);
  EXPECT_EQ(ws->LPMatrix.m_NumCols, 2u);
  EXPECT_EQ(ws->Problem.m_NumVariables, 2u);
  // u.y_3 = 1 at the optimum.
  EXPECT_NEAR(ws->Problem.m_Solution[0], 1.0 / 3, kTol);
}

// Rows 1..J found in place: a series of builds against one reference set
// (output program, its cut for constant returns, input program) leaves the
// same work matrix, bit for bit, as building each program anew; the
// normalisation row keeps the negated zeros of a new layout.
TEST(MultiplierProgram, ReferenceRowsFoundInPlaceGiveTheSameMatrix) {
  const std::vector<Row> rows = {{1, 2, 3}, {4, 5, 6}, {7, 0, 9}, {2, 2, 1}};
  auto reused = MakeRecord(4, 1, 2, 1, rows);
  auto reusedWs = MakeWorkspace(*reused);
  Matrix outputs, inputs;
  outputs.Create(10, 10, 4, 2);
  inputs.Create(10, 10, 4, 1);
  SetSubMatrix(outputs, 0, 3, 0, 1, reused->Data, 0, 3, 2, 3);
  SetSubMatrix(inputs, 0, 3, 0, 0, reused->Data, 0, 3, 4, 4);
  ReferenceRowsInPlace inPlace;

  struct Step {
    ReferenceRange range;
    Orientation orientation;
    std::vector<double> normalisation, objective;
  };
  const Step steps[] = {{{2, 4, 3}, Orientation::kOutput, {2, 2}, {1}},
                        {{2, 4, 3}, Orientation::kInput, {1}, {2, 2}},
                        {{2, 4, 3}, Orientation::kOutput, {4, 0}, {6}},
                        {{1, 4, 4}, Orientation::kInput, {3}, {1, 2}},
                        {{1, 4, 4}, Orientation::kOutput, {1, 2}, {3}}};
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(step.range.first) + ".." + std::to_string(step.range.last));
    BuildMultiplierProgram(*reused, *reusedWs, outputs, inputs, step.range, step.orientation, step.normalisation.data(),
                           step.objective.data(), &inPlace);
    EXPECT_TRUE(inPlace.valid);
    auto fresh = MakeRecord(4, 1, 2, 1, rows);
    auto freshWs = MakeWorkspace(*fresh);
    BuildMultiplierProgram(*fresh, *freshWs, outputs, inputs, step.range, step.orientation, step.normalisation.data(),
                           step.objective.data());
    Matrix& A = reusedWs->LPMatrix;
    Matrix& B = freshWs->LPMatrix;
    ASSERT_EQ(A.m_NumRows, B.m_NumRows);
    ASSERT_EQ(A.m_NumCols, 5u);
    ASSERT_EQ(B.m_NumCols, 5u);
    for (uint32_t r = 0; r < A.m_NumRows; ++r) {
      for (uint32_t c = 0; c < 5; ++c) {
        const double a = A.GetValue(r, c), b = B.GetValue(r, c);
        EXPECT_EQ(a, b) << r << "," << c;
        EXPECT_EQ(std::signbit(a), std::signbit(b)) << r << "," << c;
      }
    }
    // Solve it cut to constant returns, as Set 1 does between builds.
    testing::internal::CaptureStdout();
    SolveMultiplierProgram(*reused, *reusedWs, step.range, step.orientation, true);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(A.m_NumCols, 3u);
  }
  // The last program by hand: reference rows 1..4 and u.y = 1 for y = (1, 2).
  const double expected[5][5] = {{1, 2, -3, -1, 1}, {4, 5, -6, -1, 1}, {7, 0, -9, -1, 1}, {2, 2, -1, -1, 1},
                                 {1, 2, -0.0, -0.0, -0.0}};
  BuildMultiplierProgram(*reused, *reusedWs, outputs, inputs, {1, 4, 4}, Orientation::kOutput, steps[4].normalisation.data(),
                         steps[4].objective.data(), &inPlace);
  for (uint32_t r = 0; r < 5; ++r) {
    for (uint32_t c = 0; c < 5; ++c) {
      EXPECT_EQ(reusedWs->LPMatrix.GetValue(r, c), expected[r][c]) << r << "," << c;
      EXPECT_EQ(std::signbit(reusedWs->LPMatrix.GetValue(r, c)), std::signbit(expected[r][c])) << r << "," << c;
    }
  }
}

// A reference range beyond the data is laid out anew for every program, with
// its reports each time: nothing is taken as being in place.
TEST(MultiplierProgram, RowsOfARangeBeyondTheDataAreNeverTakenAsInPlace) {
  auto record = MakeRecord(2, 1, 1, 1, {{1, 2}, {3, 4}});
  auto ws = MakeWorkspace(*record);
  Matrix outputs, inputs;
  outputs.Create(10, 10, 2, 1);
  inputs.Create(10, 10, 2, 1);
  SetSubMatrix(outputs, 0, 1, 0, 0, record->Data, 0, 1, 2, 2);
  SetSubMatrix(inputs, 0, 1, 0, 0, record->Data, 0, 1, 3, 3);
  ReferenceRowsInPlace inPlace;
  const double one[] = {1};
  std::string reports[2];
  for (std::string& report : reports) {
    testing::internal::CaptureStdout();
    BuildMultiplierProgram(*record, *ws, outputs, inputs, {1, 3, 3}, Orientation::kOutput, one, one, &inPlace);
    report = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(inPlace.valid);
  }
  EXPECT_EQ(reports[0], "Error Detected : GetValue\nError Detected : GetValue\n");
  EXPECT_EQ(reports[1], reports[0]);
}

}  // namespace

// The statistics of the bootstrap by hand: a failed replicate (-9999) is
// left out and not averaged in; an observation without an estimate, or
// without a replicate, has every statistic missing and 0 replicates used.
// OTE of observation 1: estimate 0.8, replicates 0.9, failed, 0.85, 0.95,
// 0.8: n = 4, mean 0.875, bias 0.075, bc 0.725, se sqrt(0.0125 / 3); the
// r - e sorted 0, 0.05, 0.1, 0.15 have (alpha 0.1) q(0.95) at h = 2.85,
// 0.1 + 0.85 x 0.05 = 0.1425, and q(0.05) at h = 0.15, 0.0075.
TEST(BootstrapStatistics, FailedReplicatesAreLeftOutNotAveragedIn) {
  AnalysisRecord record;
  record.Observations = 2;
  record.OTE = {0.8, 1.0};
  record.ITE = {kMissing, 0.9};
  const std::vector<std::vector<double>> values = {
      {0.9, kMissing, kMissing, kMissing, 0.85, kMissing, 0.95, kMissing, 0.8, kMissing},
      {0.7, 0.95, 0.7, 0.95, 0.7, 0.95, 0.7, 0.95, 0.7, kMissing}};
  const std::vector<std::vector<double>> columns = BootstrapStatistics(record, values, 5, 0.1);
  ASSERT_EQ(columns.size(), 14u);
  const double expected[7] = {0.8, 0.725, 0.075, std::sqrt(0.0125 / 3.0), 0.8 - 0.1425, 0.8 - 0.0075, 4};
  for (int c = 0; c < 7; ++c) EXPECT_NEAR(columns[c][0], expected[c], 1e-12) << BootstrapStatisticSuffixes()[c];
  // OTE of observation 2: every replicate failed. ITE of observation 1: no estimate.
  for (int c = 1; c < 6; ++c) {
    EXPECT_EQ(columns[c][1], kMissing);
    EXPECT_EQ(columns[7 + c][0], kMissing);
  }
  EXPECT_EQ(columns[6][1], 0.0);
  EXPECT_EQ(columns[13][0], 0.0);
  // ITE of observation 2: 0.95 four times; se 0 and the interval one point.
  EXPECT_NEAR(columns[7 + 1][1], 0.85, 1e-12);
  EXPECT_NEAR(columns[7 + 3][1], 0.0, 1e-12);
  EXPECT_NEAR(columns[7 + 4][1], 0.85, 1e-12);
  EXPECT_EQ(columns[13][1], 4.0);
}
