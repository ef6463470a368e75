#pragma once
// The smoothing of the bootstrap (measures/BootstrapSet.cpp): the samples
// of estimates each reference set resamples and the draws of one replicate.
//
// Univariate (the efficiencies, one reference set and measure): the
// reflected sample z = {theta_i, 2 - theta_i} of the n estimates, its sample
// standard deviation s and interquartile range (type-7 quantiles), the
// bandwidth h = 0.9 min(s, IQR / 1.34) (2n)^(-1/5); a replicate draws beta_i
// from z with replacement and e_i standard normal, and t_i = beta-bar +
// (beta_i + h e_i - beta-bar) / sqrt(1 + h^2 / s^2), reflected to 2 - t_i
// where t_i > 1. A t_i outside (0, 2) (a large normal draw) is not cut
// back: e_i is drawn again from the same stream until t_i lies in (0, 2),
// so every value lies in (0, 1]; a floor at a small number gave pseudo
// inputs thousands of times the observed ones and standard errors without
// meaning. With h = 0 (s = 0: every estimate 1; or IQR = 0) there is no
// smoothing and no variance correction (h^2 / s^2 would be 0 / 0): t_i =
// beta_i, reflected.
//
// Bivariate (the Malmquist index, Simar and Wilson 1999; a pair of periods
// s = t - 1, t and an orientation): the pairs (theta_i^s, theta_i^t) of the
// firms observed in both with both estimates, reflected in either
// coordinate (4n pairs); the kernel is the bivariate normal with the pairs'
// sample covariance S (its covariance negated for a pair reflected in one
// coordinate only, whose correlation the reflection turns round), the
// bandwidth h = (4 / (5n))^(1/6) and the variance correction
// 1 / sqrt(1 + h^2); e is drawn again while a coordinate lies outside
// (0, 2), and each coordinate above 1 is reflected.
//
// The draws of a replicate come from the stream given, in a fixed order:
// first the n indexes of the resampled values, then the normals in member
// order, redraws in place.

#include <cstdint>
#include <vector>

#include "measures/MultiplierProgram.h"
#include "measures/ReferenceSet.h"

struct AnalysisRecord;
class RandomStream;

// The smoothing sample of one reference set and measure.
struct SmoothingSample {
  ReferenceRange range;
  std::vector<uint32_t> members;  // observations (1-based) with an estimate
  std::vector<double> theta;      // their estimates
  std::vector<double> reflected;  // theta_1..theta_n, 2 - theta_1..2 - theta_n
  double s = 0.0;
  double h = 0.0;
};

// The sample of the estimates (one per observation) of the present
// observations of `range` whose estimate is computed, finite and positive.
SmoothingSample PrepareSample(const AnalysisRecord& record, ReferenceRange range,
                              const std::vector<double>& estimates);

// The smoothed, reflected efficiencies t_1..t_n of one replicate.
void DrawEfficiencies(const SmoothingSample& sample, RandomStream& stream, std::vector<double>& t);

// The pairs of one orientation's own-period efficiencies of the firms
// observed in periods s = t - 1 and t (both with an estimate).
struct PairSample {
  Orientation orientation;
  ReferenceRange before, now;      // the reference sets of s and t
  std::vector<uint32_t> members;   // the observations of period t
  std::vector<double> a, b;        // theta in s, theta in t
  // The Cholesky factor (L11, L21, L22) of the pairs' covariance, and of
  // the covariance of the pairs reflected in one coordinate only (its
  // covariance negated).
  double factor[2][3] = {{0, 0, 0}, {0, 0, 0}};
  double h = 0.0;
};

// The pairs of one orientation's own-period efficiencies (DOttt, 1 / DIttt)
// of periods t - 1 and t.
PairSample PreparePairSample(const AnalysisRecord& record, uint32_t t, Orientation orientation);

// The smoothed, reflected pairs (ta_i, tb_i) of one replicate: pair j of the
// 4n reflected pairs (j / n: none, the first, the second or both
// coordinates reflected) drawn for each member, the kernel's normal
// h L e (e two standard normals, L the factor of its kind), the variance
// correction 1 / sqrt(1 + h^2), e drawn again while a coordinate lies
// outside (0, 2), each coordinate above 1 reflected.
void DrawPairs(const PairSample& sample, RandomStream& stream, std::vector<double>& ta, std::vector<double>& tb);
