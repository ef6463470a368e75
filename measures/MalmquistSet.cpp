// The Malmquist set: the Malmquist productivity index of every observation o
// (firm i in period t) whose firm is also observed in period s = t - 1, and
// its split into efficiency change and technical change, in both
// orientations.
//
// D^r(x, y) is the Shephard distance of (x, y) to the technology of period r
// (its reference set, ReferenceSet.h). The own-period distances are Set 1's:
// D^s(x_s, y_s) is DOttt (DIttt) of o - N, D^t(x_t, y_t) that of o. The two
// cross-period ones are the multiplier programs of Set 1 posed against the
// other period's reference set (MultiplierProgram.h):
//   DOtts = D^s_O(x_t, y_t)  normalisation u.y_t = 1, objective -v.x_t - w
//   DOsst = D^t_O(x_s, y_s)  normalisation u.y_s = 1, objective -v.x_s - w
//   DItts = D^s_I(x_t, y_t)  normalisation v.x_t = 1, objective  u.y_t - w
//   DIsst = D^t_I(x_s, y_s)  normalisation v.x_s = 1, objective  u.y_s - w
// under the run's returns to scale, and HOtts, HOsst, HItts, HIsst the same
// without the intercept (constant returns; under constant returns H = D).
//
//   M_O = [DOtts / DOsss x DOttt / DOsst]^(1/2),  EC_O = DOttt / DOsss
//   M_I = [DIsss / DItts x DIsst / DIttt]^(1/2),  EC_I = DIsss / DIttt
//   TC = M / EC
// and, unless returns to scale are constant, the same from the H distances
// (M_O_crs, EC_O_crs, TC_O_crs and the input ones), PEC = EC (the run's
// returns) and SEC = EC_crs / PEC. Every index above 1 is growth.
//
// A cross-period program can have no bounded optimum when its observation
// lies outside the other period's technology (under variable returns, say,
// inputs smaller than every reference combination's): its multiplier program
// is unbounded. That is the data's answer, not a failed program: its
// distance is -9999 and counted in MalmquistSet.outside, the solver prints
// and logs nothing for it. Every value that depends on a missing one is
// -9999.

#include <cmath>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "lp/LPProblem.h"
#include "lp/WorkerPool.h"
#include "measures/ComputationSets.h"
#include "measures/MultiplierProgram.h"
#include "measures/Observations.h"
#include "measures/ReferenceSet.h"
#include "measures/WorkingCopies.h"

namespace {

using Values = AnalysisRecord::MalmquistValues;

// Whether firm `firm` (1-based) is observed both in `period` (1-based) and
// in the period before: the index compares the two observations.
bool FirmObserved(const AnalysisRecord& record, uint32_t firm, uint32_t period) {
  if (firm < 1 || firm > record.Firms || period < 2 || period > record.Periods) return false;
  const uint32_t o = record.Firms * (period - 1) + firm;
  return !record.IsAbsent(o) && !record.IsAbsent(o - record.Firms);
}

// a / b, or -9999 when either is missing.
double Ratio(double a, double b) { return Present(a) && Present(b) ? a / b : kMissing; }

// [a x b]^(1/2), or -9999 when either is missing.
double GeometricMean(double a, double b) { return Present(a) && Present(b) ? std::sqrt(a * b) : kMissing; }

// One cross-period distance: the multiplier program of (normalisation,
// objective quantities) against `range`, once under the run's returns to
// scale (D) and, unless they are constant, once without the intercept (H).
struct CrossProgram {
  Orientation orientation;
  const char* dLabel;
  const char* hLabel;
  ObservationVector Values::*d;
  ObservationVector Values::*h;
};

// Solves one program; an unbounded one is counted in `outside`.
double SolveCross(const AnalysisRecord& record, LPWorkspace& workspace, ReferenceRange range,
                  Orientation orientation, bool withoutIntercept, const char* label, uint32_t o, uint32_t& outside) {
  LabelProgram(record, label, static_cast<int>(o));
  workspace.Problem.m_UnboundedIsAnswer = true;
  const double distance = SolveMultiplierProgram(record, workspace, range, orientation, withoutIntercept);
  workspace.Problem.m_UnboundedIsAnswer = false;
  if (workspace.Problem.m_ResultCode == kLPUnbounded) ++outside;
  return distance;
}

// The cross-period programs of one stage for every observation of periods
// 2..T: against the previous period's technology with the observation's own
// quantities (tts), or against the observation's own period's technology
// with the previous period's quantities (sst).
void SolveCrossStage(AnalysisRecord& record, WorkerPool& workers, WorkingCopies& copies, bool previousTechnology,
                     std::vector<uint32_t>& outside, SetProgress& progress) {
  const uint32_t N = record.Firms, T = record.Periods, M = record.Outputs, K = record.Inputs;
  const bool vrs = record.Vrs != 0;
  Values& values = record.MalmquistSet;
  const CrossProgram output = previousTechnology
                                  ? CrossProgram{Orientation::kOutput, "Determining DOtts, Obs %d ",
                                                 "Determining HOtts, Obs %d ", &Values::DOtts, &Values::HOtts}
                                  : CrossProgram{Orientation::kOutput, "Determining DOsst, Obs %d ",
                                                 "Determining HOsst, Obs %d ", &Values::DOsst, &Values::HOsst};
  const CrossProgram input = previousTechnology
                                 ? CrossProgram{Orientation::kInput, "Determining DItts, Obs %d ",
                                                "Determining HItts, Obs %d ", &Values::DItts, &Values::HItts}
                                 : CrossProgram{Orientation::kInput, "Determining DIsst, Obs %d ",
                                                "Determining HIsst, Obs %d ", &Values::DIsst, &Values::HIsst};

  struct WorkerState {
    std::vector<double> y, x;
    ReferenceRowsInPlace referenceRows;
  };
  std::vector<WorkerState> states(workers.Size(), WorkerState{std::vector<double>(M), std::vector<double>(K), {}});
  for (uint32_t t = 2; t <= T; ++t) {
    const ReferenceRange range = ReferenceSetOfPeriod(record, previousTechnology ? t - 1 : t);
    workers.Run(N, [&](uint32_t index, unsigned worker) {
      const uint32_t i = index + 1;
      const uint32_t o = N * (t - 1) + i;
      if (!FirmObserved(record, i, t)) return;
      LPWorkspace& workspace = workers.Workspace(worker);
      WorkerState& state = states[worker];
      // The quantities measured: o's own (tts) or its previous period's (sst).
      const uint32_t measured = previousTechnology ? o : o - N;
      ReadObservationRow(copies.outputs, measured, M, state.y.data());
      ReadObservationRow(copies.inputs, measured, K, state.x.data());
      for (const CrossProgram* program : {&output, &input}) {
        const bool isOutput = program->orientation == Orientation::kOutput;
        const double* normalisation = isOutput ? state.y.data() : state.x.data();
        const double* objective = isOutput ? state.x.data() : state.y.data();
        BuildMultiplierProgram(record, workspace, copies.outputs, copies.inputs, range, program->orientation,
                               normalisation, objective, &state.referenceRows);
        const double d = SolveCross(record, workspace, range, program->orientation, !vrs, program->dLabel, o,
                                    outside[o - 1]);
        At(values.*(program->d), o) = d;
        At(values.*(program->h), o) =
            vrs ? SolveCross(record, workspace, range, program->orientation, true, program->hLabel, o, outside[o - 1])
                : d;
      }
    }, &progress);
  }
}

// The indexes of observation o from its eight (or, under constant returns,
// four) distances.
void ComputeIndexes(Values& v, uint32_t o, bool vrs) {
  const uint32_t e = o - 1;
  v.M_O[e] = GeometricMean(Ratio(v.DOtts[e], v.DOsss[e]), Ratio(v.DOttt[e], v.DOsst[e]));
  v.EC_O[e] = Ratio(v.DOttt[e], v.DOsss[e]);
  v.TC_O[e] = Ratio(v.M_O[e], v.EC_O[e]);
  v.M_I[e] = GeometricMean(Ratio(v.DIsss[e], v.DItts[e]), Ratio(v.DIsst[e], v.DIttt[e]));
  v.EC_I[e] = Ratio(v.DIsss[e], v.DIttt[e]);
  v.TC_I[e] = Ratio(v.M_I[e], v.EC_I[e]);
  if (!vrs) return;
  v.M_O_crs[e] = GeometricMean(Ratio(v.HOtts[e], v.HOsss[e]), Ratio(v.HOttt[e], v.HOsst[e]));
  v.EC_O_crs[e] = Ratio(v.HOttt[e], v.HOsss[e]);
  v.TC_O_crs[e] = Ratio(v.M_O_crs[e], v.EC_O_crs[e]);
  v.PEC_O[e] = v.EC_O[e];
  v.SEC_O[e] = Ratio(v.EC_O_crs[e], v.PEC_O[e]);
  v.M_I_crs[e] = GeometricMean(Ratio(v.HIsss[e], v.HItts[e]), Ratio(v.HIsst[e], v.HIttt[e]));
  v.EC_I_crs[e] = Ratio(v.HIsss[e], v.HIttt[e]);
  v.TC_I_crs[e] = Ratio(v.M_I_crs[e], v.EC_I_crs[e]);
  v.PEC_I[e] = v.EC_I[e];
  v.SEC_I[e] = Ratio(v.EC_I_crs[e], v.PEC_I[e]);
}

}  // namespace

void ComputeMalmquistSet(AnalysisRecord& record, WorkerPool& workers) {
  ConsolePrintf(" Computing the Malmquist index: M, EC, TC \n");

  const uint32_t N = record.Firms, T = record.Periods, NT = record.Observations;
  const bool vrs = record.Vrs != 0;
  Values& v = record.MalmquistSet;
  for (ObservationVector Values::*column :
       {&Values::DOsss, &Values::DOtts, &Values::DOsst, &Values::DOttt, &Values::M_O, &Values::EC_O, &Values::TC_O,
        &Values::DIsss, &Values::DItts, &Values::DIsst, &Values::DIttt, &Values::M_I, &Values::EC_I, &Values::TC_I,
        &Values::HOsss, &Values::HOtts, &Values::HOsst, &Values::HOttt, &Values::M_O_crs, &Values::EC_O_crs,
        &Values::TC_O_crs, &Values::PEC_O, &Values::SEC_O, &Values::HIsss, &Values::HItts, &Values::HIsst,
        &Values::HIttt, &Values::M_I_crs, &Values::EC_I_crs, &Values::TC_I_crs, &Values::PEC_I, &Values::SEC_I})
    (v.*column).assign(NT, kMissing);
  v.outside = 0;

  WorkingCopies copies;
  CreateWorkingCopies(record, copies, false);
  std::vector<uint32_t> outside(NT, 0);
  SetProgress progress(7, NT > N ? 2 * static_cast<uint64_t>(NT - N) : 0);
  SolveCrossStage(record, workers, copies, true, outside, progress);
  SolveCrossStage(record, workers, copies, false, outside, progress);
  FreeWorkingCopies(copies);

  for (uint32_t t = 2; t <= T; ++t) {
    for (uint32_t i = 1; i <= N; ++i) {
      if (!FirmObserved(record, i, t)) continue;
      const uint32_t o = N * (t - 1) + i, e = o - 1, b = o - N - 1;
      v.DOsss[e] = record.DOttt[b];
      v.DOttt[e] = record.DOttt[e];
      v.DIsss[e] = record.DIttt[b];
      v.DIttt[e] = record.DIttt[e];
      v.HOsss[e] = record.HOttt[b];
      v.HOttt[e] = record.HOttt[e];
      v.HIsss[e] = record.HIttt[b];
      v.HIttt[e] = record.HIttt[e];
      ComputeIndexes(v, o, vrs);
      v.outside += outside[e];
    }
  }
}
