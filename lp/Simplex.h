#pragma once
// simplx: the two-phase tableau simplex method that solves every linear
// program of the run.
//
// Form solved: maximise z = c . x over x >= 0 subject to m1 less-or-equal,
// then m2 greater-or-equal, then m3 equality rows, every right-hand side
// b_i >= 0. The tableau counts rows and columns from 1 (row 0 and column 0
// of the storage are unused):
//
//   (1, 1)        0 on entry; the maximum after an optimal solve
//   (1, k+1)      c_k, k = 1..n
//   (i+1, 1)      b_i, i = 1..m; afterwards the value of the variable basic in row i
//   (i+1, k+1)    -a_ik, the NEGATED coefficient of x_k in row i
//   (m+2, 1..n+1) written by the solver: the phase-1 auxiliary objective
//
// Variables 1..n are the decision variables, n+i is the slack, surplus or
// artificial variable of row i. On return basis[i] (i = 1..m) names the
// variable basic in row i and nonBasis[k] (k = 1..n) the variable standing at
// tableau column k+1.
//
// Every step keeps its operation order, its strict comparisons and the list
// order of its searches: the optimal vertex reached, and with it the shadow
// prices read from it, depends on them, and so do signed zeros in the results.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// Entries within this distance of zero count as zero: a reduced cost must
// exceed it to enter and a column entry must lie below its negative to limit
// the step.
constexpr double kSimplexTolerance = 1e-5;

// Bound on SimplexStepCount: stops degenerate cycling and runs spoilt by a NaN.
constexpr uint32_t kSimplexStepLimit = 400000;

// SimplexStepCount: the count of entering-column searches, ratio tests and
// pivots of the current solve on the calling thread (each worker thread
// solves its own programs). Reset by simplx on entry; read by the LP wrapper.
uint32_t& SimplexStepCount();

// Totals of the solver's work, kept for performance measurement only: they
// never influence a result. A pivot over L tableau rows and n + 1 columns
// counts L x (n + 1) element updates (every element it writes once).
// Each thread counts its own solve; simplx adds the solve's counts to the
// tally of the thread's transcript (core/Transcript.h) as it returns, so a
// run's totals come out in its record's tally, whatever threads solved.
struct SimplexTotals {
  uint64_t programs = 0;  // calls of simplx
  uint64_t pivots = 0;    // exchange steps of both phases
  uint64_t updates = 0;   // tableau elements written by those pivots
};

// Writes the totals as one line, "KORU_STATS programs=.. pivots=.. updates=..".
void PrintSimplexTotals(std::FILE* stream, const SimplexTotals& totals);

// Result codes of a linear program. simplx writes the first four (its
// step-limit exit writes none); Solve (lp/LPProblem.h) adds the last three.
// The values must not change: they are printed in the error log and on the
// console (" LP error: code = %d ").
//   kLPBadInput: simplx refused its input (counts, negative or NaN entries)
//     or the problem did not fit the tableau.
//   kLPNotFeasibleBasis: simplx ended "optimal" at a basis with a negative
//     basic value.
//   kLPCancelled: not solved, the library call was cancelled
//     (core/RunContext.h); nothing of such a program is ever printed.
enum LPResultCode : int {
  kLPOptimal = 0,
  kLPUnbounded = 1,
  kLPInfeasible = -1,
  kLPBadInput = 2,
  kLPNotFeasibleBasis = 3,
  kLPStepLimit = 5,
  kLPCancelled = 6,
};

// How simplx chooses its exchange steps.
//   kLargestCoefficient: the entering column is the candidate with the largest
//     reduced cost (the first of equal ones in list order); the ratio test
//     breaks exact ties column by column (lp/SimplexKernelsBody.cpp). Every
//     program is solved this way first.
//   kBland: the entering variable is the lowest-numbered one (variables
//     1..n, then n + i for row i) whose reduced cost exceeds the tolerance;
//     the leaving row is the one of smallest ratio, an exact tie going to the
//     row whose basic variable is the lowest-numbered. This rule cannot
//     return to a basis it has left; it solves again the programs the first
//     rule turned in a cycle (lp/LPProblem.h). Its steps are never fused.
//   kLexicographic: the entering column as kLargestCoefficient chooses it;
//     the leaving row of smallest ratio (zeros as under kBland), ties broken
//     lexicographically: each tied row's coefficients of the reference
//     variables (the basic variables when the solve's state last changed for
//     good) divided by its pivot-column entry, compared variable by variable
//     in the order of their rows then, the smallest going first. The rows of
//     a tableau are then lexicographically positive after every step and the
//     objective's vector strictly rises, so no basis recurs; unlike Bland's
//     rule it keeps the first rule's choice of entering column, and leaves
//     a degenerate vertex in far fewer steps. Its steps are never fused.
enum class PivotRule { kLargestCoefficient, kBland, kLexicographic };

// Recognises a solve that has come back to a basis it has already had. The
// objective never falls, so in exact arithmetic a basis can recur only
// within a run of degenerate steps (steps of length 0); in floating point the
// objective of such a run can also move by a unit in its last place, so
// every basis since the solve's state last changed for good is kept. The
// pivot rule is deterministic: a solve that recurs turns in that circle
// until the step limit. Each basis is kept as the exclusive-or of a 64-bit
// key per basic variable, updated by every exchange, in a hash table; on a
// match of keys the exchanges in between are counted out variable by
// variable, so that a match is exact: the two bases are equal when every
// variable entered as often as it left.
//
// It also recognises a solve that stalls: kStallSteps exchange steps in a
// row after which the objective has stayed within kStallBand (relative) of
// its value at the first of them. A highly degenerate program (many rows of
// right-hand side 0 at the optimum's vertex) can visit that many of the
// vertex's bases without ever repeating one and without reaching the step
// limit any sooner than a cycling one. Programs of well-posed panels leave
// every such run within a few hundred steps.
class CycleWatch {
 public:
  // Starts watching a solve at its first basis, the slack basis of simplx
  // (variable n + i basic in row i, i = 1..m).
  void Begin(int m, int n);
  // Starts a new run at the current basis: the solve's state changed in a way
  // no later step undoes (a new phase, a dropped column, a flipped row).
  void Restart();
  // Records the exchange step after which `entering` replaced `leaving`.
  // True when the basis after it is one the current run has had.
  bool Exchange(int entering, int leaving);
  // Records the objective after an exchange step; true when the solve has
  // stalled.
  bool Stalled(double objective);

 private:
  double runObjective_ = 0.0;  // the objective at the start of the current run of steps
  uint32_t runSteps_ = 0;      // steps since, the objective within kStallBand of it
  bool runStarted_ = false;
  uint64_t slackBasisKey_ = 0;  // the key of the slack basis of slackBasisRows_ x slackBasisColumns_
  int slackBasisRows_ = -1;
  int slackBasisColumns_ = -1;
  bool SameBasis(std::size_t earlier);
  void Insert(std::size_t index);
  uint64_t key_ = 0;
  std::vector<uint64_t> keys_;    // the key of each basis of the run, the run's first basis at 0
  std::vector<int> entering_;     // exchange k of the run (k >= 1) at index k - 1
  std::vector<int> leaving_;
  std::vector<uint32_t> table_;   // open addressing over keys_: index + 1, 0 for an empty slot
  std::vector<int> balance_;      // per variable; all 0 between calls of SameBasis
};

constexpr uint32_t kStallSteps = 1000;
constexpr double kStallBand = 1e-11;

// The solver's three work lists, each indexed from 1. They are owned by the
// caller and sized once for the largest problem it will pose: candidates and
// rows need n + 1 and m + 1 entries, surplusFlags m2 + 1.
struct SimplexWorkLists {
  int* candidates = nullptr;    // columns still allowed to enter the basis, in ascending order
  int* rows = nullptr;          // constraint rows examined by the ratio test
  int* surplusFlags = nullptr;  // 1 while a greater-or-equal row's column is unflipped
  int numCandidates = 0;        // written at the optimal exit: candidates[1..numCandidates] are left
  PivotRule rule = PivotRule::kLargestCoefficient;
  // With a watch the solve stops as soon as it returns to a basis it has had
  // (and sets cycled) or stalls (and sets stalled); its result code is then
  // left as the caller set it, as at the step limit. Without one nothing is
  // recorded.
  CycleWatch* cycleWatch = nullptr;
  bool cycled = false;
  bool stalled = false;
};

// Solves the program laid out in the rows a[1..m+2] (columns 1..n+1 in use).
// resultCode is written only at the optimal, unbounded, infeasible and
// bad-input exits; the step-limit and cycling exits leave it as the caller
// set it.
void simplx(int& resultCode, int* basis, double** a, int m, int n, int m1, int m2, int m3, int* nonBasis,
            SimplexWorkLists& work);
