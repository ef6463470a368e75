// Tests of the simplex solver and the LP wrapper: programs with known optima
// (worked by hand), the solver's tie rules and tolerance boundaries, the
// phase-1 ending, and the failures with their console lines and log entries.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "core/ErrorLog.h"
#include "core/Transcript.h"
#include "lp/LPProblem.h"
#include "lp/Matrix.h"
#include "lp/RescaledSolve.h"
#include "lp/Simplex.h"
#include "lp/SolutionCheck.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kMax = std::numeric_limits<double>::max();
constexpr long kAny = -1;  // step count not checked

struct LPCase {
  const char* name;
  int m1, m2, m3;
  std::vector<std::vector<double>> A;  // rows grouped <=, >=, =
  std::vector<double> rhs;
  std::vector<double> obj;
  int code;
  double objective;        // checked when code is 0
  std::vector<double> x;   // checked when not empty
  long steps;              // checked unless kAny
  std::vector<int> basis;  // basis entries of rows 1..m, checked when not empty
};

std::string ReadFile(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    std::fclose(f);
  }
  return text;
}

int CountOccurrences(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// One LPProblem with its own error log, as the run holds them.
class LPFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath_ = ::testing::TempDir() + "koru_lp_errors_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    log_ = new ErrorLog(logPath_);
    log_->SetContext("Determining DOttt, Obs %d ", 3);
    problem_.Create(kCapacity, kCapacity);
    problem_.m_ErrorLog = log_;
  }
  void TearDown() override {
    delete log_;
    std::remove(logPath_.c_str());
  }

  // Poses the case through SetProblem and solves it; returns the console text.
  std::string PoseAndSolve(const LPCase& c, int& code) {
    const uint32_t m = static_cast<uint32_t>(c.A.size());
    const uint32_t n = static_cast<uint32_t>(c.obj.size());
    Matrix A;
    A.Create(m + 5, n + 5, 0, 0);
    A.ResetMatrix(m, n);
    for (uint32_t i = 0; i < m; ++i) {
      for (uint32_t j = 0; j < n; ++j) A.SetValue(i, j, c.A[i][j]);
    }
    ::testing::internal::CaptureStdout();
    SetProblem(A, problem_, c.rhs.data(), c.obj.data(), c.m1, c.m2, c.m3);
    code = Solve(problem_);
    return ::testing::internal::GetCapturedStdout();
  }

  std::string LogText() {
    std::fflush(log_->m_File);
    return ReadFile(logPath_);
  }

  void CheckCase(const LPCase& c) {
    SCOPED_TRACE(c.name);
    int code = 99;
    const int entriesBefore = CountOccurrences(LogText(), "EHL");
    const std::string console = PoseAndSolve(c, code);
    const int newEntries = CountOccurrences(LogText(), "EHL 0") - entriesBefore;
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(problem_.m_ResultCode, c.code);
    if (c.code == kLPOptimal) {
      EXPECT_DOUBLE_EQ(problem_.Objective(), c.objective);
      EXPECT_EQ(console, "");
      EXPECT_EQ(newEntries, 0);
    } else {
      EXPECT_EQ(CountOccurrences(console, " LP error: code = "), 1) << console;
      EXPECT_EQ(newEntries, 1);
    }
    for (std::size_t j = 0; j < c.x.size(); ++j) {
      EXPECT_DOUBLE_EQ(problem_.m_Solution[j], c.x[j]) << "x" << j + 1;
    }
    if (c.steps != kAny) {
      EXPECT_EQ(static_cast<long>(problem_.m_StepCount), c.steps);
    }
    for (std::size_t i = 0; i < c.basis.size(); ++i) {
      EXPECT_EQ(problem_.m_Basis[i + 1], c.basis[i]) << "basis of row " << i + 1;
    }
  }

  static constexpr uint32_t kCapacity = 20;
  std::string logPath_;
  ErrorLog* log_ = nullptr;
  LPProblem problem_;
};

// ---------------------------------------------------------------------------
// Programs with known optima.

const std::vector<LPCase> kWorkedResults = {
    {"worked 1: two <= rows", 2, 0, 0, {{1, 2}, {3, 1}}, {4, 6}, {1, 1}, kLPOptimal, 2.8, {1.6, 1.2}, 7, {}},
    {"worked 2: one row of each kind", 1, 1, 1, {{1, 1, 1}, {1, -1, 0}, {1, 0, 1}}, {10, 1, 4}, {2, 3, 1},
     kLPOptimal, 17, {4, 3, 0}, 11, {}},
    {"worked 3: unbounded", 0, 2, 0, {{1, 1}, {1, -1}}, {4, 1}, {1, 1}, kLPUnbounded, 0, {}, kAny, {}},
    {"worked 4: infeasible", 1, 1, 0, {{1, 1}, {1, 1}}, {1, 3}, {1, 1}, kLPInfeasible, 0, {}, kAny, {}},
};

TEST_F(LPFixture, WorkedResults) {
  for (const LPCase& c : kWorkedResults) CheckCase(c);
}

// Hand-solved programs beyond the worked results: minimisation posed with a
// negated objective over >= rows, and a DEA output-distance program.
const std::vector<LPCase> kHandSolved = {
    // min x1 + x2 s.t. x1 + 2 x2 >= 4, 3 x1 + x2 >= 6: vertices (0,6), (4,0), (1.6,1.2).
    {"minimisation over >= rows", 0, 2, 0, {{1, 2}, {3, 1}}, {4, 6}, {-1, -1}, kLPOptimal, -2.8, {1.6, 1.2}, kAny,
     {}},
    // Firms (x, y) = (2, 1), (4, 4), (3, 1); max phi with 2 l1 + 4 l2 + 3 l3 <= 2 and
    // l1 + 4 l2 + l3 - phi >= 0: only firm 2 is on the frontier, l2 = 0.5, phi = 2.
    {"DEA output distance, CRS", 1, 1, 0, {{0, 2, 4, 3}, {-1, 1, 4, 1}}, {2, 0}, {1, 0, 0, 0}, kLPOptimal, 2.0,
     {2, 0, 0.5, 0}, kAny, {}},
    // The same firm with an equality (VRS) row l1 + l2 + l3 = 1: firm 1 itself is
    // the only convex combination using no more than 2 units of input: phi = 1.
    {"DEA output distance, VRS", 1, 1, 1, {{0, 2, 4, 3}, {-1, 1, 4, 1}, {0, 1, 1, 1}}, {2, 0, 1}, {1, 0, 0, 0},
     kLPOptimal, 1.0, {1, 1, 0, 0}, kAny, {}},
};

TEST_F(LPFixture, HandSolvedPrograms) {
  for (const LPCase& c : kHandSolved) CheckCase(c);
}

// Entering-column search and the tolerance on objective coefficients.
const std::vector<LPCase> kEnteringColumnRules = {
    // Every coefficient <= 1e-5: optimal after one search, nothing moves.
    {"optimum at the start", 1, 0, 0, {{1, 1}}, {5}, {-1, -2}, kLPOptimal, 0.0, {0, 0}, 1, {3}},
    {"coefficient of exactly 1e-5 does not improve", 1, 0, 0, {{1}}, {1}, {1e-5}, kLPOptimal, 0.0, {0}, 1, {2}},
    // search, ratio test, pivot, search: x1 = 1.
    {"coefficient of 2e-5 improves", 1, 0, 0, {{1}}, {1}, {2e-5}, kLPOptimal, 2e-5, {1}, 4, {1}},
    // max x1 + x2 s.t. x1 + x2 <= 1: both columns tie at 1, the earlier enters
    // and the optimum ends at (1, 0); a strictly larger x2 moves it to (0, 1).
    {"equal values: the earlier candidate enters", 1, 0, 0, {{1, 1}}, {1}, {1, 1}, kLPOptimal, 1.0, {1, 0}, 4, {1}},
    {"strictly larger later value enters", 1, 0, 0, {{1, 1}}, {1}, {1, 1 + 1e-12}, kLPOptimal, 1 + 1e-12, {0, 1},
     4, {2}},
};

TEST_F(LPFixture, EnteringColumnRules) {
  for (const LPCase& c : kEnteringColumnRules) CheckCase(c);
}

// Ratio test: the -1e-5 boundary and the tie-breaks.
const std::vector<LPCase> kRatioTestRules = {
    // A coefficient of 1e-5 gives a tableau entry of exactly -1e-5, which does
    // not limit the step: x1 is unbounded.
    {"entry of exactly -1e-5 is not eligible", 1, 0, 0, {{1e-5}}, {1}, {1}, kLPUnbounded, 0, {}, 2, {}},
    {"entry of -2e-5 limits the step", 1, 0, 0, {{2e-5}}, {1}, {1}, kLPOptimal, 1.0 / 2e-5, {1.0 / 2e-5}, 4, {1}},
    // Equal ratios 1 and 1 in column x1. Column-wise ratios -a_k / a_1 at x2:
    // -2 for x1 + 2 x2 <= 1 and -1 for x1 + x2 <= 1; the smaller one wins.
    {"exact tie: earlier row has the smaller column ratio", 2, 0, 0, {{1, 2}, {1, 1}}, {1, 1}, {1, 0}, kLPOptimal,
     1.0, {1, 0}, 4, {1, 4}},
    {"exact tie: later row has the smaller column ratio", 2, 0, 0, {{1, 1}, {1, 2}}, {1, 1}, {1, 0}, kLPOptimal, 1.0,
     {1, 0}, 4, {3, 1}},
    {"complete tie: the earlier row stays", 2, 0, 0, {{1, 1}, {1, 1}}, {1, 1}, {1, 0}, kLPOptimal, 1.0, {1, 0}, 4,
     {1, 4}},
    // A right-hand side of -0.0 is not negative; the ratio is -0.0 and x1 = 0.
    {"right-hand side of -0.0 is accepted", 1, 0, 0, {{1}}, {-0.0}, {1}, kLPOptimal, 0.0, {0}, 4, {1}},
};

TEST_F(LPFixture, RatioTestRules) {
  problem_.m_SingleSolve = true;  // the first solve's rules: no second solve mends the cases
  for (const LPCase& c : kRatioTestRules) CheckCase(c);
}

// The end of phase 1 with equality rows whose artificial is still basic.
const std::vector<LPCase> kEndOfPhase1 = {
    // -x1 = 0 leaves the auxiliary row without an improving column while the
    // artificial of row 2 is basic at 0; its row holds 1 at x1, so it is pivoted
    // out there and x1 leaves the candidates. Phase 2 then raises x2 to 3.
    // Steps: search, |search|, pivot, search; search, ratio, pivot, search.
    {"artificial pivoted out at the end of phase 1", 1, 0, 1, {{1, 1, 1}, {-1, 0, 0}}, {3, 0}, {1, 2, 1},
     kLPOptimal, 6.0, {0, 3, 0}, 8, {2, 1}},
    // 0 x1 + 0 x2 = 0: no entry above 1e-5, the artificial (variable 5) stays
    // basic at 0 and phase 2 solves the two bounds.
    {"artificial stays basic at 0", 2, 0, 1, {{1, 0}, {0, 1}, {0, 0}}, {1, 2, 0}, {1, 1}, kLPOptimal, 3.0, {1, 2},
     kAny, {1, 2, 5}},
    // x1 - x2 = 0 and -x1 + x2 = 0: the absolute-value search on row 2 picks the
    // entry -1 (|1| does not beat |-1|) and keeps its sign, so row 2 gives no
    // pivot; row 3 does. The artificial of row 2 (variable 4) stays basic.
    {"absolute search keeps the signed value", 1, 0, 2, {{1, 1}, {1, -1}, {-1, 1}}, {2, 0, 0}, {1, 1}, kLPOptimal,
     2.0, {1, 1}, kAny, {}},
};

TEST_F(LPFixture, EndOfPhase1) {
  for (const LPCase& c : kEndOfPhase1) CheckCase(c);
  // The last case: row 2 kept its artificial, row 3's left.
  EXPECT_EQ(problem_.m_Basis[2], 4);
  EXPECT_NE(problem_.m_Basis[3], 5);
}

// Optimal programs left with an improving step inside the tolerance: maximise
// x1 + c x2 subject to x1 <= u and x2 <= b, with c <= 1e-5. x1 enters and
// the optimum is z = u; x2's reduced cost c does not exceed the tolerance, so
// the solver stops there. The step along x2 reaches x2 = b and raises z by
// c b, a gain of c b / u relative to the optimum: with u = 1, 2.9e-5 for
// b = 2.9 (below the threshold 3e-5) and 3.1e-5 for b = 3.1 (above it). A
// gain of exactly the threshold does not count: c = 3e-5 / 4 (a division by
// a power of two, exact) and b = 4 give c b = 3e-5 exactly, where 1e-5 x 3
// would not. The gain is relative: against an optimum of 2 an absolute gain
// of 4e-5 is 2e-5; against 0.5 an absolute 2e-5 is 4e-5. Values and result
// code stay as they are. Each c is posed 2^14 times smaller and each b 2^14
// times larger (the same c b, bit for bit), so that the copy with the larger
// objective still sees a reduced cost far inside the tolerance.
struct StoppedShortCase {
  const char* name;
  double optimum;  // u
  double reducedCost;
  double bound;
  bool stoppedShort;
  double gain;     // the relative gain noted, when stopped short
};

const std::vector<StoppedShortCase> kStoppedShortEdges = {
    {"gain 2.9e-5 of the optimum: not stopped short", 1.0, 1e-5, 2.9, false, 0.0},
    {"gain 3.1e-5 of the optimum: stopped short", 1.0, 1e-5, 3.1, true, 3.1e-5},
    {"gain of exactly 3e-5 of the optimum: not stopped short", 1.0, 3e-5 / 4, 4.0, false, 0.0},
    {"optimum 2, gain 6e-5, exactly 3e-5 of it: not stopped short", 2.0, 3e-5 / 4, 8.0, false, 0.0},
    {"optimum 2, gain 4e-5, 2e-5 of it: not stopped short", 2.0, 1e-5, 4.0, false, 0.0},
    {"optimum 0.5, gain 2e-5, 4e-5 of it: stopped short", 0.5, 1e-5, 2.0, true, 4e-5},
};

TEST_F(LPFixture, StoppedShortAtTheThresholdEdges) {
  for (const StoppedShortCase& c : kStoppedShortEdges) {
    SCOPED_TRACE(c.name);
    Transcript transcript;
    SetThreadTranscript(&transcript);
    const double k = 16384.0;
    CheckCase({c.name, 2, 0, 0, {{1, 0}, {0, 1}}, {c.optimum, c.bound * k}, {1, c.reducedCost / k}, kLPOptimal,
               c.optimum, {c.optimum, 0}, kAny, {}});
    SetThreadTranscript(nullptr);
    const ProgramTally& tally = transcript.tally;
    EXPECT_EQ(tally.solved, 1u);
    EXPECT_EQ(tally.failed, 0u);
    EXPECT_EQ(tally.stoppedShort, c.stoppedShort ? 1u : 0u);
    EXPECT_EQ(tally.shortStops.size(), c.stoppedShort ? 1u : 0u);
    if (c.stoppedShort && tally.shortStops.size() == 1) {
      EXPECT_EQ(tally.shortStops[0].label, "Determining DOttt, Obs 3 ");
      EXPECT_DOUBLE_EQ(tally.shortStops[0].gain, c.gain);
    }
  }
}

// The checks after a solve on tableaus longer and wider than their shortcuts.
// Gain: 40 constraint rows with right-hand side 1 and entries -1 in both
// columns, but row 38 (tableau row 39) with right-hand side 0.25, past the
// first test at row 32 that ends the pass once every column is noise. Column
// 1's reduced cost 1e-9 is above noise (1e-10 x its largest |entry| 1), column
// 2's 1e-12 is not: the gain is 1e-9 x 0.25 / |2|, from the late row.
// Violation: one <= row, x1 + ... + x6 <= 10, at x = (1, 1, 8, 1, 1, 1) with
// its slack basic at -1e-3: excess 13 - 10 = 3 over the size 10 + 1 x 8,
// the largest |x_j| lying third, in the third of the four running maxima.
TEST(SolveChecks, GainPastTheFirstNoiseTestAndTheLargestValueOfManyVariables) {
  const int m = 40, stride = 4;
  std::vector<double> cells(static_cast<std::size_t>(m + 3) * stride, 0.0);
  std::vector<double*> rows(m + 3);
  for (int i = 0; i < m + 3; ++i) rows[i] = cells.data() + static_cast<std::size_t>(i) * stride;
  rows[1][1] = 2.0;
  rows[1][2] = 1e-9;
  rows[1][3] = 1e-12;
  for (int i = 2; i <= m + 1; ++i) {
    rows[i][1] = i == 39 ? 0.25 : 1.0;
    rows[i][2] = -1.0;
    rows[i][3] = -1.0;
  }
  const int candidates[] = {0, 1, 2};
  bool improvable = false;
  EXPECT_DOUBLE_EQ(LargestRelativeGain(rows.data(), m, candidates, 2, &improvable), 1e-9 * 0.25 / 2.0);
  EXPECT_TRUE(improvable);

  Matrix A;
  A.Create(2, 7, 1, 6);
  for (uint32_t j = 0; j < 6; ++j) A.SetValue(0, j, 1.0);
  const double rhs[] = {10.0};
  const double x[] = {1, 1, 8, 1, 1, 1};
  const int basis[] = {0, 7};
  double column[2] = {0.0, -1e-3};  // tableau row 2: column 1 holds the slack's value
  double* slackRows[] = {nullptr, nullptr, column};
  EXPECT_DOUBLE_EQ(LargestRelativeViolation(slackRows, basis, 1, 6, 1, 0, A, rhs, x), 3.0 / 18.0);
}

// Programs the solver must refuse or report as failed, with their console text.
struct FailureCase {
  const char* name;
  int m1, m2, m3;
  std::vector<std::vector<double>> A;
  std::vector<double> rhs;
  std::vector<double> obj;
  int code;
  std::string console;  // exact console text of the solve
  long steps;           // checked unless kAny
};

const std::vector<FailureCase> kFailures = {
    {"infeasible: auxiliary optimum below zero", 1, 1, 0, {{1, 1}, {1, 1}}, {1, 3}, {1, 1}, kLPInfeasible,
     " LP error: code = -1 \n", kAny},
    // Two rows 8e-6 x1 >= 1: the auxiliary row holds 1.6e-5 at x1 but neither
    // entry lies below -1e-5, so phase 1 finds no pivot row.
    {"infeasible: no pivot row in phase 1", 0, 2, 0, {{8e-6}, {8e-6}}, {1, 1}, {1}, kLPInfeasible,
     " LP error: code = -1 \n", 2},
    {"unbounded", 0, 2, 0, {{1, 1}, {1, -1}}, {4, 1}, {1, 1}, kLPUnbounded, " LP error: code = 1 \n", kAny},
    {"constraint counts that do not add up", 1, 1, 0, {{1}}, {1}, {1}, kLPBadInput,
     " Bad input constraint counts in simplx.\n LP error: code = 2 \n", 0},
    {"negative right-hand side", 2, 0, 0, {{1}, {1}}, {1, -1e-300}, {1}, kLPBadInput,
     " Bad input tableau in simplx, Constants bi must be nonnegative.\n LP error: code = 2 \n", 0},
    {"NaN objective coefficient", 1, 0, 0, {{1, 1}}, {1}, {1, kNaN}, kLPBadInput,
     " Bad input tableau in simplx, entries must be numbers.\n LP error: code = 2 \n", 0},
    {"NaN right-hand side", 1, 0, 0, {{1}}, {kNaN}, {1}, kLPBadInput,
     " Bad input tableau in simplx, entries must be numbers.\n LP error: code = 2 \n", 0},
    {"NaN coefficient", 1, 1, 0, {{1}, {kNaN}}, {1, 1}, {1}, kLPBadInput,
     " Bad input tableau in simplx, entries must be numbers.\n LP error: code = 2 \n", 0},
    // An infinite entry is refused before any pivot: arithmetic on it has no
    // meaning (regression: infinite data ended "infeasible" or "unbounded").
    {"infinite coefficient", 1, 1, 0, {{1, 0}, {1, kInf}}, {4, 1}, {1, 0}, kLPBadInput,
     " Bad input tableau in simplx, entries must be numbers.\n LP error: code = 2 \n", 0},
    {"infinite right-hand side", 1, 0, 0, {{1}}, {kInf}, {1}, kLPBadInput,
     " Bad input tableau in simplx, entries must be numbers.\n LP error: code = 2 \n", 0},
    // x1 <= 4, x1 + D x2 >= 1 and D x2 >= 1 with D the largest double: the
    // auxiliary row's x2 entry -(-D - D) overflows to inf, so the first
    // phase-1 pivot fills the auxiliary row with NaN; from then on x1 enters
    // and leaves row 1 forever. Every iteration is search, ratio test, pivot;
    // the limit is checked after the pivot, so the run stops at the first
    // multiple of 3 above 400000.
    {"NaN arising in phase 1 stops at the step limit", 1, 2, 0, {{1, 0}, {1, kMax}, {0, kMax}}, {4, 1, 1}, {1, 0},
     kLPStepLimit, " LP error: code = 5 \n", 400002},
    // max x1 s.t. x1 <= 1 and c x1 <= 0 with c inside the tolerance: the ratio
    // test passes over the second row, whose slack ends at -c.
    // Bound: -1e-9 x (1 + 1) = -2e-9.
    {"optimum with a negative basic value", 2, 0, 0, {{1}, {3e-9}}, {1, 0}, {1}, kLPNotFeasibleBasis,
     " LP error: code = 3 \n", 4},
    {"optimum with a large negative basic value", 2, 0, 0, {{1}, {1e-6}}, {1, 0}, {1}, kLPNotFeasibleBasis,
     " LP error: code = 3 \n", 4},
};

TEST_F(LPFixture, FailuresGiveOneLineAndOneLogEntry) {
  problem_.m_SingleSolve = true;  // the first solve's rules: no second solve mends the cases
  for (const FailureCase& c : kFailures) {
    SCOPED_TRACE(c.name);
    const int entriesBefore = CountOccurrences(LogText(), "EHL 0");
    LPCase lp{c.name, c.m1, c.m2, c.m3, c.A, c.rhs, c.obj, c.code, 0, {}, c.steps, {}};
    int code = 99;
    const std::string console = PoseAndSolve(lp, code);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(problem_.m_ResultCode, c.code);
    EXPECT_EQ(console, c.console);
    const std::string log = LogText();
    EXPECT_EQ(CountOccurrences(log, "EHL 0") - entriesBefore, 1);
    const std::string entry = "Determining DOttt, Obs 3 , EHL 0 :  LP error: code = " + std::to_string(c.code) + " ";
    EXPECT_NE(log.find(entry), std::string::npos) << log;
    if (c.steps != kAny) {
      EXPECT_EQ(static_cast<long>(problem_.m_StepCount), c.steps);
    }
  }
}

// The second solve on a copy scaled by powers of two. Each program is solved
// by default and with the second solve off; the optima are worked by hand.
struct SecondSolveCase {
  const char* name;
  bool singleSolve;
  LPCase lp;               // code, objective and x: the outcome expected
  SecondSolve secondSolve;
  std::string console;     // exact console text
  std::string logEntry;    // the one new log entry ("" for none)
};

// max x1 + 2e-6 x2 s.t. x1 + 1e-4 x2 <= 1, x1 <= 0.5: the optimum is
// x = (0.5, 5000), z = 0.51. Unscaled, x2's reduced cost 2e-6 lies inside the
// tolerance and the solver stops at z = 0.5 (gain 0.02 of the optimum). The
// copy's objective is (0.5, 0.016384) (column exponents -4, 9; G = -3).
const LPCase kShortUnscaled = {"", 2, 0, 0, {{1, 1e-4}, {1, 0}}, {1, 0.5}, {1, 2e-6}, 0, 0, {}, kAny, {}};
// max -x1 s.t. 8e-6 x1 >= 1 twice: x1 = 1 / 8e-6 = 125000. Unscaled, no column
// entry lies below -1e-5, so phase 1 finds no pivot row ("infeasible"); the
// copy's rows hold 0.524288.
const LPCase kInfeasibleUnscaled = {"", 0, 2, 0, {{8e-6}, {8e-6}}, {1, 1}, {-1}, 0, 0, {}, kAny, {}};
// The threshold edge above (gain 3.1e-5): the copy stops short as well, the
// copy with the objective 2^10 times larger (x2's reduced cost about 5e-3)
// reaches z = 1 + 3.1e-5.
const LPCase kShortBothWays = {"", 2, 0, 0, {{1, 0}, {0, 1}}, {1, 3.1}, {1, 1e-5}, 0, 0, {}, kAny, {}};
// The same gain from a reduced cost of 1e-9: about 2e-6 on the larger
// objective too, inside the tolerance on every copy.
const LPCase kShortEveryWay = {"", 2, 0, 0, {{1, 0}, {0, 1}}, {1, 31000}, {1, 1e-9}, 0, 0, {}, kAny, {}};

LPCase Expect(LPCase lp, int code, double objective, std::vector<double> x) {
  lp.code = code;
  lp.objective = objective;
  lp.x = std::move(x);
  return lp;
}

const std::vector<SecondSolveCase> kSecondSolves = {
    {"stopped short unscaled, right on the rescaled copy", false,
     Expect(kShortUnscaled, kLPOptimal, 0.51, {0.5, 5000}), SecondSolve::kTaken, "", ""},
    {"stopped short, second solve off", true, Expect(kShortUnscaled, kLPOptimal, 0.5, {0.5, 0}), SecondSolve::kNone,
     "", ""},
    {"infeasible unscaled, feasible on the rescaled copy", false,
     Expect(kInfeasibleUnscaled, kLPOptimal, -125000, {125000}), SecondSolve::kTaken, "", ""},
    {"infeasible, second solve off", true, Expect(kInfeasibleUnscaled, kLPInfeasible, 0, {}), SecondSolve::kNone,
     " LP error: code = -1 \n", "Determining DOttt, Obs 3 , EHL 0 :  LP error: code = -1 \n\n"},
    {"stopped short on the copy too, right on the copy with the larger objective", false,
     Expect(kShortBothWays, kLPOptimal, 1.000031, {1, 3.1}), SecondSolve::kTaken, "", ""},
    {"stopped short on every copy: the first result stands, named in the log", false,
     Expect(kShortEveryWay, kLPOptimal, 1.0, {1, 0}), SecondSolve::kKept, "",
     "Determining DOttt, Obs 3 , EHL 1 :  LP stopped short: optimum short by about 3.1e-005 of its value \n\n"},
    {"stopped short, second solve off: no log entry", true, Expect(kShortBothWays, kLPOptimal, 1.0, {1, 0}),
     SecondSolve::kNone, "", ""},
    {"infeasible both ways: the first result stands", false,
     Expect({"", 1, 1, 0, {{1, 1}, {1, 1}}, {1, 3}, {1, 1}, 0, 0, {}, kAny, {}}, kLPInfeasible, 0, {}),
     SecondSolve::kKept, " LP error: code = -1 \n", "Determining DOttt, Obs 3 , EHL 0 :  LP error: code = -1 \n\n"},
    // max x1 s.t. x1 <= 1 and 1e-9 x1 <= 0: the optimum is x1 = 0. Unscaled, the
    // ratio test passes over the second row and the slack ends at -1e-9, a
    // violation of the whole size of that row; on the copy the row is x1 <= 0.
    {"an end point outside the feasible region, right on the rescaled copy", false,
     Expect({"", 2, 0, 0, {{1}, {1e-9}}, {1, 0}, {1}, 0, 0, {}, kAny, {}}, kLPOptimal, 0.0, {0}), SecondSolve::kTaken,
     "", ""},
    {"entries that are not numbers are not solved again", false,
     Expect({"", 1, 0, 0, {{1}}, {kNaN}, {1}, 0, 0, {}, kAny, {}}, kLPBadInput, 0, {}), SecondSolve::kNone,
     " Bad input tableau in simplx, entries must be numbers.\n LP error: code = 2 \n",
     "Determining DOttt, Obs 3 , EHL 0 :  LP error: code = 2 \n\n"},
};

TEST_F(LPFixture, ProgramsTheFirstSolveGetsWrongAreSolvedAgainRescaled) {
  for (const SecondSolveCase& c : kSecondSolves) {
    SCOPED_TRACE(c.name);
    problem_.m_SingleSolve = c.singleSolve;
    const std::string logBefore = LogText();
    Transcript transcript;
    SetThreadTranscript(&transcript);
    int code = 99;
    const std::string console = PoseAndSolve(c.lp, code);
    SetThreadTranscript(nullptr);
    EXPECT_EQ(code, c.lp.code);
    EXPECT_EQ(problem_.m_ResultCode, c.lp.code);
    EXPECT_EQ(problem_.m_SecondSolve, c.secondSolve);
    if (c.lp.code == kLPOptimal) {
      EXPECT_NEAR(problem_.Objective(), c.lp.objective, 1e-12 * std::fabs(c.lp.objective));
    }
    for (std::size_t j = 0; j < c.lp.x.size(); ++j)
      EXPECT_NEAR(problem_.m_Solution[j], c.lp.x[j], 1e-12 * std::fabs(c.lp.x[j])) << "x" << j + 1;
    // With a transcript installed, console text and log entries collect there.
    EXPECT_EQ(console, "");
    EXPECT_EQ(transcript.console, c.console);
    EXPECT_EQ(transcript.log, c.logEntry);
    EXPECT_EQ(LogText(), logBefore);
    const ProgramTally& tally = transcript.tally;
    EXPECT_EQ(tally.solved, 1u);
    EXPECT_EQ(tally.solvedAgain, c.secondSolve == SecondSolve::kNone ? 0u : 1u);
    EXPECT_EQ(tally.solvedAgainTaken, c.secondSolve == SecondSolve::kTaken ? 1u : 0u);
    EXPECT_EQ(tally.failed, code != kLPOptimal ? 1u : 0u);
  }
}

// The rescaled copies of the two programs above, as an independent model of
// the scaling rules (two geometric rounds, equilibration, objective) gives
// them: A', r', o', the kept column exponents and G.
TEST_F(LPFixture, RescaledCopyFollowsTheScalingRules) {
  const struct {
    LPCase lp;
    std::vector<std::vector<double>> A;
    std::vector<double> rhs, obj;
    std::vector<int> columnExponent;
    int G;
  } cases[] = {
      {kShortUnscaled, {{0.5, 0.8192}, {0.5, 0}}, {8, 4}, {0.5, 0.016384}, {-4, 10}, -3},
      {kInfeasibleUnscaled, {{0.524288}, {0.524288}}, {65536, 65536}, {-0.5}, {0}, 1},
  };
  for (const auto& c : cases) {
    const uint32_t m = static_cast<uint32_t>(c.lp.A.size()), n = static_cast<uint32_t>(c.lp.obj.size());
    Matrix A;
    A.Create(m + 2, n + 2, 0, 0);
    A.ResetMatrix(m, n);
    for (uint32_t i = 0; i < m; ++i)
      for (uint32_t j = 0; j < n; ++j) A.SetValue(i, j, c.lp.A[i][j]);
    SetProblem(A, problem_, c.lp.rhs.data(), c.lp.obj.data(), c.lp.m1, c.lp.m2, c.lp.m3);
    RescaledCopy copy;
    LayOutRescaledCopy(problem_, copy);
    ASSERT_TRUE(copy.laidOut);
    EXPECT_EQ(copy.objectiveExponent, c.G);
    double** t = copy.tableau.m_RowPtrs;
    for (uint32_t j = 1; j <= n; ++j) {
      EXPECT_EQ(copy.columnExponent[j], c.columnExponent[j - 1]) << "column " << j;
      EXPECT_NEAR(t[1][j + 1], c.obj[j - 1], 1e-15) << "objective " << j;
    }
    for (uint32_t i = 1; i <= m; ++i) {
      EXPECT_NEAR(t[i + 1][1], c.rhs[i - 1], 1e-12) << "rhs " << i;
      for (uint32_t j = 1; j <= n; ++j) EXPECT_NEAR(-t[i + 1][j + 1], c.A[i - 1][j - 1], 1e-15) << i << "," << j;
    }
  }
}

// The dual values and slacks of the <= rows read from the final tableau: worked
// program 1 (max x1 + x2, x1 + 2 x2 <= 4, 3 x1 + x2 <= 6) has duals 0.4 and
// 0.2 (y1 + 3 y2 = 1, 2 y1 + y2 = 1). Posed with row 1 times 1000, row 2
// times 1/1000 and the objective times 64, the duals are 0.4 x 64 / 1000 and
// 0.2 x 64 x 1000; read from the rescaled copy's tableau, whose rows and
// objective the scaling changed again, they must come back the same.
TEST_F(LPFixture, RowDualsFromTheFinalTableauAndFromTheRescaledCopy) {
  // A third row 64 x1 <= 640 (x1 <= 10) is slack at the optimum x1 = 1.6:
  // dual 0, slack 640 - 102.4 = 537.6.
  const std::vector<std::vector<double>> rows = {{1000, 2000}, {0.003, 0.001}, {64, 0}};
  const double rhs[] = {4000, 0.006, 640};
  const double obj[] = {64, 64};
  Matrix A;
  A.Create(8, 8, 0, 0);
  A.ResetMatrix(3, 2);
  for (uint32_t i = 0; i < 3; ++i)
    for (uint32_t j = 0; j < 2; ++j) A.SetValue(i, j, rows[i][j]);
  ::testing::internal::CaptureStdout();
  SetProblem(A, problem_, rhs, obj, 3, 0, 0);
  ASSERT_EQ(Solve(problem_), kLPOptimal);
  ::testing::internal::GetCapturedStdout();
  const double expected[] = {0.4 * 64 / 1000, 0.2 * 64 * 1000, 0};
  const double expectedSlacks[] = {0, 0, 537.6};
  const auto check = [&](const char* what) {
    double duals[3] = {-1, -1, -1}, slacks[3] = {-1, -1, -1};
    RowDuals(problem_, 3, duals);
    RowSlacks(problem_, 3, slacks);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(duals[i], expected[i], 1e-12 * expected[i]) << what << ", dual of row " << i + 1;
      EXPECT_NEAR(slacks[i], expectedSlacks[i], 1e-12 * 537.6) << what << ", slack of row " << i + 1;
    }
  };
  check("first solve");

  ASSERT_TRUE(SolveRescaledCopy(problem_));
  problem_.m_SecondSolve = SecondSolve::kTaken;
  const RescaledCopy& copy = *problem_.m_Rescaled;
  // The copy's duals and slacks are scaled: they must be unscaled.
  ASSERT_NE(copy.rowExponent[1] + copy.objectiveExponent, 0);
  ASSERT_NE(copy.rowExponent[3], 0);
  check("rescaled copy");
  // Only the first row asked for: the second is not written.
  double one[2] = {-1, -7};
  RowDuals(problem_, 1, one);
  EXPECT_NEAR(one[0], expected[0], 1e-12 * expected[0]);
  EXPECT_EQ(one[1], -7);
}

TEST_F(LPFixture, BasicValueWithinTheBoundIsAnOptimum) {
  problem_.m_SingleSolve = true;  // the first solve's bound; the second solve mends this program (x1 = 0)
  // Slack -1e-9 lies above -2e-9: an optimum, x1 = 1.
  CheckCase({"negative basic value inside the bound", 2, 0, 0, {{1}, {1e-9}}, {1, 0}, {1}, kLPOptimal, 1.0, {1}, 4,
             {1, 3}});
}

TEST_F(LPFixture, CodeThreeStillExtractsTheSolution) {
  problem_.m_SingleSolve = true;
  int code = 0;
  PoseAndSolve({"", 2, 0, 0, {{1}, {1e-6}}, {1, 0}, {1}, 0, 0, {}, kAny, {}}, code);
  EXPECT_EQ(code, kLPNotFeasibleBasis);
  EXPECT_DOUBLE_EQ(problem_.m_Solution[0], 1.0);
  EXPECT_DOUBLE_EQ(problem_.Objective(), 1.0);
}

TEST_F(LPFixture, BadInputLeavesOnlySlacksBasic) {
  // A first solve leaves x1 basic; a NaN tableau then yields all zeros.
  CheckCase({"x1 basic", 1, 0, 0, {{1, 1}}, {1}, {1, 0}, kLPOptimal, 1.0, {1, 0}, kAny, {1}});
  int code = 0;
  PoseAndSolve({"", 1, 0, 0, {{1, 1}}, {1}, {1, kNaN}, 0, 0, {}, kAny, {}}, code);
  EXPECT_EQ(code, kLPBadInput);
  EXPECT_EQ(problem_.m_Basis[1], 3);
  EXPECT_EQ(problem_.m_Solution[0], 0.0);
  EXPECT_EQ(problem_.m_Solution[1], 0.0);
}

TEST_F(LPFixture, SecondFailingSolveSaysSolveCalledMoreThanOnce) {
  int code = 0;
  const std::string first = PoseAndSolve({"", 1, 1, 0, {{1}}, {1}, {1}, 0, 0, {}, kAny, {}}, code);
  EXPECT_EQ(first, " Bad input constraint counts in simplx.\n LP error: code = 2 \n");
  ::testing::internal::CaptureStdout();
  code = Solve(problem_);
  const std::string second = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, kLPBadInput);
  EXPECT_EQ(second,
            " Bad input constraint counts in simplx.\n"
            "   Error: problem not solved; code = 2 (SOLVE CALLED MORE THEN ONCE) \n");
  EXPECT_EQ(CountOccurrences(LogText(), "EHL 0"), 2);
}

// ---------------------------------------------------------------------------
// The wrapper's layout and size rules.

TEST_F(LPFixture, SetProblemLaysOutTheTableau) {
  Matrix A;
  A.Create(5, 5, 0, 0);
  A.ResetMatrix(2, 3);
  const double values[2][3] = {{1, 0, -2}, {3.5, 4, 0}};
  for (uint32_t i = 0; i < 2; ++i) {
    for (uint32_t j = 0; j < 3; ++j) A.SetValue(i, j, values[i][j]);
  }
  const double rhs[2] = {7, 8};
  const double obj[4] = {1, 2, 3, 99};  // only the first n are read
  SetProblem(A, problem_, rhs, obj, 1, 0, 1);
  Matrix& t = problem_.m_Tableau;
  EXPECT_EQ(t.m_NumRows, 4u);
  EXPECT_EQ(t.m_NumCols, 5u);
  EXPECT_EQ(problem_.m_NumConstraints, 2u);
  EXPECT_EQ(problem_.m_NumVariables, 3u);
  EXPECT_EQ(problem_.m_NumLessEqual, 1);
  EXPECT_EQ(problem_.m_NumGreaterEqual, 0);
  EXPECT_EQ(problem_.m_NumEqual, 1);
  EXPECT_EQ(t.GetValue(1, 1), 0.0);
  for (uint32_t j = 1; j <= 3; ++j) EXPECT_EQ(t.GetValue(1, j + 1), obj[j - 1]);
  for (uint32_t i = 1; i <= 2; ++i) {
    EXPECT_EQ(t.GetValue(i + 1, 1), rhs[i - 1]);
    for (uint32_t j = 1; j <= 3; ++j) EXPECT_EQ(t.GetValue(i + 1, j + 1), -values[i - 1][j - 1]);
  }
  // The stored value is the negation -A: a zero coefficient becomes -0.0.
  EXPECT_TRUE(std::signbit(t.GetValue(2, 3)));
  EXPECT_TRUE(std::signbit(t.GetValue(3, 4)));
  EXPECT_EQ(problem_.m_SolveCalled, 0);
}

TEST_F(LPFixture, ProblemBeyondTheCapacityIsRefused) {
  Matrix A;
  A.Create(kCapacity + 2, 3, 0, 0);
  A.ResetMatrix(kCapacity, 2);
  std::vector<double> rhs(kCapacity, 1.0);
  const double obj[2] = {1, 1};
  ::testing::internal::CaptureStdout();
  SetProblem(A, problem_, rhs.data(), obj, kCapacity, 0, 0);
  const std::string setText = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(setText.rfind("Error : ", 0), 0u) << setText;
  EXPECT_EQ(problem_.m_SizeError, 1);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Solve(problem_), kLPBadInput);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), " LP error: code = 2 \n");
  EXPECT_EQ(CountOccurrences(LogText(), "EHL 0"), 1);
}

TEST_F(LPFixture, LastRowBelowTheCapacityIsRefusedByResetMatrix) {
  Matrix A;
  A.Create(kCapacity + 2, 3, 0, 0);
  A.ResetMatrix(kCapacity - 1, 2);
  std::vector<double> rhs(kCapacity, 1.0);
  const double obj[2] = {1, 1};
  ::testing::internal::CaptureStdout();
  SetProblem(A, problem_, rhs.data(), obj, kCapacity - 1, 0, 0);
  const std::string text = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(text.rfind("Reset Matrix : dimensions required [21,4] Max Dimensions [20,20]\n", 0), 0u) << text;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Solve(problem_), kLPBadInput);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), " LP error: code = 2 \n");
}

TEST_F(LPFixture, LargestProblemThatFits) {
  // Capacity 20: m = 17 rows x1 <= i (i = 1..17), n = 17 columns, only x1 pays.
  const uint32_t size = kCapacity - 3;
  Matrix A;
  A.Create(size + 1, size + 1, 0, 0);
  A.ResetMatrix(size, size);
  std::vector<double> rhs(size), obj(size, 0.0);
  for (uint32_t i = 0; i < size; ++i) {
    A.SetValue(i, 0, 1.0);
    rhs[i] = size - i;
  }
  obj[0] = 1.0;
  ::testing::internal::CaptureStdout();
  SetProblem(A, problem_, rhs.data(), obj.data(), static_cast<int>(size), 0, 0);
  const int code = Solve(problem_);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(code, kLPOptimal);
  EXPECT_EQ(problem_.Objective(), 1.0);
  EXPECT_EQ(problem_.m_Solution[0], 1.0);
  EXPECT_EQ(problem_.m_Basis[size], 1);  // the tightest row is the last one
}

// Regression: the work lists had a fixed 5000 entries, which 5001 constraints
// (5000 observations plus one row) overran. x1 + x2 >= i for i = 1..5001 with
// min x1 + x2: the last row binds; x2's column becomes 0 in every row as soon
// as x1 enters, so x2 never enters and x = (5001, 0). All values are integers.
TEST(SimplexRegression, WorkListsHold5001GreaterEqualRows) {
  const uint32_t m = 5001;
  LPProblem problem;
  problem.Create(m + 10, 10);
  Matrix A;
  A.Create(m + 1, 3, 0, 0);
  A.ResetMatrix(m, 2);
  std::vector<double> rhs(m);
  for (uint32_t i = 0; i < m; ++i) {
    A.SetValue(i, 0, 1.0);
    A.SetValue(i, 1, 1.0);
    rhs[i] = i + 1.0;
  }
  const double obj[2] = {-1, -1};
  ::testing::internal::CaptureStdout();
  SetProblem(A, problem, rhs.data(), obj, 0, static_cast<int>(m), 0);
  const int code = Solve(problem);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(code, kLPOptimal);
  EXPECT_EQ(problem.Objective(), -5001.0);
  EXPECT_EQ(problem.m_Solution[0], 5001.0);
  EXPECT_EQ(problem.m_Solution[1], 0.0);
}

// ---------------------------------------------------------------------------
// simplx called directly.

TEST(Simplx, ResultCodeUntouchedAtTheStepLimitAndSetAtBadInput) {
  LPProblem problem;
  problem.Create(6, 6);
  Matrix A;
  A.Create(4, 4, 0, 0);
  // The program of "NaN arising in phase 1 stops at the step limit".
  A.ResetMatrix(3, 2);
  A.SetValue(0, 0, 1);
  A.SetValue(1, 0, 1);
  A.SetValue(1, 1, kMax);
  A.SetValue(2, 1, kMax);
  const double rhs[3] = {4, 1, 1};
  const double obj[2] = {1, 0};
  SetProblem(A, problem, rhs, obj, 1, 2, 0);
  SimplexWorkLists work{problem.m_Candidates.data(), problem.m_RowList.data(), problem.m_SurplusFlags.data()};
  int code = 77;
  simplx(code, problem.m_Basis.data(), problem.m_Tableau.m_RowPtrs, 3, 2, 1, 2, 0, problem.m_NonBasis.data(), work);
  EXPECT_EQ(code, 77);
  EXPECT_GT(SimplexStepCount(), kSimplexStepLimit);

  ::testing::internal::CaptureStdout();
  simplx(code, problem.m_Basis.data(), problem.m_Tableau.m_RowPtrs, 2, 2, 1, 0, 0, problem.m_NonBasis.data(), work);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, kLPBadInput);
  EXPECT_EQ(SimplexStepCount(), 0u);
}

// max x1 + 3 x2 subject to x1 + x2 <= 1, x2 <= 1, by hand with Bland's
// rule: x1 enters first (the lowest-numbered improving variable, although x2
// has the larger reduced cost) and leaves row 1's slack (variable 3); then x2
// enters with reduced cost 2, both rows tie at ratio 1, and row 1 goes
// because its basic variable x1 is numbered below row 2's slack (variable 4).
// The end: x2 = 1 basic in row 1, slack 4 (value 0) in row 2, optimum 3.
TEST(Simplx, BlandsRuleTakesTheLowestNumberedVariables) {
  LPProblem problem;
  problem.Create(6, 6);
  Matrix A;
  A.Create(4, 4, 0, 0);
  A.ResetMatrix(2, 2);
  A.SetValue(0, 0, 1);
  A.SetValue(0, 1, 1);
  A.SetValue(1, 0, 0);
  A.SetValue(1, 1, 1);
  const double rhs[2] = {1, 1};
  const double obj[2] = {1, 3};
  SetProblem(A, problem, rhs, obj, 2, 0, 0);
  SimplexWorkLists work{problem.m_Candidates.data(), problem.m_RowList.data(), problem.m_SurplusFlags.data()};
  work.rule = PivotRule::kBland;
  int code = 77;
  simplx(code, problem.m_Basis.data(), problem.m_Tableau.m_RowPtrs, 2, 2, 2, 0, 0, problem.m_NonBasis.data(), work);
  EXPECT_EQ(code, kLPOptimal);
  EXPECT_EQ(problem.m_Tableau.Row(1)[1], 3.0);
  EXPECT_EQ(problem.m_Basis[1], 2);
  EXPECT_EQ(problem.m_Basis[2], 4);
  // Two exchange steps, each with its search and ratio test, and the final search.
  EXPECT_EQ(SimplexStepCount(), 7u);
}

TEST(Simplx, OnlyLessEqualRowsNeverWriteTheAuxiliaryRow) {
  LPProblem problem;
  problem.Create(6, 6);
  Matrix A;
  A.Create(4, 4, 0, 0);
  A.ResetMatrix(2, 2);
  A.SetValue(0, 0, 1);
  A.SetValue(0, 1, 2);
  A.SetValue(1, 0, 3);
  A.SetValue(1, 1, 1);
  const double rhs[2] = {4, 6};
  const double obj[2] = {1, 1};
  SetProblem(A, problem, rhs, obj, 2, 0, 0);
  // Row m+2 = 4 lies beyond the current size; mark it.
  for (uint32_t k = 1; k <= 3; ++k) problem.m_Tableau.Row(4)[k] = 123.0;
  EXPECT_EQ(Solve(problem), kLPOptimal);
  for (uint32_t k = 1; k <= 3; ++k) EXPECT_EQ(problem.m_Tableau.Row(4)[k], 123.0);
}

}  // namespace
