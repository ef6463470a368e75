#pragma once
// Peers, slacks and targets of Set 1's D programs (asked for with Peers).
//
// First stage: the multiplier program of DOttt (DIttt) for observation o is
// the dual of the envelopment program
//   output:  max phi    s.t.  sum_j lambda_j y_j >= phi y_o,  sum_j lambda_j x_j <= x_o
//   input:   min theta  s.t.  sum_j lambda_j y_j >= y_o,      sum_j lambda_j x_j <= theta x_o
// (lambda >= 0 over the reference set, sum_j lambda_j = 1 under variable
// returns to scale), phi = 1 / DOttt, theta = 1 / DIttt. Its lambdas are the
// dual values of the multiplier program's reference rows, read from the final
// tableau of the program Set 1 solved (lp/LPProblem.h RowDuals): no program
// more, and Set 1's values are those of a run without peers.
//
// Second stage, one program per observation and orientation: the envelopment
// program with the distance fixed at the first stage's, over the reference
// observations whose multiplier row is tight at the first stage's optimum
// (by complementary slackness every optimal envelopment solution at that
// distance uses only those; the first stage's lambdas among them),
//   rows m:   sum_j lambda_j y_jm - s+_m = phi y_om   (output)  or  y_om         (input)
//   rows k:   sum_j lambda_j x_jk + s-_k = x_ok       (output)  or  theta x_ok   (input)
//   (VRS)     sum_j lambda_j = 1
//   maximise  sum_m s+_m / y_om + sum_k s-_k / x_ok,
// each slack weighed by 1 over the observation's own quantity (1 where that
// is 0), so that the slacks found do not depend on the units. The targets are
// the radial projection moved by the slacks: phi y_o + s+ and x_o - s-
// (output), y_o + s+ and theta x_o - s- (input); with UnitMeans slacks and
// targets are given back in the units of the data as given. The program is
// solved in the lambdas alone, the slacks being its rows' surplus and slack
// (Peers.cpp). A second stage that fails leaves lambda2 and the targets
// missing and is named in the error log ("Determining slacks of DOttt, Obs n").

#include <cstdint>

#include "core/AnalysisRecord.h"

class LPProblem;
class WorkerPool;
struct ReferenceRange;

// A lambda at or below this counts as zero: a nonbasic slack whose reduced
// cost is rounding noise names no peer.
constexpr double kPeerLambdaFloor = 1e-9;
// A multiplier row whose slack is at most this holds with equality (a basic
// slack at a degenerate vertex is rounding away from 0).
constexpr double kTightRowSlack = 1e-9;

// Sizes the peers' storage for the record's observations (before Set 1).
void PreparePeers(AnalysisRecord& record);

// Keeps the lambdas of the D program of observation o just solved in
// `problem` against `range`, and its tight rows; nothing when its distance
// is missing. `duals` is the caller's scratch.
void StoreFirstStagePeers(const AnalysisRecord& record, AnalysisRecord::OrientationPeers& peers, uint32_t o,
                          const LPProblem& problem,
                          ReferenceRange range, double distance, std::vector<double>& duals);

// The second stage of every observation and orientation (after Set 1).
void ComputePeers(AnalysisRecord& record, WorkerPool& workers);
