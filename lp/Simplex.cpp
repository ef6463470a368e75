#include "lp/Simplex.h"

#include <climits>
#include <cstddef>
#include <cmath>

#include "core/Format.h"
#include "core/Transcript.h"
#include "lp/SimplexKernels.h"

namespace {

// This thread's SimplexStepCount.
thread_local uint32_t tStepCount = 0;

}  // namespace

uint32_t& SimplexStepCount() { return tStepCount; }

namespace {

// The current solve's counts on this thread.
thread_local SimplexTotals tSolveTotals;

// Adds the solve's counts to the thread's transcript at every exit of simplx
// (a solve outside one, in a unit test, counts nowhere).
struct SolveTotalsGuard {
  SolveTotalsGuard() { tSolveTotals = SimplexTotals{1, 0, 0}; }
  ~SolveTotalsGuard() {
    Transcript* transcript = ThreadTranscript();
    if (transcript == nullptr) return;
    transcript->tally.simplexCalls += tSolveTotals.programs;
    transcript->tally.pivots += tSolveTotals.pivots;
    transcript->tally.updates += tSolveTotals.updates;
  }
};

}  // namespace

void PrintSimplexTotals(std::FILE* stream, const SimplexTotals& totals) {
  std::fprintf(stream, "KORU_STATS programs=%llu pivots=%llu updates=%llu\n",
               static_cast<unsigned long long>(totals.programs), static_cast<unsigned long long>(totals.pivots),
               static_cast<unsigned long long>(totals.updates));
}

namespace {

// The key of one basic variable: splitmix64 of its number, so that the keys
// of different variables differ in about half their bits.
uint64_t VariableKey(int variable) {
  uint64_t z = static_cast<uint64_t>(static_cast<uint32_t>(variable)) + 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

constexpr std::size_t kFirstTableSize = 64;  // a power of two

void CycleWatch::Begin(int m, int n) {
  // The key of the slack basis depends on m and n alone: the programs of a
  // reference set, posed one after another, share it.
  if (m != slackBasisRows_ || n != slackBasisColumns_) {
    slackBasisKey_ = 0;
    for (int i = 1; i <= m; ++i) slackBasisKey_ ^= VariableKey(n + i);
    slackBasisRows_ = m;
    slackBasisColumns_ = n;
  }
  key_ = slackBasisKey_;
  const std::size_t variables = static_cast<std::size_t>(n) + static_cast<std::size_t>(m) + 1;
  if (balance_.size() < variables) balance_.assign(variables, 0);
  if (table_.empty()) table_.assign(kFirstTableSize, 0);
  Restart();
}

void CycleWatch::Restart() {
  // Empties the slots in use, which costs as much as the run's steps did.
  const std::size_t mask = table_.size() - 1;
  for (std::size_t index = 0; index < keys_.size(); ++index) {
    std::size_t slot = static_cast<std::size_t>(keys_[index]) & mask;
    while (table_[slot] != index + 1) slot = (slot + 1) & mask;
    table_[slot] = 0;
  }
  keys_.clear();
  entering_.clear();
  leaving_.clear();
  keys_.push_back(key_);
  Insert(0);
  runStarted_ = false;
  runSteps_ = 0;
}

bool CycleWatch::Stalled(double objective) {
  const double size = std::fabs(runObjective_) > 1.0 ? std::fabs(runObjective_) : 1.0;
  if (!runStarted_ || !(std::fabs(objective - runObjective_) <= kStallBand * size)) {
    runObjective_ = objective;
    runSteps_ = 0;
    runStarted_ = true;
    return false;
  }
  return ++runSteps_ >= kStallSteps;
}

void CycleWatch::Insert(std::size_t index) {
  if (2 * keys_.size() > table_.size()) {
    // Half full: twice the slots, every key placed again.
    table_.assign(2 * table_.size(), 0);
    const std::size_t mask = table_.size() - 1;
    for (std::size_t k = 0; k < keys_.size(); ++k) {
      if (k == index) continue;
      std::size_t slot = static_cast<std::size_t>(keys_[k]) & mask;
      while (table_[slot] != 0) slot = (slot + 1) & mask;
      table_[slot] = static_cast<uint32_t>(k + 1);
    }
  }
  const std::size_t mask = table_.size() - 1;
  std::size_t slot = static_cast<std::size_t>(keys_[index]) & mask;
  while (table_[slot] != 0) slot = (slot + 1) & mask;
  table_[slot] = static_cast<uint32_t>(index + 1);
}

bool CycleWatch::Exchange(int entering, int leaving) {
  key_ ^= VariableKey(entering) ^ VariableKey(leaving);
  entering_.push_back(entering);
  leaving_.push_back(leaving);
  const std::size_t mask = table_.size() - 1;
  for (std::size_t slot = static_cast<std::size_t>(key_) & mask; table_[slot] != 0; slot = (slot + 1) & mask) {
    const std::size_t earlier = table_[slot] - 1;
    if (keys_[earlier] == key_ && SameBasis(earlier)) return true;
  }
  keys_.push_back(key_);
  Insert(keys_.size() - 1);
  return false;
}

// Whether the basis now equals the run's basis number `earlier`: every
// variable of the exchanges since then entered as often as it left.
bool CycleWatch::SameBasis(std::size_t earlier) {
  const std::size_t now = entering_.size();
  for (std::size_t k = earlier; k < now; ++k) {
    ++balance_[static_cast<std::size_t>(entering_[k])];
    --balance_[static_cast<std::size_t>(leaving_[k])];
  }
  bool same = true;
  for (std::size_t k = earlier; k < now; ++k) {
    same = same && balance_[static_cast<std::size_t>(entering_[k])] == 0 &&
           balance_[static_cast<std::size_t>(leaving_[k])] == 0;
  }
  for (std::size_t k = earlier; k < now; ++k) {
    balance_[static_cast<std::size_t>(entering_[k])] = 0;
    balance_[static_cast<std::size_t>(leaving_[k])] = 0;
  }
  return same;
}

namespace {

// The candidate list stays in ascending column order: simplx sets it to
// 1..n and RemoveCandidate keeps the order of the rest.
void FindEnteringColumn(double** a, int row, const int* candidates, int numCandidates, bool absolute, int& column,
                        double& value) {
  ++tStepCount;
  if (absolute) {
    ActiveSimplexKernels().findLargestCandidate(a[row], candidates, numCandidates, true, column, value);
  } else {
    ActiveSimplexKernels().findLargestAscendingCandidate(a[row], candidates, numCandidates, column, value);
  }
}

int FindPivotRow(double** a, const int* rows, int m, int n, int p, std::ptrdiff_t stride) {
  ++tStepCount;
  return ActiveSimplexKernels().findPivotRow(a, rows, m, n, p, stride);
}

// Bland's entering column: of the candidate columns whose entry of row `row`
// exceeds the tolerance, the one whose variable (nonBasis) is the
// lowest-numbered. When none does, the column and value of the largest
// entry, as the first rule finds them, so that the callers' tests read the
// same value.
void FindBlandEnteringColumn(double** a, int row, const int* candidates, int numCandidates, const int* nonBasis,
                             int& column, double& value) {
  ++tStepCount;
  int lowest = INT_MAX;
  column = 0;
  for (int k = 1; k <= numCandidates; ++k) {
    const int c = candidates[k];
    const double v = a[row][c + 1];
    if (v > kSimplexTolerance && nonBasis[c] < lowest) {
      lowest = nonBasis[c];
      column = c;
      value = v;
    }
  }
  if (column == 0) ActiveSimplexKernels().findLargestCandidate(a[row], candidates, numCandidates, false, column, value);
}

// Right-hand sides within this distance of zero count as zero in Bland's
// ratio test. The rule cannot cycle when the ratios of a degenerate vertex
// tie exactly; rounding leaves some of its zeros as 1e-17 or so, and letting
// those decide between the tied rows can make it turn in a cycle after all.
// The copy Bland's rule solves is scaled to entries near 1.
constexpr double kBlandZeroRatio = 1e-12;

// The rows that tie in Bland's and the lexicographic ratio test for column
// p over rows[1..m]: of the rows whose entry lies below -kSimplexTolerance,
// those of the smallest ratio -b_i / a_ip (b_i within kBlandZeroRatio of 0
// giving the ratio 0), exactly; kept per thread, as the step count is.
thread_local std::vector<int> tTiedRows;

void FindTiedRows(double** a, const int* rows, int m, int p) {
  tTiedRows.clear();
  double smallest = 0.0;
  for (int k = 1; k <= m; ++k) {
    const int i = rows[k];
    const double entry = a[i + 1][p + 1];
    if (!(entry < -kSimplexTolerance)) continue;
    const double numerator = a[i + 1][1];
    const double ratio = std::fabs(numerator) <= kBlandZeroRatio ? 0.0 : -numerator / entry;
    if (tTiedRows.empty() || ratio < smallest) {
      tTiedRows.assign(1, i);
      smallest = ratio;
    } else if (ratio == smallest) {
      tTiedRows.push_back(i);
    }
  }
}

// Of the tied rows, the one whose basic variable is the lowest-numbered; 0
// when no row limits the step.
int LowestBasicTiedRow(const int* basis) {
  int r = 0;
  for (const int i : tTiedRows) {
    if (r == 0 || basis[i] < basis[r]) r = i;
  }
  return r;
}

// Bland's ratio test: of the tied rows, the one whose basic variable is the
// lowest-numbered; 0 when no row limits the step.
int FindBlandPivotRow(double** a, const int* rows, int m, int p, const int* basis) {
  ++tStepCount;
  FindTiedRows(a, rows, m, p);
  return LowestBasicTiedRow(basis);
}

// The lexicographic rule's reference variables, in the order of their rows
// when it was set; kept per thread and sized by the programs solved under
// that rule.
thread_local std::vector<int> tLexReference;
thread_local std::vector<int> tLexRowOf;     // per variable: its basic row, 0 when nonbasic
thread_local std::vector<int> tLexColumnOf;  // per variable: its nonbasic column, 0 when basic

// Ratios of the lexicographic tie-break within this distance of the smallest
// count as equal to it; the copy the rule solves is scaled to entries near 1.
constexpr double kLexTieTolerance = 1e-9;

// Makes the current basis the lexicographic rule's reference. Every row's
// vector is then its right-hand side (>= 0) followed by a unit vector, which
// is lexicographically positive.
void SetLexReference(const SimplexWorkLists& work, const int* basis, int m) {
  if (work.rule != PivotRule::kLexicographic) return;
  tLexReference.assign(basis + 1, basis + m + 1);
}

// The lexicographic ratio test for column p: the tied rows, narrowed
// reference variable by reference variable to those whose coefficient
// divided by -a_ip is within kLexTieTolerance of the smallest; a tie that
// outlasts them all goes to the row whose basic variable is the
// lowest-numbered. 0 when no row limits the step.
int FindLexPivotRow(double** a, const int* rows, int m, int n, int p, const int* basis, const int* nonBasis) {
  ++tStepCount;
  FindTiedRows(a, rows, m, p);
  if (tTiedRows.size() <= 1) return LowestBasicTiedRow(basis);

  tLexRowOf.assign(static_cast<std::size_t>(n + m + 1), 0);
  tLexColumnOf.assign(static_cast<std::size_t>(n + m + 1), 0);
  for (int i = 1; i <= m; ++i) tLexRowOf[basis[i]] = i;
  for (int c = 1; c <= n; ++c) tLexColumnOf[nonBasis[c]] = c;
  const auto component = [&](int i, int variable) {
    const int row = tLexRowOf[variable];
    const double coefficient = row != 0 ? (row == i ? 1.0 : 0.0) : -a[i + 1][tLexColumnOf[variable] + 1];
    return coefficient / -a[i + 1][p + 1];
  };
  for (const int variable : tLexReference) {
    double least = 0.0;
    for (std::size_t k = 0; k < tTiedRows.size(); ++k) {
      const double v = component(tTiedRows[k], variable);
      if (k == 0 || v < least) least = v;
    }
    std::size_t kept = 0;
    for (const int i : tTiedRows) {
      if (component(i, variable) <= least + kLexTieTolerance) tTiedRows[kept++] = i;
    }
    tTiedRows.resize(kept);
    if (kept == 1) return tTiedRows[0];
  }
  return LowestBasicTiedRow(basis);
}

// The entering-column search and the ratio test of the rule in use.
void ChooseEnteringColumn(double** a, int row, const SimplexWorkLists& work, int numCandidates, const int* nonBasis,
                          int& column, double& value) {
  if (work.rule == PivotRule::kBland) {
    FindBlandEnteringColumn(a, row, work.candidates, numCandidates, nonBasis, column, value);
  } else {
    FindEnteringColumn(a, row, work.candidates, numCandidates, false, column, value);
  }
}

int ChoosePivotRow(double** a, const SimplexWorkLists& work, int m, int n, int p, std::ptrdiff_t stride,
                   const int* basis, const int* nonBasis) {
  if (work.rule == PivotRule::kBland) return FindBlandPivotRow(a, work.rows, m, p, basis);
  if (work.rule == PivotRule::kLexicographic) return FindLexPivotRow(a, work.rows, m, n, p, basis, nonBasis);
  return FindPivotRow(a, work.rows, m, n, p, stride);
}

// Records an exchange step and the objective after it with the watch, when
// there is one; true when the solve has come back to a basis it has had or
// has stalled (cycled or stalled is then set). A lasting step starts a new
// run after it.
bool MustStop(SimplexWorkLists& work, int entering, int leaving, bool lasting, double objective) {
  if (work.cycleWatch == nullptr) return false;
  if (lasting) {
    work.cycleWatch->Exchange(entering, leaving);
    work.cycleWatch->Restart();
    return false;
  }
  if (work.cycleWatch->Exchange(entering, leaving)) {
    work.cycled = true;
    return true;
  }
  if (work.cycleWatch->Stalled(objective)) {
    work.stalled = true;
    return true;
  }
  return false;
}

// Exchange step at constraint row r, column p, over tableau rows 1..lastRow
// and columns 1..n+1. The operations and their order are fixed:
// other rows first (pivot-column entry scaled, then each other entry reduced),
// then the pivot row becomes (-entry) * piv and the pivot entry piv.
// Every element is computed on its own, so each row runs as one loop over
// all its columns, the pivot column included, and the pivot column's entry
// is stored afterwards: the value the loop computed there is discarded.
void Pivot(double** a, int lastRow, int n, int r, int p) {
  ++tStepCount;
  ++tSolveTotals.pivots;
  tSolveTotals.updates += static_cast<uint64_t>(lastRow) * static_cast<uint64_t>(n + 1);
  const double piv = 1.0 / a[r + 1][p + 1];
  ActiveSimplexKernels().exchangeRows(a, lastRow, n, r, p, piv);
}

// Whether an exchange step on a tableau of n + 1 columns may run as a fused
// step (ReduceRowsFindPivotRow): the kernels take narrow tableaus only, and a
// step that takes SimplexStepCount past the limit must stop the solve before
// the search that would follow it.
bool CanFuse(int n, const SimplexWorkLists& work) {
  return work.rule == PivotRule::kLargestCoefficient && n + 1 >= 2 && n + 1 <= kFusedMaxWidth &&
         tStepCount < kSimplexStepLimit;
}

// First part of a fused exchange step at constraint row r, column p: counts
// the step and updates the one row `row` (the row the next search reads)
// with the operations of the kernels' row update. Returns piv.
double BeginFusedPivot(double** a, int lastRow, int n, int r, int p, int row) {
  ++tStepCount;
  ++tSolveTotals.pivots;
  tSolveTotals.updates += static_cast<uint64_t>(lastRow) * static_cast<uint64_t>(n + 1);
  const double* pivotRow = a[r + 1];
  const double piv = 1.0 / pivotRow[p + 1];
  double* target = a[row];
  const double factor = target[p + 1] * piv;
  for (int k = 1; k <= n + 1; ++k) target[k] = target[k] - pivotRow[k] * factor;
  target[p + 1] = factor;
  return piv;
}

// Removes the first occurrence of column p from the candidate list; the
// entries after it move down one place.
void RemoveCandidate(int* candidates, int& numCandidates, int p) {
  int k = 1;
  while (k <= numCandidates && candidates[k] != p) ++k;
  if (k > numCandidates) return;
  for (; k < numCandidates; ++k) candidates[k] = candidates[k + 1];
  --numCandidates;
}

// After an artificial or an unflipped surplus variable has left through column
// p, that column now stands for it: correct the auxiliary objective and flip
// the column's sign in rows 1..m+2.
void FlipLeavingColumn(double** a, int m, int p) {
  a[m + 2][p + 1] = a[m + 2][p + 1] + 1.0;
  for (int i = 1; i <= m + 2; ++i) a[i][p + 1] = -a[i][p + 1];
}

// End of phase 1, first part: an equality row whose artificial is still basic
// (necessarily at value 0) is pivoted out through its entry of largest
// absolute value, provided that entry exceeds the tolerance. Returns the row
// and sets the column, or returns 0 when no equality row gives a pivot.
int FindBasicArtificialRow(double** a, const int* basis, const int* candidates, int numCandidates, int n, int m1,
                           int m2, int m, int& column) {
  for (int i = m1 + m2 + 1; i <= m; ++i) {
    if (basis[i] != n + i) continue;
    double value = 0.0;
    FindEnteringColumn(a, i + 1, candidates, numCandidates, true, column, value);
    if (value > kSimplexTolerance) return i;
  }
  return 0;
}

// End of phase 1, second part: greater-or-equal rows whose surplus column was
// never flipped get their sign flipped, so that phase 2 sees x_s >= 0.
void FlipUnflippedSurplusRows(double** a, const int* surplusFlags, int n, int m1, int m2) {
  for (int i = m1 + 1; i <= m1 + m2; ++i) {
    if (surplusFlags[i - m1] != 1) continue;
    for (int k = 1; k <= n + 1; ++k) a[i + 1][k] = -a[i + 1][k];
  }
}

void ExchangeBasis(int* basis, int* nonBasis, int r, int p) {
  const int entering = nonBasis[p];
  nonBasis[p] = basis[r];
  basis[r] = entering;
}

// The phase-1 auxiliary objective in row m+2: minus the sum of rows
// m1+1..m, each column's sum taken in row order. The rows are read one after
// another, each column's partial sum kept in row m+2 until it is negated.
void SetAuxiliaryRow(double** a, int m, int n, int m1) {
  double* aux = a[m + 2];
  for (int k = 1; k <= n + 1; ++k) aux[k] = 0.0;
  for (int i = m1 + 1; i <= m; ++i) {
    const double* row = a[i + 1];
    for (int k = 1; k <= n + 1; ++k) aux[k] = aux[k] + row[k];
  }
  for (int k = 1; k <= n + 1; ++k) aux[k] = -aux[k];
}

// The first entering-column search and ratio test of a solve under the first
// rule, made before the input checks so that the ratio test shares their
// pass over the tableau (TableauSurvey, surveyFindPivotRow). The search reads
// the row of the phase the solve starts in (the auxiliary row, set first, or
// row 1); the ratio test is the one the first step makes after that search,
// if it makes one. Nothing of it counts or is used unless the checks pass.
struct FirstStep {
  bool searched = false;  // p, v (and r, when ratioTest) wait to be taken
  int p = 0;
  double v = 0.0;
  bool ratioTest = false;
  int r = 0;
};

enum class Phase1End { kFeasible, kInfeasible, kStepLimit, kCycled };

// Phase 1: drive the sum of the artificial and surplus infeasibilities
// (auxiliary objective in row m+2) to zero, then leave a feasible basis.
Phase1End RunPhase1(int& resultCode, int* basis, double** a, int m, int n, int m1, int m2, int* nonBasis,
                    SimplexWorkLists& work, int& numCandidates, std::ptrdiff_t stride, FirstStep& first) {
  const int aux = m + 2;
  if (!first.searched) SetAuxiliaryRow(a, m, n, m1);
  int p = 0;
  double v = 0.0;
  int r = 0;
  bool known = false;  // p and r of the next step come from a fused step
  for (;;) {
    if (!known) {
      const bool taken = first.searched;  // this step's search and ratio test were made before
      first.searched = false;
      if (taken) {
        ++tStepCount;  // the search made before the input checks
        p = first.p;
        v = first.v;
      } else {
        ChooseEnteringColumn(a, aux, work, numCandidates, nonBasis, p, v);
      }
      if (v <= kSimplexTolerance && a[aux][1] < -kSimplexTolerance) {
        resultCode = kLPInfeasible;
        return Phase1End::kInfeasible;
      }
      if (v <= kSimplexTolerance && a[aux][1] <= kSimplexTolerance) {
        r = FindBasicArtificialRow(a, basis, work.candidates, numCandidates, n, m1, m2, m, p);
        if (r == 0) {
          FlipUnflippedSurplusRows(a, work.surplusFlags, n, m1, m2);
          return Phase1End::kFeasible;
        }
      } else {
        if (taken) {
          ++tStepCount;  // the ratio test made with the input checks
          r = first.r;
        } else {
          r = ChoosePivotRow(a, work, m, n, p, stride, basis, nonBasis);
        }
        if (r == 0) {
          resultCode = kLPInfeasible;
          return Phase1End::kInfeasible;
        }
      }
    }
    known = false;
    const int leaving = basis[r];
    const int entering = nonBasis[p];
    // An equality row's artificial never re-enters: its column is dropped.
    const bool artificialLeaves = leaving >= n + m1 + m2 + 1;
    const bool surplusLeaves =
        !artificialLeaves && leaving >= n + m1 + 1 && work.surplusFlags[leaving - m1 - n] == 1;

    // A step that drops a column or unflips a surplus row changes the solve's
    // state for good: the watch starts a new run after it.
    const bool lasting = artificialLeaves || surplusLeaves;

    if (!CanFuse(n, work)) {
      Pivot(a, m + 2, n, r, p);
      if (tStepCount > kSimplexStepLimit) return Phase1End::kStepLimit;
      if (artificialLeaves) {
        RemoveCandidate(work.candidates, numCandidates, p);
        FlipLeavingColumn(a, m, p);
      } else if (surplusLeaves) {
        work.surplusFlags[leaving - m1 - n] = 0;
        FlipLeavingColumn(a, m, p);
      }
      ExchangeBasis(basis, nonBasis, r, p);
      if (lasting) SetLexReference(work, basis, m);
      if (MustStop(work, entering, leaving, lasting, a[aux][1])) return Phase1End::kCycled;
      continue;
    }

    // The same step fused with what follows it: the auxiliary row is brought
    // up to date first (exchange step, then the column flip's correction and
    // sign), the next entering column is chosen from it, and one pass writes
    // the other rows (with the flip's sign) and, when the next step is a
    // ratio test, runs it.
    FusedExchange step;
    step.lastRow = m + 2;
    step.n = n;
    step.r = r;
    step.p = p;
    step.piv = BeginFusedPivot(a, m + 2, n, r, p, aux);
    step.doneRow = aux;
    step.negatePivotColumn = artificialLeaves || surplusLeaves;
    step.m = m;
    if (artificialLeaves) RemoveCandidate(work.candidates, numCandidates, p);
    if (surplusLeaves) work.surplusFlags[leaving - m1 - n] = 0;
    if (step.negatePivotColumn) a[aux][p + 1] = -(a[aux][p + 1] + 1.0);
    ExchangeBasis(basis, nonBasis, r, p);

    FindEnteringColumn(a, aux, work.candidates, numCandidates, false, p, v);
    if (v <= kSimplexTolerance && a[aux][1] <= kSimplexTolerance) {
      ActiveSimplexKernels().reduceRowsFindPivotRow(a, step);
      if (a[aux][1] < -kSimplexTolerance) {
        resultCode = kLPInfeasible;
        return Phase1End::kInfeasible;
      }
      r = FindBasicArtificialRow(a, basis, work.candidates, numCandidates, n, m1, m2, m, p);
      if (r == 0) {
        FlipUnflippedSurplusRows(a, work.surplusFlags, n, m1, m2);
        return Phase1End::kFeasible;
      }
    } else {
      ++tStepCount;  // the ratio test
      step.nextColumn = p;
      r = ActiveSimplexKernels().reduceRowsFindPivotRow(a, step);
      if (r == 0) {
        resultCode = kLPInfeasible;
        return Phase1End::kInfeasible;
      }
    }
    if (MustStop(work, entering, leaving, lasting, a[aux][1])) return Phase1End::kCycled;
    known = true;
  }
}

}  // namespace

void simplx(int& resultCode, int* basis, double** a, int m, int n, int m1, int m2, int m3, int* nonBasis,
            SimplexWorkLists& work) {
  tStepCount = 0;
  const SolveTotalsGuard totalsGuard;
  if (m != m1 + m2 + m3) {
    ConsolePrintf(" Bad input constraint counts in simplx.\n");
    resultCode = kLPBadInput;
    return;
  }
  int numCandidates = n;
  for (int k = 1; k <= n; ++k) {
    work.candidates[k] = k;
    nonBasis[k] = k;
  }
  // Under the first rule the first search runs now, and its ratio test with
  // the input checks (FirstStep). The search reads the candidates 1..n.
  FirstStep first;
  const bool phase1 = m2 + m3 != 0;
  if (work.rule == PivotRule::kLargestCoefficient && n >= 1) {
    const int row = phase1 ? m + 2 : 1;
    if (phase1) SetAuxiliaryRow(a, m, n, m1);
    ActiveSimplexKernels().findLargestAscendingCandidate(a[row], work.candidates, n, first.p, first.v);
    first.ratioTest = phase1 ? !(first.v <= kSimplexTolerance && a[row][1] <= kSimplexTolerance)
                             : !(first.v <= kSimplexTolerance);
    first.searched = true;
  }
  TableauSurvey survey;
  first.r = ActiveSimplexKernels().surveyFindPivotRow(a, m, n, first.ratioTest ? first.p : 0, survey);
  const int checkedRows = survey.firstNegative != 0 ? survey.firstNegative - 1 : m;
  for (int i = 1; i <= checkedRows; ++i) {
    work.rows[i] = i;
    basis[i] = n + i;
  }
  if (survey.firstNegative != 0) {
    ConsolePrintf(" Bad input tableau in simplx, Constants bi must be nonnegative.\n");
    resultCode = kLPBadInput;
    return;
  }
  for (int i = 1; i <= m2; ++i) work.surplusFlags[i] = 1;
  if (survey.hasNaN) {
    ConsolePrintf(" Bad input tableau in simplx, entries must be numbers.\n");
    resultCode = kLPBadInput;
    return;
  }

  const std::ptrdiff_t stride = survey.stride;
  work.cycled = false;
  work.stalled = false;
  if (work.cycleWatch != nullptr) work.cycleWatch->Begin(m, n);
  SetLexReference(work, basis, m);
  if (phase1) {
    if (RunPhase1(resultCode, basis, a, m, n, m1, m2, nonBasis, work, numCandidates, stride, first) !=
        Phase1End::kFeasible) {
      return;
    }
    if (work.cycleWatch != nullptr) work.cycleWatch->Restart();
    SetLexReference(work, basis, m);
  }

  // Phase 2: improve the true objective in row 1 from the feasible basis.
  int p = 0;
  double v = 0.0;
  int r = 0;
  bool known = false;  // p and r of the next step come from a fused step
  for (;;) {
    if (!known) {
      if (first.searched) {
        ++tStepCount;  // the search made before the input checks
        p = first.p;
        v = first.v;
      } else {
        ChooseEnteringColumn(a, 1, work, numCandidates, nonBasis, p, v);
      }
      if (v <= kSimplexTolerance) {
        resultCode = kLPOptimal;
        work.numCandidates = numCandidates;
        return;
      }
      if (first.searched) {
        ++tStepCount;  // the ratio test made with the input checks
        r = first.r;
        first.searched = false;
      } else {
        r = ChoosePivotRow(a, work, m, n, p, stride, basis, nonBasis);
      }
      if (r == 0) {
        resultCode = kLPUnbounded;
        return;
      }
    }
    known = false;
    const int entering = nonBasis[p];
    const int leaving = basis[r];
    if (!CanFuse(n, work)) {
      Pivot(a, m + 1, n, r, p);
      if (tStepCount > kSimplexStepLimit) return;
      ExchangeBasis(basis, nonBasis, r, p);
      if (MustStop(work, entering, leaving, false, a[1][1])) return;
      continue;
    }

    // The same step fused with what follows it: row 1 is brought up to date
    // first, the next entering column is chosen from it, and one pass writes
    // the other rows and, unless the solve is optimal, runs the ratio test.
    FusedExchange step;
    step.lastRow = m + 1;
    step.n = n;
    step.r = r;
    step.p = p;
    step.piv = BeginFusedPivot(a, m + 1, n, r, p, 1);
    step.doneRow = 1;
    step.m = m;
    ExchangeBasis(basis, nonBasis, r, p);
    FindEnteringColumn(a, 1, work.candidates, numCandidates, false, p, v);
    if (v <= kSimplexTolerance) {
      ActiveSimplexKernels().reduceRowsFindPivotRow(a, step);
      resultCode = kLPOptimal;
      work.numCandidates = numCandidates;
      return;
    }
    ++tStepCount;  // the ratio test
    step.nextColumn = p;
    r = ActiveSimplexKernels().reduceRowsFindPivotRow(a, step);
    if (r == 0) {
      resultCode = kLPUnbounded;
      return;
    }
    if (MustStop(work, entering, leaving, false, a[1][1])) return;
    known = true;
  }
}
