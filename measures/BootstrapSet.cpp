// The bootstrap set: the homogeneous smoothed bootstrap with reflection of
// the efficiencies OTE (the output Shephard distance DOttt, <= 1) and ITE
// (the input Farrell efficiency 1 / DIttt, <= 1), each reference set on its
// own: every period's under each period's own technology with Window 1, the
// pooled panel without technical change.
//
// For one reference set and measure, theta_1..theta_n the estimates of its
// members (present, with an estimate; a member whose Set 1 program failed is
// in no sample but stays in the pseudo technology with its observed
// quantities, as in the estimated one):
//   the reflected sample z = {theta_i, 2 - theta_i} (2n values), its sample
//   standard deviation s, its interquartile range (type-7 quantiles) and the
//   bandwidth h = 0.9 min(s, IQR / 1.34) (2n)^(-1/5);
//   per replicate, beta_i drawn from z with replacement, e_i standard normal,
//   beta-bar their mean, t_i = beta-bar + (beta_i + h e_i - beta-bar) /
//   sqrt(1 + h^2 / s^2), reflected to 2 - t_i where t_i > 1.
// A smoothed t_i outside (0, 2) (a large normal draw) is not cut back: e_i
// is drawn again from the same stream until t_i lies in (0, 2), so every
// reflected value lies in (0, 1]; a floor at a small number gave pseudo
// inputs thousands of times the observed ones and standard errors without
// meaning. With h = 0 (s = 0: every estimate 1; or IQR = 0) there is no
// smoothing and no variance correction (h^2 / s^2 would be 0 / 0): t_i =
// beta_i, reflected.
//
// Pseudo data: OTE's outputs y_i t_i / theta_i, the point y_i / theta_i of
// the estimated frontier scaled to the drawn distance t_i; ITE's inputs
// x_i theta_i / t_i. (y_i theta_i / t_i would put an efficient firm beyond
// the frontier whenever t_i < 1: the output distance is the reciprocal of
// the input efficiency's orientation.) The other quantities stay as
// observed. Every member's replicate is its Set 1 program, DOttt or DIttt,
// with its observed quantities against the pseudo reference rows, under
// the run's returns to scale: OTE* = DO, ITE* = 1 / DI.
//
// Replicate b of reference set k and measure m draws from the stream keyed
// (seed, b, k, m) (core/RandomStream.h): first the n indexes of the beta_i,
// then the normals e_1, e_2, ... in member order, redraws in place. So a
// replicate's values do not depend on the thread that computes it or on
// which other replicates a run computes.

#include "measures/BootstrapSet.h"

#include <algorithm>
#include <cmath>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "core/RandomStream.h"
#include "core/RunContext.h"
#include "core/Transcript.h"
#include "lp/LPProblem.h"
#include "lp/WorkerPool.h"
#include "measures/MultiplierProgram.h"
#include "measures/Observations.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

struct EfficiencyMeasure {
  const char* name;
  Orientation orientation;            // the program: DOttt (output) or DIttt (input)
  ObservationVector AnalysisRecord::*estimate;
};
const EfficiencyMeasure kMeasures[] = {
    {"OTE", Orientation::kOutput, &AnalysisRecord::OTE},
    {"ITE", Orientation::kInput, &AnalysisRecord::ITE},
};
constexpr std::size_t kMeasureCount = sizeof kMeasures / sizeof kMeasures[0];

// The smoothing sample of one reference set and measure.
struct SmoothingSample {
  ReferenceRange range;
  std::vector<uint32_t> members;  // observations (1-based) with an estimate
  std::vector<double> theta;      // their estimates
  std::vector<double> reflected;  // theta_1..theta_n, 2 - theta_1..2 - theta_n
  double s = 0.0;
  double h = 0.0;
};

std::vector<ReferenceRange> ReferenceSets(const AnalysisRecord& record) {
  if (record.TechChange == 0) return {ReferenceSetOfAll(record)};
  std::vector<ReferenceRange> sets;
  for (uint32_t t = 1; t <= record.Periods; ++t) sets.push_back(ReferenceSetOfPeriod(record, t));
  return sets;
}

SmoothingSample PrepareSample(const AnalysisRecord& record, ReferenceRange range, const EfficiencyMeasure& measure) {
  SmoothingSample sample;
  sample.range = range;
  const ObservationVector& estimates = record.*measure.estimate;
  for (uint32_t o = range.first; o <= range.last; ++o) {
    if (record.IsAbsent(o) || !Present(estimates[o - 1])) continue;
    sample.members.push_back(o);
    sample.theta.push_back(estimates[o - 1]);
  }
  const std::size_t n = sample.theta.size();
  if (n == 0) return sample;
  sample.reflected = sample.theta;
  for (double theta : sample.theta) sample.reflected.push_back(2.0 - theta);
  sample.s = SampleStandardDeviation(sample.reflected);
  std::vector<double> sorted = sample.reflected;
  std::sort(sorted.begin(), sorted.end());
  const double iqr = QuantileType7(sorted, 0.75) - QuantileType7(sorted, 0.25);
  sample.h = 0.9 * std::min(sample.s, iqr / 1.34) * std::pow(static_cast<double>(2 * n), -0.2);
  return sample;
}

// The smoothed, reflected efficiencies t_1..t_n of one replicate.
void DrawEfficiencies(const SmoothingSample& sample, RandomStream& stream, std::vector<double>& t) {
  const std::size_t n = sample.members.size();
  const uint32_t size = static_cast<uint32_t>(sample.reflected.size());
  t.resize(n);
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    t[i] = sample.reflected[stream.Index(size)];
    sum = sum + t[i];
  }
  if (sample.h > 0.0) {
    const double betaBar = sum / static_cast<double>(n);
    const double root = std::sqrt(1.0 + (sample.h * sample.h) / (sample.s * sample.s));
    for (std::size_t i = 0; i < n; ++i) {
      const double beta = t[i];
      double smoothed;
      do {
        smoothed = betaBar + (beta + sample.h * stream.Normal() - betaBar) / root;
      } while (!(smoothed > 0.0 && smoothed < 2.0));
      t[i] = smoothed;
    }
  }
  for (double& value : t)
    if (value > 1.0) value = 2.0 - value;
}

// One worker's pseudo data: copies of the working copies whose members'
// rows are rewritten for every replicate, reference set and measure.
struct WorkerState {
  WorkingCopies pseudo;
  std::vector<double> y, x, t;
  ReferenceRowsInPlace referenceRows;
};

// Writes the pseudo quantities of one measure's members into the worker's
// copy of the quantities that measure changes.
void WritePseudoRows(const AnalysisRecord& record, const SmoothingSample& sample, const EfficiencyMeasure& measure,
                     WorkingCopies& copies, WorkerState& state) {
  const bool output = measure.orientation == Orientation::kOutput;
  const uint32_t width = output ? record.Outputs : record.Inputs;
  Matrix& observed = output ? copies.outputs : copies.inputs;
  Matrix& pseudo = output ? state.pseudo.outputs : state.pseudo.inputs;
  for (std::size_t i = 0; i < sample.members.size(); ++i) {
    const uint32_t row = sample.members[i] - 1;
    const double theta = sample.theta[i], t = state.t[i];
    for (uint32_t j = 0; j < width; ++j) {
      const double q = observed.GetValue(row, j);
      pseudo.SetValue(row, j, output ? q * t / theta : q * theta / t);
    }
  }
}

}  // namespace

const std::vector<std::string>& BootstrapMeasureNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const EfficiencyMeasure& measure : kMeasures) list.push_back(measure.name);
    return list;
  }();
  return names;
}

const std::vector<std::string>& BootstrapStatisticSuffixes() {
  static const std::vector<std::string> suffixes = {"", "_bc", "_bias", "_se", "_lo", "_hi", "_n"};
  return suffixes;
}

const std::vector<double>& BootstrapEstimates(const AnalysisRecord& record, std::size_t m) {
  return record.*kMeasures[m].estimate;
}

const char kBootstrapTechnologyRefusal[] =
    "the bootstrap needs each period's own technology with a window of 1 (technical regress allowed) or no "
    "technical change";

bool BootstrapTechnologyAllowed(const AnalysisRecord& record) {
  return record.TechChange == 0 || (record.TechRegress == 1 && record.Window == 1);
}

void ComputeBootstrapReplicates(AnalysisRecord& record, WorkerPool& workers, uint64_t seed, uint32_t first,
                                uint32_t count, BootstrapValues& replicates) {
  ConsolePrintf(" Computing the bootstrap: OTE, ITE, %u replicates \n", count);
  const uint32_t NT = record.Observations, M = record.Outputs, K = record.Inputs;
  const bool vrs = record.Vrs != 0;
  replicates.first = first;
  replicates.count = count;
  replicates.failed = 0;
  replicates.values.assign(kMeasureCount, std::vector<double>(static_cast<std::size_t>(count) * NT, kMissing));

  std::vector<std::vector<SmoothingSample>> samples;  // [reference set][measure]
  for (const ReferenceRange& range : ReferenceSets(record)) {
    samples.emplace_back();
    for (const EfficiencyMeasure& measure : kMeasures) samples.back().push_back(PrepareSample(record, range, measure));
  }

  WorkingCopies copies;
  CreateWorkingCopies(record, copies, false);
  std::vector<WorkerState> states(workers.Size());
  for (WorkerState& state : states) {
    CreateWorkingCopies(record, state.pseudo, false);
    state.y.resize(M);
    state.x.resize(K);
  }
  std::vector<uint64_t> failed(count, 0);
  SetProgress progress(8, count);

  workers.Run(count, [&](uint32_t r, unsigned worker) {
    // The replicate programs speak to no one: their transcript is dropped.
    Transcript quiet;
    Transcript* outer = ThreadTranscript();
    SetThreadTranscript(&quiet);
    LPWorkspace& workspace = workers.Workspace(worker);
    WorkerState& state = states[worker];
    const uint64_t b = static_cast<uint64_t>(first) + r;
    for (std::size_t k = 0; k < samples.size(); ++k) {
      for (std::size_t m = 0; m < kMeasureCount; ++m) {
        const SmoothingSample& sample = samples[k][m];
        const EfficiencyMeasure& measure = kMeasures[m];
        if (sample.members.empty()) continue;
        RandomStream stream(seed, b, k, m);
        DrawEfficiencies(sample, stream, state.t);
        WritePseudoRows(record, sample, measure, copies, state);
        const bool output = measure.orientation == Orientation::kOutput;
        Matrix& outputs = output ? state.pseudo.outputs : copies.outputs;
        Matrix& inputs = output ? copies.inputs : state.pseudo.inputs;
        state.referenceRows.valid = false;  // new reference rows
        for (uint32_t o : sample.members) {
          ReadObservationRow(copies.outputs, o, M, state.y.data());
          ReadObservationRow(copies.inputs, o, K, state.x.data());
          const double* normalisation = output ? state.y.data() : state.x.data();
          const double* objective = output ? state.x.data() : state.y.data();
          BuildMultiplierProgram(record, workspace, outputs, inputs, sample.range, measure.orientation, normalisation,
                                 objective, &state.referenceRows);
          const double d = SolveMultiplierProgram(record, workspace, sample.range, measure.orientation, !vrs);
          if (workspace.Problem.m_ResultCode != 0 || !Present(d)) {
            ++failed[r];
            continue;
          }
          replicates.values[m][static_cast<std::size_t>(r) * NT + o - 1] = output ? d : 1.0 / d;
        }
      }
    }
    SetThreadTranscript(outer);
  }, &progress);

  for (WorkerState& state : states) FreeWorkingCopies(state.pseudo);
  FreeWorkingCopies(copies);
  for (uint64_t f : failed) replicates.failed += f;
}
