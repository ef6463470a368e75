#include "measures/AbsentObservations.h"

#include <initializer_list>

namespace {

using Vector = ObservationVector AnalysisRecord::*;
using Table = Matrix AnalysisRecord::*;

// The values stored under the index of o for its comparison observation,
// and the index numbers formed with them.
const std::initializer_list<Vector> kComparisonVectors = {
    &AnalysisRecord::Ps,     &AnalysisRecord::Ws,    &AnalysisRecord::TTs,   &AnalysisRecord::Revs,
    &AnalysisRecord::Costs,  &AnalysisRecord::Profs, &AnalysisRecord::Qs,    &AnalysisRecord::Xs,
    &AnalysisRecord::TFPs,   &AnalysisRecord::TFPstars, &AnalysisRecord::TFPEs, &AnalysisRecord::OTEs,
    &AnalysisRecord::OSEs,   &AnalysisRecord::OMEs,  &AnalysisRecord::ROSEs, &AnalysisRecord::OSMEs,
    &AnalysisRecord::ITEs,   &AnalysisRecord::ISEs,  &AnalysisRecord::IMEs,  &AnalysisRecord::RISEs,
    &AnalysisRecord::ISMEs,  &AnalysisRecord::RMEs,  &AnalysisRecord::dP,    &AnalysisRecord::dW,
    &AnalysisRecord::dTT,    &AnalysisRecord::dRev,  &AnalysisRecord::dCost, &AnalysisRecord::dProf,
    &AnalysisRecord::dQ,     &AnalysisRecord::dX,    &AnalysisRecord::dTFP,  &AnalysisRecord::dTech,
    &AnalysisRecord::dTFPE,  &AnalysisRecord::dOTE,  &AnalysisRecord::dOSE,  &AnalysisRecord::dOME,
    &AnalysisRecord::dROSE,  &AnalysisRecord::dOSME, &AnalysisRecord::dITE,  &AnalysisRecord::dISE,
    &AnalysisRecord::dIME,   &AnalysisRecord::dRISE, &AnalysisRecord::dISME, &AnalysisRecord::dRME,
    &AnalysisRecord::QHATs,  &AnalysisRecord::QBARs, &AnalysisRecord::XHATs, &AnalysisRecord::XBARs,
    &AnalysisRecord::FirstPassQs, &AnalysisRecord::FirstPassXs};

// The observation's own values.
const std::initializer_list<Vector> kOwnVectors = {
    &AnalysisRecord::P,     &AnalysisRecord::W,     &AnalysisRecord::TT,      &AnalysisRecord::Rev,
    &AnalysisRecord::Cost,  &AnalysisRecord::Prof,  &AnalysisRecord::Q,       &AnalysisRecord::X,
    &AnalysisRecord::TFP,   &AnalysisRecord::TFPstar, &AnalysisRecord::TFPE,  &AnalysisRecord::OTE,
    &AnalysisRecord::OSE,   &AnalysisRecord::OME,   &AnalysisRecord::ROSE,    &AnalysisRecord::OSME,
    &AnalysisRecord::ITE,   &AnalysisRecord::ISE,   &AnalysisRecord::IME,     &AnalysisRecord::RISE,
    &AnalysisRecord::ISME,  &AnalysisRecord::RME,   &AnalysisRecord::QHATt,   &AnalysisRecord::QBARt,
    &AnalysisRecord::XHATt, &AnalysisRecord::XBARt, &AnalysisRecord::FirstPassQ, &AnalysisRecord::FirstPassX,
    &AnalysisRecord::DIttt, &AnalysisRecord::DItss, &AnalysisRecord::DIstt,   &AnalysisRecord::DOttt,
    &AnalysisRecord::DOsts, &AnalysisRecord::DOtst, &AnalysisRecord::HIttt,   &AnalysisRecord::HOttt};

const std::initializer_list<Table> kWeightTables = {
    &AnalysisRecord::pstar,   &AnalysisRecord::pstarit, &AnalysisRecord::pstarhs, &AnalysisRecord::wstar,
    &AnalysisRecord::wstarit, &AnalysisRecord::wstarhs, &AnalysisRecord::alphait, &AnalysisRecord::alphahs,
    &AnalysisRecord::etait,   &AnalysisRecord::etahs};

void MarkMissing(AnalysisRecord& record, std::initializer_list<Vector> vectors, uint32_t o) {
  for (Vector v : vectors) (record.*v)[o - 1] = kMissing;
}

}  // namespace

void MarkAbsentValues(AnalysisRecord& record) {
  if (record.Absent.empty()) return;
  const bool chained = record.IsChained();
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    if (record.IsAbsent(o)) {
      MarkMissing(record, kOwnVectors, o);
      MarkMissing(record, kComparisonVectors, o);
      record.TfpMaxFlag[o - 1] = 0.0;
      for (Table table : kWeightTables) {
        Matrix& m = record.*table;
        for (uint32_t c = 0; c < m.m_NumCols; ++c) m.SetValue(o - 1, c, kMissing);
      }
    } else if (chained && LacksComparison(record, o)) {
      MarkMissing(record, kComparisonVectors, o);
    }
  }
}
