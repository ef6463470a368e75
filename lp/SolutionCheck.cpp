#include "lp/SolutionCheck.h"

#include <cmath>
#include <limits>

#include "lp/Simplex.h"

// Measured: gains from 4.1e-5 up moved a printed 4th digit; well-scaled data reach 2.2e-5 at most.
const double kStoppedShortGain = 3e-5;

const double kViolationLimit = 1e-6;

namespace {

// A reduced cost no larger than this fraction of the largest |entry| of its
// column is what the pivots' rounding leaves of a zero (measured: at most
// 6e-14), not an improving direction; the genuine ones measured exceed 5e-6.
constexpr double kReducedCostNoise = 1e-10;

// Relative size of a negative basic value that marks the end basis as
// infeasible (see BasisIsFeasible).
constexpr double kBasisFeasibilityTolerance = 1e-9;

}  // namespace

// The columns of positive reduced cost go in groups of kGainColumns, each
// group in one pass down the rows: a tall tableau is then read once per group
// rather than once per column. Each column's step and size see its entries
// in row order, as a pass down that column alone would, and the columns are
// judged in candidate order afterwards.
constexpr int kGainColumns = 16;
constexpr int kGainRowsBetweenTests = 32;

namespace {

// Whether every column of the group has a reduced cost no larger than
// rounding noise for the largest |entry| seen so far in it.
bool AllNoise(const double* objectiveRow, const int* columns, const double* sizes, int count) {
  for (int g = 0; g < count; ++g) {
    if (objectiveRow[columns[g]] > kReducedCostNoise * sizes[g]) return false;
  }
  return true;
}

}  // namespace

double LargestRelativeGain(double** a, int m, const int* candidates, int numCandidates, bool* improvable) {
  if (improvable != nullptr) *improvable = false;
  const double* objectiveRow = a[1];
  const double optimum = std::fabs(objectiveRow[1]);
  double largest = 0.0;
  int c = 1;
  while (c <= numCandidates) {
    int columns[kGainColumns];
    int count = 0;
    for (; c <= numCandidates && count < kGainColumns; ++c) {
      const int column = candidates[c] + 1;
      if (objectiveRow[column] > 0.0) columns[count++] = column;
    }
    if (count == 0) break;
    double steps[kGainColumns];
    double sizes[kGainColumns];
    for (int g = 0; g < count; ++g) {
      steps[g] = std::numeric_limits<double>::infinity();
      sizes[g] = 0.0;
    }
    for (int i = 2; i <= m + 1; ++i) {
      // A column whose largest |entry| so far already makes its reduced cost
      // rounding noise stays noise (the largest |entry| only grows): when
      // every column of the group is, the rest of the pass could change
      // nothing that is judged below, and it ends.
      if ((i - 2) % kGainRowsBetweenTests == kGainRowsBetweenTests - 1 &&
          AllNoise(objectiveRow, columns, sizes, count)) {
        break;
      }
      const double* row = a[i];
      for (int g = 0; g < count; ++g) {
        const double entry = row[columns[g]];
        const double size = std::fabs(entry);
        sizes[g] = size > sizes[g] ? size : sizes[g];
        if (entry < 0.0) {
          // size > 0 here, so a zero right-hand side (of either sign) is its
          // own quotient: the degenerate rows are not divided.
          const double ratio = row[1] == 0.0 ? row[1] : row[1] / size;
          steps[g] = ratio < steps[g] ? ratio : steps[g];
        }
      }
    }
    for (int g = 0; g < count; ++g) {
      const double reducedCost = objectiveRow[columns[g]];
      const double step = steps[g];
      if (!(reducedCost > kReducedCostNoise * sizes[g])) continue;
      if (improvable != nullptr) *improvable = true;
      if (std::isinf(step)) return step;
      // An optimum of exactly 0 has no size of its own: its gain counts on the
      // unit scale the solver's tolerance assumes.
      const double gain = reducedCost * step;
      const double relative = optimum > 0.0 ? gain / optimum : gain;
      largest = relative > largest ? relative : largest;
    }
  }
  return largest;
}

bool BasisIsFeasible(double** a, int m) {
  if (m <= 0) return true;
  double smallest = a[2][1];
  double largest = std::fabs(smallest);
  for (int i = 2; i <= m; ++i) {
    const double value = a[i + 1][1];
    if (value < smallest) smallest = value;
    if (std::fabs(value) > largest) largest = std::fabs(value);
  }
  return !(smallest < -kBasisFeasibilityTolerance * (1.0 + largest));
}

SolveVerdict JudgeSolve(double** a, int m, int simplexCode, unsigned steps, const int* candidates,
                        int numCandidates) {
  SolveVerdict verdict;
  verdict.code = simplexCode;
  if (steps > kSimplexStepLimit) {
    verdict.code = kLPStepLimit;
  } else if (simplexCode == kLPOptimal && !BasisIsFeasible(a, m)) {
    verdict.code = kLPNotFeasibleBasis;
  }
  // An optimal program may still have an improving step the tolerance let pass.
  if (verdict.code == kLPOptimal) verdict.gain = LargestRelativeGain(a, m, candidates, numCandidates, &verdict.improvable);
  return verdict;
}

double LargestRelativeViolation(double** a, const int* basis, int m, int n, int m1, int m2, const Matrix& A,
                                const double* rhs, const double* x) {
  // The largest |x_j| in four running maxima (a maximum does not depend on
  // the order its values come in), which do not wait on one another: the
  // envelopment programs have thousands of variables.
  double lanes[4] = {0.0, 0.0, 0.0, 0.0};
  int c = 0;
  for (; c + 3 < n; c += 4) {
    for (int lane = 0; lane < 4; ++lane) {
      const double size = std::fabs(x[c + lane]);
      lanes[lane] = size > lanes[lane] ? size : lanes[lane];
    }
  }
  for (; c < n; ++c) lanes[0] = std::fabs(x[c]) > lanes[0] ? std::fabs(x[c]) : lanes[0];
  double largestX = lanes[0];
  for (int lane = 1; lane < 4; ++lane) largestX = lanes[lane] > largestX ? lanes[lane] : largestX;
  double largest = 0.0;
  for (int r = 1; r <= m; ++r) {
    const int i = basis[r] - n;  // the row whose slack, surplus or artificial is basic in row r
    if (i < 1 || i > m) continue;
    const double value = a[r + 1][1];
    if (i <= m1 + m2 ? !(value < 0.0) : value == 0.0) continue;
    const double* coefficients = A.Row(static_cast<uint32_t>(i - 1));
    double activity = 0.0;
    double largestA = 0.0;
    for (int j = 0; j < n; ++j) {
      activity = activity + coefficients[j] * x[j];
      largestA = std::fabs(coefficients[j]) > largestA ? std::fabs(coefficients[j]) : largestA;
    }
    const double excess = activity - rhs[i - 1];
    const double violation = i <= m1 ? excess : (i <= m1 + m2 ? -excess : std::fabs(excess));
    if (!(violation > 0.0)) continue;
    const double size = std::fabs(rhs[i - 1]) + largestA * largestX;
    const double relative = size > 0.0 ? violation / size : std::numeric_limits<double>::infinity();
    largest = relative > largest ? relative : largest;
  }
  return largest;
}
