// The bootstrap set: the homogeneous smoothed bootstrap with reflection of
// the efficiencies OTE (the output Shephard distance DOttt, <= 1) and ITE
// (the input Farrell efficiency 1 / DIttt, <= 1), each reference set on its
// own: every period's under each period's own technology with Window 1, the
// pooled panel without technical change.
//
// For one reference set and measure the estimates theta_i of its members
// (present, with a finite positive estimate; a member whose Set 1 program
// failed is in no sample but stays in the pseudo technology with its
// observed quantities, as in the estimated one) are smoothed and reflected
// into a replicate's draws t_i as measures/BootstrapSmoothing.h states.
//
// Pseudo data: OTE's outputs y_i t_i / theta_i, the point y_i / theta_i of
// the estimated frontier scaled to the drawn distance t_i; ITE's inputs
// x_i theta_i / t_i. (y_i theta_i / t_i, the input formula carried over,
// would give an efficient firm, theta_i = 1, outputs y_i / t_i beyond the
// estimated frontier whenever t_i < 1: the output distance divides the
// outputs to reach the frontier where the input efficiency multiplies the
// inputs.) The other quantities stay as observed. Every member's replicate
// is its Set 1 program, DOttt or DIttt, with its observed quantities
// against the pseudo reference rows, under the run's returns to scale:
// OTE* = DO, ITE* = 1 / DI.
//
// With the Malmquist set (each period's own technology only), the
// bivariate bootstrap of Simar and Wilson (1999) for every pair of periods
// s = t - 1, t and each orientation draws pairs (t_i^s, t_i^t) from the
// firms' pairs of own-period efficiencies (BootstrapSmoothing.h). Pseudo
// data for both periods as above (the other firms of a period keep
// their observed quantities), then the four distances of every pair's
// observation against the two pseudo technologies, and M, EC and TC from
// them as the Malmquist set forms them. A cross-period program without a
// bounded optimum (the observation outside the other pseudo technology)
// leaves that replicate's indexes missing without counting as failed.
//
// Replicate b of reference set k and measure m draws from the stream keyed
// (seed, b, k, m) (core/RandomStream.h); the Malmquist pairs of periods t - 1, t and orientation q (0 output, 1 input)
// from (seed, b, t - 2, 2 + q). So a replicate's values do not depend on
// the thread that computes it, on which other replicates a run computes, or
// (the efficiencies') on whether the Malmquist index is bootstrapped too.

#include "measures/BootstrapSet.h"

#include <cmath>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "core/RandomStream.h"
#include "core/RunContext.h"
#include "core/Transcript.h"
#include "lp/LPProblem.h"
#include "lp/Simplex.h"
#include "lp/WorkerPool.h"
#include "measures/BootstrapSmoothing.h"
#include "measures/MultiplierProgram.h"
#include "measures/Observations.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

using Values = AnalysisRecord::MalmquistValues;

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

// With the Malmquist set: its indexes of each orientation, output first,
// after the efficiencies.
struct MalmquistMeasure {
  const char* name;
  ObservationVector Values::*estimate;
};
const MalmquistMeasure kMalmquistMeasures[] = {
    {"M_O", &Values::M_O}, {"EC_O", &Values::EC_O}, {"TC_O", &Values::TC_O},
    {"M_I", &Values::M_I}, {"EC_I", &Values::EC_I}, {"TC_I", &Values::TC_I},
};
constexpr std::size_t kMalmquistCount = sizeof kMalmquistMeasures / sizeof kMalmquistMeasures[0];

std::vector<ReferenceRange> ReferenceSets(const AnalysisRecord& record) {
  if (record.TechChange == 0) return {ReferenceSetOfAll(record)};
  std::vector<ReferenceRange> sets;
  for (uint32_t t = 1; t <= record.Periods; ++t) sets.push_back(ReferenceSetOfPeriod(record, t));
  return sets;
}

// One worker's pseudo data: copies of the working copies whose rows hold
// the observed quantities except while a replicate's programs run on them.
struct WorkerState {
  WorkingCopies pseudo;
  std::vector<double> y, x, t, t2;
  std::vector<double> distances[4];
  ReferenceRowsInPlace referenceRows;
};

// Writes observation o's pseudo quantities (theta its estimate, t its
// draw) into the worker's copy of the quantities the orientation changes:
// outputs y t / theta, inputs x theta / t.
void WritePseudoRow(const AnalysisRecord& record, Orientation orientation, uint32_t o, double theta, double t,
                    WorkingCopies& copies, WorkerState& state) {
  const bool output = orientation == Orientation::kOutput;
  const uint32_t width = output ? record.Outputs : record.Inputs;
  Matrix& observed = output ? copies.outputs : copies.inputs;
  Matrix& pseudo = output ? state.pseudo.outputs : state.pseudo.inputs;
  for (uint32_t j = 0; j < width; ++j) {
    const double q = observed.GetValue(o - 1, j);
    pseudo.SetValue(o - 1, j, output ? q * t / theta : q * theta / t);
  }
}

// Puts observation o's observed quantities back.
void RestoreRow(const AnalysisRecord& record, Orientation orientation, uint32_t o, WorkingCopies& copies,
                WorkerState& state) {
  const bool output = orientation == Orientation::kOutput;
  const uint32_t width = output ? record.Outputs : record.Inputs;
  Matrix& observed = output ? copies.outputs : copies.inputs;
  Matrix& pseudo = output ? state.pseudo.outputs : state.pseudo.inputs;
  for (uint32_t j = 0; j < width; ++j) pseudo.SetValue(o - 1, j, observed.GetValue(o - 1, j));
}

// The distance of observation `measured` (its observed quantities) against
// the pseudo technology `range` in one orientation: DO, or DI (>= 1 for an
// observation of the range). A cross-period program that is unbounded (the
// observation lies outside that technology) gives -9999 without counting
// as failed; a program that fails gives -9999 and counts.
double PseudoDistance(AnalysisRecord& record, LPWorkspace& workspace, WorkingCopies& copies, WorkerState& state,
                      ReferenceRange range, Orientation orientation, uint32_t measured, bool cross,
                      uint64_t& failed) {
  const uint32_t M = record.Outputs, K = record.Inputs;
  const bool output = orientation == Orientation::kOutput;
  Matrix& outputs = output ? state.pseudo.outputs : copies.outputs;
  Matrix& inputs = output ? copies.inputs : state.pseudo.inputs;
  ReadObservationRow(copies.outputs, measured, M, state.y.data());
  ReadObservationRow(copies.inputs, measured, K, state.x.data());
  BuildMultiplierProgram(record, workspace, outputs, inputs, range, orientation,
                         output ? state.y.data() : state.x.data(), output ? state.x.data() : state.y.data(),
                         &state.referenceRows);
  workspace.Problem.m_UnboundedIsAnswer = cross;
  const double d = SolveMultiplierProgram(record, workspace, range, orientation, record.Vrs == 0);
  workspace.Problem.m_UnboundedIsAnswer = false;
  const int code = workspace.Problem.m_ResultCode;
  if (cross && code == kLPUnbounded) return kMissing;
  if (code != 0 || !Present(d)) {
    ++failed;
    return kMissing;
  }
  return d;
}

// a / b and [a x b]^(1/2), or -9999 when either is missing.
double Ratio(double a, double b) { return Present(a) && Present(b) ? a / b : kMissing; }
double GeometricMean(double a, double b) { return Present(a) && Present(b) ? std::sqrt(a * b) : kMissing; }

// One replicate of the efficiencies of one reference set and measure.
void EfficiencyReplicate(AnalysisRecord& record, LPWorkspace& workspace, WorkingCopies& copies, WorkerState& state,
                         const SmoothingSample& sample, const EfficiencyMeasure& measure, RandomStream& stream,
                         double* values, uint64_t& failed) {
  DrawEfficiencies(sample, stream, state.t);
  for (std::size_t i = 0; i < sample.members.size(); ++i)
    WritePseudoRow(record, measure.orientation, sample.members[i], sample.theta[i], state.t[i], copies, state);
  state.referenceRows.valid = false;  // new reference rows
  for (uint32_t o : sample.members) {
    const double d = PseudoDistance(record, workspace, copies, state, sample.range, measure.orientation, o, false,
                                    failed);
    if (Present(d)) values[o - 1] = measure.orientation == Orientation::kOutput ? d : 1.0 / d;
  }
  for (uint32_t o : sample.members) RestoreRow(record, measure.orientation, o, copies, state);
}

// One replicate of the Malmquist index of one pair of periods and
// orientation: pseudo data for both periods from the drawn pairs, then the
// four distances of every member against the two pseudo technologies
// (those against period s's first, so that its reference rows stay in
// place), and the index, its efficiency change and technical change as the
// Malmquist set forms them. values[0..2]: M, EC, TC.
void MalmquistReplicate(AnalysisRecord& record, LPWorkspace& workspace, WorkingCopies& copies, WorkerState& state,
                        const PairSample& sample, RandomStream& stream, double* const values[3], uint64_t& failed) {
  const uint32_t N = record.Firms;
  const std::size_t n = sample.members.size();
  const Orientation orientation = sample.orientation;
  DrawPairs(sample, stream, state.t, state.t2);
  for (std::size_t i = 0; i < n; ++i) {
    WritePseudoRow(record, orientation, sample.members[i] - N, sample.a[i], state.t[i], copies, state);
    WritePseudoRow(record, orientation, sample.members[i], sample.b[i], state.t2[i], copies, state);
  }
  std::vector<double>* d = state.distances;  // sss, tts, ttt, sst
  for (std::vector<double>* v = d; v != d + 4; ++v) v->assign(n, kMissing);
  state.referenceRows.valid = false;
  for (std::size_t i = 0; i < n; ++i) {
    const uint32_t o = sample.members[i];
    d[0][i] = PseudoDistance(record, workspace, copies, state, sample.before, orientation, o - N, false, failed);
    d[1][i] = PseudoDistance(record, workspace, copies, state, sample.before, orientation, o, true, failed);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const uint32_t o = sample.members[i];
    d[2][i] = PseudoDistance(record, workspace, copies, state, sample.now, orientation, o, false, failed);
    d[3][i] = PseudoDistance(record, workspace, copies, state, sample.now, orientation, o - N, true, failed);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const uint32_t e = sample.members[i] - 1;
    const double sss = d[0][i], tts = d[1][i], ttt = d[2][i], sst = d[3][i];
    const bool output = orientation == Orientation::kOutput;
    values[0][e] = output ? GeometricMean(Ratio(tts, sss), Ratio(ttt, sst))
                          : GeometricMean(Ratio(sss, tts), Ratio(sst, ttt));
    values[1][e] = output ? Ratio(ttt, sss) : Ratio(sss, ttt);
    values[2][e] = Ratio(values[0][e], values[1][e]);
  }
  for (std::size_t i = 0; i < n; ++i) {
    RestoreRow(record, orientation, sample.members[i] - N, copies, state);
    RestoreRow(record, orientation, sample.members[i], copies, state);
  }
}

}  // namespace

std::vector<std::string> BootstrapMeasureNames(bool malmquist) {
  std::vector<std::string> names;
  for (const EfficiencyMeasure& measure : kMeasures) names.push_back(measure.name);
  if (malmquist)
    for (const MalmquistMeasure& measure : kMalmquistMeasures) names.push_back(measure.name);
  return names;
}

const std::vector<std::string>& BootstrapStatisticSuffixes() {
  static const std::vector<std::string> suffixes = {"", "_bc", "_bias", "_se", "_lo", "_hi", "_n"};
  return suffixes;
}

const std::vector<double>& BootstrapEstimates(const AnalysisRecord& record, std::size_t m) {
  if (m < kMeasureCount) return record.*kMeasures[m].estimate;
  return record.MalmquistSet.*kMalmquistMeasures[m - kMeasureCount].estimate;
}

const char* BootstrapRefusal(const AnalysisRecord& record) {
  const bool eachPeriod = record.TechChange == 1 && record.TechRegress == 1 && record.Window == 1;
  if (record.Malmquist == 1 && !eachPeriod)
    return "the bootstrap of the Malmquist index needs each period's own technology with a window of 1 "
           "(technical regress allowed)";
  if (record.TechChange != 0 && !eachPeriod)
    return "the bootstrap needs each period's own technology with a window of 1 (technical regress allowed) or "
           "no technical change";
  return nullptr;
}

void ComputeBootstrapReplicates(AnalysisRecord& record, WorkerPool& workers, uint64_t seed, uint32_t first,
                                uint32_t count, BootstrapValues& replicates) {
  const bool malmquist = record.Malmquist == 1;
  ConsolePrintf(" Computing the bootstrap: OTE, ITE%s, %u replicates \n", malmquist ? ", M, EC, TC" : "", count);
  const uint32_t NT = record.Observations, M = record.Outputs, K = record.Inputs;
  const std::size_t measures = BootstrapMeasureNames(malmquist).size();
  replicates.first = first;
  replicates.count = count;
  replicates.failed = 0;
  replicates.values.assign(measures, std::vector<double>(static_cast<std::size_t>(count) * NT, kMissing));

  std::vector<std::vector<SmoothingSample>> samples;  // [reference set][measure]
  for (const ReferenceRange& range : ReferenceSets(record)) {
    samples.emplace_back();
    for (const EfficiencyMeasure& measure : kMeasures) samples.back().push_back(PrepareSample(record, range, record.*measure.estimate));
  }
  std::vector<std::vector<PairSample>> pairs;  // [period t - 2][orientation]
  if (malmquist)
    for (uint32_t t = 2; t <= record.Periods; ++t)
      pairs.push_back({PreparePairSample(record, t, Orientation::kOutput),
                       PreparePairSample(record, t, Orientation::kInput)});

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
    const std::size_t slot = static_cast<std::size_t>(r) * NT;
    for (std::size_t k = 0; k < samples.size(); ++k) {
      for (std::size_t m = 0; m < kMeasureCount; ++m) {
        if (samples[k][m].members.empty()) continue;
        RandomStream stream(seed, b, k, m);
        EfficiencyReplicate(record, workspace, copies, state, samples[k][m], kMeasures[m], stream,
                            replicates.values[m].data() + slot, failed[r]);
      }
    }
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      for (std::size_t orientation = 0; orientation < 2; ++orientation) {
        if (pairs[k][orientation].members.empty()) continue;
        RandomStream stream(seed, b, k, kMeasureCount + orientation);
        const std::size_t m = kMeasureCount + 3 * orientation;
        double* const values[3] = {replicates.values[m].data() + slot, replicates.values[m + 1].data() + slot,
                                   replicates.values[m + 2].data() + slot};
        MalmquistReplicate(record, workspace, copies, state, pairs[k][orientation], stream, values, failed[r]);
      }
    }
    SetThreadTranscript(outer);
  }, &progress);

  for (WorkerState& state : states) FreeWorkingCopies(state.pseudo);
  FreeWorkingCopies(copies);
  for (uint64_t f : failed) replicates.failed += f;
}
