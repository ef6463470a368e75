// Set 6: the index numbers. Every index of observation o is its level
// divided by the same level of its comparison observation, which the earlier
// sets stored under the index of o, so the division is element by element.
// The six price indexes are plain quotients; the others are computed only
// when numerator and denominator are both present (not -9999), and dTech =
// TFP* / TFP*s only where dTFP and dTFPE are both present.

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "measures/AbsentObservations.h"
#include "measures/ComputationSets.h"
#include "measures/Observations.h"

namespace {

// numerator / denominator, or -9999 when either is missing.
double GuardedIndex(double numerator, double denominator) {
  if (Present(numerator) && Present(denominator)) return numerator / denominator;
  return kMissing;
}

}  // namespace

void ComputeSet6(AnalysisRecord& record) {
  ConsolePrintf(" Computing Set 6: Indexes \n");

  AnalysisRecord& r = record;
  for (uint32_t e = 0; e < r.Observations; ++e) {
    if (r.Prices) {
      r.dP[e] = r.P[e] / r.Ps[e];
      r.dW[e] = r.W[e] / r.Ws[e];
      r.dTT[e] = r.TT[e] / r.TTs[e];
      r.dRev[e] = r.Rev[e] / r.Revs[e];
      r.dCost[e] = r.Cost[e] / r.Costs[e];
      r.dProf[e] = r.Prof[e] / r.Profs[e];
    }
    r.dQ[e] = GuardedIndex(r.Q[e], r.Qs[e]);
    r.dX[e] = GuardedIndex(r.X[e], r.Xs[e]);
    r.dTFP[e] = GuardedIndex(r.dQ[e], r.dX[e]);
    r.dTFPE[e] = GuardedIndex(r.TFPE[e], r.TFPEs[e]);
    // TFP* and TFP*s are not tested themselves: dTech stands only beside a
    // dTFP and a dTFPE it decomposes.
    r.dTech[e] = kMissing;
    if (Present(r.dTFP[e]) && Present(r.dTFPE[e])) r.dTech[e] = r.TFPstar[e] / r.TFPstars[e];
    r.dOTE[e] = GuardedIndex(r.OTE[e], r.OTEs[e]);
    r.dOSE[e] = GuardedIndex(r.OSE[e], r.OSEs[e]);
    r.dOME[e] = GuardedIndex(r.OME[e], r.OMEs[e]);
    r.dROSE[e] = GuardedIndex(r.ROSE[e], r.ROSEs[e]);
    r.dOSME[e] = GuardedIndex(r.OSME[e], r.OSMEs[e]);
    r.dITE[e] = GuardedIndex(r.ITE[e], r.ITEs[e]);
    r.dISE[e] = GuardedIndex(r.ISE[e], r.ISEs[e]);
    r.dIME[e] = GuardedIndex(r.IME[e], r.IMEs[e]);
    r.dRISE[e] = GuardedIndex(r.RISE[e], r.RISEs[e]);
    r.dISME[e] = GuardedIndex(r.ISME[e], r.ISMEs[e]);
    r.dRME[e] = GuardedIndex(r.RME[e], r.RMEs[e]);
  }
  MarkAbsentValues(record);
}
