#pragma once
// The single record of a run: configuration read from the command section,
// the data, every intermediate and final result of the six computation sets,
// the error log and the outcomes of the run's linear programs. The programs
// are built and solved in the workers' own workspaces (lp/Workspace.h).
//
// Notation: N = Firms, T = Periods, M = Outputs, K = Inputs, NT = N x T.
// Observation o = N x (t - 1) + i is firm i in period t; an observation
// vector holds NT doubles, entry o - 1 belonging to observation o. Vectors
// whose names end in "s" hold, under the index of o, the value of o's
// comparison observation. -9999 marks a value that could not be computed.

#include <cstdint>
#include <vector>

#include "core/Transcript.h"
#include "lp/Matrix.h"

class ErrorLog;

// Marks a value that could not be computed; tested by exact comparison.
constexpr double kMissing = -9999.0;

// The values of AnalysisRecord::ScaleBound.
constexpr int kFreeScale = 0;
constexpr int kNonIncreasing = 1;
constexpr int kNonDecreasing = 2;

using ObservationVector = std::vector<double>;

struct AnalysisRecord {
  // Configuration (command section).
  int TechRegress = 1;
  int TechChange = 1;
  int Vrs = 1;
  // With Vrs = 1, the bound on the reference combinations' sum of lambda:
  // kFreeScale (variable returns), kNonIncreasing (<= 1) or kNonDecreasing
  // (>= 1). The NIRS and NDRS commands set it; CRS and VRS clear it.
  int ScaleBound = 0;
  int Prices = 0;
  int UnitMeans = 0;
  int Laspeyres = 0;
  int Paasche = 0;
  int Fisher = 0;
  int Lowe = 0;
  int MalmquistHs = 0;
  int MalmquistIt = 0;
  int HicksMoorsteen = 0;
  int FarePrimont = 0;
  uint32_t Firms = 0;
  uint32_t Periods = 0;
  uint32_t Outputs = 0;
  uint32_t Inputs = 0;
  uint32_t Base = 1;
  uint32_t Window = 1;
  uint32_t Observations = 0;
  uint32_t RefCount = 0;
  uint32_t RefLast = 0;
  uint32_t RefFirst = 0;
  // Set by the run's front end, not by the input file: 1 adds the Malmquist
  // set (measures/MalmquistSet.cpp) and its file.
  int Malmquist = 0;
  // Set by the run's front end, not by the input file: 1 turns off the
  // second solve of programs the first solve gets wrong (lp/RescaledSolve.h),
  // so that every program gives what earlier versions gave.
  int SingleSolve = 0;
  // Set by the front end: 1 keeps the peers of Set 1's DOttt and DIttt
  // programs and solves the second stage of their slacks (measures/Peers.h).
  int Peers = 0;

  // Observations the panel lacks: 1 for an absent one, entry o - 1 for
  // observation o; empty when every observation is present. An absent
  // observation is in no reference set, poses no program and every value of
  // it is -9999.
  std::vector<char> Absent;

  // Data.
  char IdHeading[80] = {0};
  Matrix Data;
  ObservationVector Id1, Id2, TfpMaxFlag;

  // Weights and shadow prices per observation (NT x M or NT x K).
  Matrix pstar, pstarit, pstarhs;
  Matrix wstar, wstarit, wstarhs;
  Matrix alphait, alphahs;
  Matrix etait, etahs;

  // Vectors of length M or K, and scalars.
  std::vector<double> OutputMeans, OutputPriceMeans;
  std::vector<double> InputMeans, InputPriceMeans;
  std::vector<double> q0, LoweOutputWeights;
  std::vector<double> x0, LoweInputWeights;
  std::vector<double> CurrentOutputWeights, CurrentInputWeights;
  std::vector<double> alpha0, beta0;
  double gamma0 = 0.0;
  std::vector<double> pstar0, phi0, eta0;
  double delta0 = 0.0;
  std::vector<double> wstar0;

  // Levels of each observation.
  ObservationVector P, W, TT, Rev, Cost, Prof, Q, X, TFP, TFPstar, TFPE, OTE, OSE, OME, ROSE, OSME, ITE, ISE,
      IME, RISE, ISME, RME;
  // The same measures of the comparison observation.
  ObservationVector Ps, Ws, TTs, Revs, Costs, Profs, Qs, Xs, TFPs, TFPstars, TFPEs, OTEs, OSEs, OMEs, ROSEs,
      OSMEs, ITEs, ISEs, IMEs, RISEs, ISMEs, RMEs;
  // Index numbers.
  ObservationVector dP, dW, dTT, dRev, dCost, dProf, dQ, dX, dTFP, dTech, dTFPE, dOTE, dOSE, dOME, dROSE, dOSME,
      dITE, dISE, dIME, dRISE, dISME, dRME;
  // Aggregates of Sets 2 and 3.
  ObservationVector QHATs, QHATt, QBARs, QBARt, XHATs, XHATt, XBARs, XBARt;
  // First-pass scratch of the two-pass families (Fisher, Hicks-Moorsteen):
  // comparison output, own output, comparison input, own input.
  ObservationVector FirstPassQs, FirstPassQ, FirstPassXs, FirstPassX;
  // Distance-function values.
  ObservationVector DIttt, DItss, DIstt;
  double DI000 = 0.0;
  ObservationVector DOttt, DOsts, DOtst;
  double DO000 = 0.0;
  ObservationVector HIttt, HOttt;

  // The Malmquist set (with Malmquist = 1): the four distances of each
  // orientation, under the run's returns to scale (D) and under constant
  // returns (H), and the indexes built on them; sss is the previous-period
  // observation against its own technology, tts the observation against the
  // previous period's, sst the previous-period observation against the
  // observation's own period's. Every entry of a first-period observation,
  // and every value that could not be computed, is -9999.
  struct MalmquistValues {
    ObservationVector DOsss, DOtts, DOsst, DOttt, M_O, EC_O, TC_O;
    ObservationVector DIsss, DItts, DIsst, DIttt, M_I, EC_I, TC_I;
    ObservationVector HOsss, HOtts, HOsst, HOttt, M_O_crs, EC_O_crs, TC_O_crs, PEC_O, SEC_O;
    ObservationVector HIsss, HItts, HIsst, HIttt, M_I_crs, EC_I_crs, TC_I_crs, PEC_I, SEC_I;
    // Cross-period distances missing because their observation lies outside
    // the other period's technology (not failed programs).
    uint64_t outside = 0;
  } MalmquistSet;
  // With Peers: for each orientation (output, input) of Set 1's D program.
  struct PeerWeight {
    uint32_t observation;  // the reference observation, 1-based
    double lambda;         // its weight
  };
  struct OrientationPeers {
    // Per observation (entry o - 1): the positive lambdas of the first stage
    // and of the second stage, by observation number; empty where the stage
    // failed.
    std::vector<std::vector<PeerWeight>> lambda, lambda2;
    // Per observation: the reference observations whose row of the first
    // stage's program holds with equality, the only ones an optimal
    // envelopment solution at that distance can use.
    std::vector<std::vector<uint32_t>> tight;
    // NT x M and NT x K, row-major, in the units of the data as given:
    // slacks and targets, kMissing where a stage failed.
    std::vector<double> outputSlacks, inputSlacks, outputTargets, inputTargets;
    // 1 where the second stage was solved.
    std::vector<char> solved;
  };
  OrientationPeers OutputPeers, InputPeers;
  // The divisor of each output and input column under UnitMeans (the means
  // of the data as given); empty without it.
  std::vector<double> OutputScales, InputScales;

  ErrorLog* Log = nullptr;

  // Outcomes of every linear program of the run, in program order.
  ProgramTally Tally;

  // True for the families that compare firm i in period t with period t-1,
  // and for those that compare every observation with Base (core/Families.h).
  bool IsChained() const;
  bool IsFixedBase() const;

  // Whether observation o (1-based) is absent from the panel.
  bool IsAbsent(uint32_t o) const { return o >= 1 && o <= Absent.size() && Absent[o - 1] != 0; }
};
