// Set 5: the components of TFP efficiency, computed from stored levels only.
//
// For every observation o, and under the index of o for its comparison
// observation (the "s" values):
//   TFPE = TFP / TFP*             OME  = QBARt / QHATt     IME  = XHATt / XBARt
//   ROSE = QHATt / X / TFP*       RISE = Q / XHATt / TFP*
//   OSME = OME x ROSE             ISME = IME x RISE
//   RME  = QBARt / X / OSE / TFP*
// Each is computed only when none of its operands is the missing marker and
// otherwise stays -9999; quotients are taken left to right. With prices the
// price levels P = Rev / Q, W = Cost / X, TT = P / W and Prof = Rev / Cost
// are plain quotients, unguarded.

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "measures/AbsentObservations.h"
#include "measures/ComputationSets.h"
#include "measures/Observations.h"

namespace {

// The eight component vectors of one side: the observation's own levels or
// the comparison-observation values stored under its index.
struct Components {
  ObservationVector& TFPE;
  ObservationVector& OME;
  ObservationVector& OSME;
  ObservationVector& ROSE;
  ObservationVector& IME;
  ObservationVector& ISME;
  ObservationVector& RISE;
  ObservationVector& RME;
};

// The stored levels the components of one side are formed from.
struct Operands {
  const ObservationVector& TFP;
  const ObservationVector& TFPstar;
  const ObservationVector& Q;
  const ObservationVector& X;
  const ObservationVector& QBAR;
  const ObservationVector& XBAR;
  const ObservationVector& QHAT;
  const ObservationVector& XHAT;
  const ObservationVector& OSE;
};

void ComputeComponents(const Operands& in, const Components& out, uint32_t o) {
  const uint32_t e = o - 1;
  out.TFPE[e] = kMissing;
  out.OME[e] = kMissing;
  out.OSME[e] = kMissing;
  out.ROSE[e] = kMissing;
  out.IME[e] = kMissing;
  out.ISME[e] = kMissing;
  out.RISE[e] = kMissing;
  out.RME[e] = kMissing;

  if (Present(in.TFP[e]) && Present(in.TFPstar[e])) out.TFPE[e] = in.TFP[e] / in.TFPstar[e];
  if (Present(in.QBAR[e]) && Present(in.QHAT[e])) out.OME[e] = in.QBAR[e] / in.QHAT[e];
  if (Present(in.XHAT[e]) && Present(in.XBAR[e])) out.IME[e] = in.XHAT[e] / in.XBAR[e];
  if (Present(in.QHAT[e]) && Present(in.X[e]) && Present(in.TFPstar[e]))
    out.ROSE[e] = in.QHAT[e] / in.X[e] / in.TFPstar[e];
  if (Present(in.Q[e]) && Present(in.XHAT[e]) && Present(in.TFPstar[e]))
    out.RISE[e] = in.Q[e] / in.XHAT[e] / in.TFPstar[e];
  if (Present(out.OME[e]) && Present(out.ROSE[e])) out.OSME[e] = out.OME[e] * out.ROSE[e];
  if (Present(out.IME[e]) && Present(out.RISE[e])) out.ISME[e] = out.IME[e] * out.RISE[e];
  if (Present(in.QBAR[e]) && Present(in.X[e]) && Present(in.OSE[e]) && Present(in.TFPstar[e]))
    out.RME[e] = in.QBAR[e] / in.X[e] / in.OSE[e] / in.TFPstar[e];
}

}  // namespace

void ComputeSet5(AnalysisRecord& record) {
  ConsolePrintf(" Computing Set 5: TFPE, OME, ROSE, OSME, IME, RISE, ISME, RME \n");

  AnalysisRecord& r = record;
  const uint32_t N = r.Firms;
  const uint32_t T = r.Periods;
  const uint32_t NT = r.Observations;
  const bool chained = r.IsChained();

  const Operands own{r.TFP, r.TFPstar, r.Q, r.X, r.QBARt, r.XBARt, r.QHATt, r.XHATt, r.OSE};
  const Components ownOut{r.TFPE, r.OME, r.OSME, r.ROSE, r.IME, r.ISME, r.RISE, r.RME};
  const Operands comparison{r.TFPs, r.TFPstars, r.Qs, r.Xs, r.QBARs, r.XBARs, r.QHATs, r.XHATs, r.OSEs};
  const Components comparisonOut{r.TFPEs, r.OMEs, r.OSMEs, r.ROSEs, r.IMEs, r.ISMEs, r.RISEs, r.RMEs};

  for (uint32_t t = 1; t <= T; ++t) {
    for (uint32_t i = 1; i <= N; ++i) {
      const uint32_t o = N * (t - 1) + i;
      const uint32_t e = o - 1;
      if (r.IsAbsent(o)) continue;
      if (r.Prices) {
        r.P[e] = r.Rev[e] / r.Q[e];
        r.W[e] = r.Cost[e] / r.X[e];
        r.TT[e] = r.P[e] / r.W[e];
        r.Prof[e] = r.Rev[e] / r.Cost[e];
        r.Ps[e] = r.Revs[e] / r.Qs[e];
        r.Ws[e] = r.Costs[e] / r.Xs[e];
        r.TTs[e] = r.Ps[e] / r.Ws[e];
        r.Profs[e] = r.Revs[e] / r.Costs[e];
      }
      ComputeComponents(own, ownOut, o);
      if (chained) {
        r.Base = ChainedComparison(r, o);
        ComputeComponents(comparison, comparisonOut, o);
      }
    }
  }

  // The fixed base's own measures are final only now.
  if (r.IsFixedBase()) {
    const uint32_t b = r.Base - 1;
    for (uint32_t k = 0; k < NT; ++k) {
      r.TFPEs[k] = r.TFPE[b];
      r.OMEs[k] = r.OME[b];
      r.ROSEs[k] = r.ROSE[b];
      r.OSMEs[k] = r.OSME[b];
      r.IMEs[k] = r.IME[b];
      r.RISEs[k] = r.RISE[b];
      r.ISMEs[k] = r.ISME[b];
      r.RMEs[k] = r.RME[b];
    }
  }
}
