
#include "core/AnalysisRecord.h"
#include "input/InputFile.h"

namespace {

// A per-observation table: NT rows of `cols` values, ten rows and ten
// columns of spare capacity.
void CreateTable(Matrix& table, uint32_t observations, uint32_t cols) {
  table.Create(observations + 10, cols + 10, observations, cols);
}

}  // namespace

void SetUpProblem(AnalysisRecord& record, uint32_t firms, uint32_t periods, uint32_t outputs, uint32_t inputs) {
  record.Firms = firms;
  record.Periods = periods;
  record.Outputs = outputs;
  record.Inputs = inputs;
  record.Observations = firms * periods;
  const uint32_t NT = record.Observations;
  const uint32_t M = outputs;
  const uint32_t K = inputs;

  record.Id1.assign(NT, 0.0);
  record.Id2.assign(NT, 0.0);
  record.TfpMaxFlag.assign(NT, 0.0);
  record.IdHeading[0] = '\0';

  for (Matrix* table : {&record.pstar, &record.pstarit, &record.pstarhs, &record.alphait, &record.alphahs})
    CreateTable(*table, NT, M);
  for (Matrix* table : {&record.wstar, &record.wstarit, &record.wstarhs, &record.etait, &record.etahs})
    CreateTable(*table, NT, K);

  for (std::vector<double>* v : {&record.OutputMeans, &record.OutputPriceMeans, &record.q0,
                                 &record.LoweOutputWeights, &record.CurrentOutputWeights, &record.alpha0,
                                 &record.pstar0, &record.phi0})
    v->assign(M, 0.0);
  for (std::vector<double>* v : {&record.InputMeans, &record.InputPriceMeans, &record.x0, &record.LoweInputWeights,
                                 &record.CurrentInputWeights, &record.beta0, &record.eta0, &record.wstar0})
    v->assign(K, 0.0);
  record.gamma0 = 0.0;
  record.delta0 = 0.0;
  record.DI000 = 0.0;
  record.DO000 = 0.0;

  for (ObservationVector* v :
       {&record.P,      &record.W,      &record.TT,       &record.Rev,    &record.Cost,   &record.Prof,
        &record.Q,      &record.X,      &record.TFP,      &record.TFPstar, &record.TFPE,  &record.OTE,
        &record.OSE,    &record.OME,    &record.ROSE,     &record.OSME,   &record.ITE,    &record.ISE,
        &record.IME,    &record.RISE,   &record.ISME,     &record.RME,    &record.Ps,     &record.Ws,
        &record.TTs,    &record.Revs,   &record.Costs,    &record.Profs,  &record.Qs,     &record.Xs,
        &record.TFPs,   &record.TFPstars, &record.TFPEs,  &record.OTEs,   &record.OSEs,   &record.OMEs,
        &record.ROSEs,  &record.OSMEs,  &record.ITEs,     &record.ISEs,   &record.IMEs,   &record.RISEs,
        &record.ISMEs,  &record.RMEs,   &record.dP,       &record.dW,     &record.dTT,    &record.dRev,
        &record.dCost,  &record.dProf,  &record.dQ,       &record.dX,     &record.dTFP,   &record.dTech,
        &record.dTFPE,  &record.dOTE,   &record.dOSE,     &record.dOME,   &record.dROSE,  &record.dOSME,
        &record.dITE,   &record.dISE,   &record.dIME,     &record.dRISE,  &record.dISME,  &record.dRME,
        &record.QHATs,  &record.QHATt,  &record.QBARs,    &record.QBARt,  &record.XHATs,  &record.XHATt,
        &record.XBARs,  &record.XBARt,  &record.FirstPassQs, &record.FirstPassQ, &record.FirstPassXs,
        &record.FirstPassX, &record.DIttt, &record.DItss, &record.DIstt,  &record.DOttt,  &record.DOsts,
        &record.DOtst,  &record.HIttt,  &record.HOttt})
    v->assign(NT, 0.0);
}
