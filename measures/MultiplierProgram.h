#pragma once
// The multiplier-form DEA program that Sets 1 and 2 pose for every distance
// value, built in the LP work objects of the worker that solves it.
//
// Variables, in column order, all nonnegative: u_1..u_M (output multipliers),
// v_1..v_K (input multipliers), w1, w2 (w1 - w2 acts as a free intercept).
//
//   rows 1..J   (reference observations r = first..last, in storage order)
//               u.y_r - v.x_r - w1 + w2 <= 0
//   row J+1     normalisation, = 1: u.n (output orientation) or v.n (input)
//   objective   output: maximise -v.c - w1 + w2;  input: maximise u.c - w1 + w2
//
// n is the normalisation vector and c the objective quantities, both given by
// the caller. The distance value is read back from the optimum z as -1/z
// (output) or 1/z (input); a failed program, or z = -9999 exactly, gives
// -9999. Constant returns to scale drop w1 and w2 by cutting the built matrix
// to its first M + K columns. Non-increasing returns to scale (sum of lambda
// <= 1 in the envelopment form) keep w >= 0 by cutting to M + K + 1 columns,
// which drops w2; non-decreasing returns (sum of lambda >= 1) keep w <= 0:
// their programs are built with the intercept pair's signs exchanged, so that
// column M+K holds w2, and cut likewise.

#include <cstdint>

#include "measures/ReferenceSet.h"

struct AnalysisRecord;
struct LPWorkspace;
class Matrix;

enum class Orientation { kOutput, kInput };

// Rows 1..J are the same in every program posed against one reference set.
// A caller that poses a series of programs in one workspace against the same
// working copies, and touches the work matrix in between only through
// BuildMultiplierProgram and SolveMultiplierProgram, keeps one of these per
// workspace and passes it to every build: a build against the range of the last one then finds those rows in
// place (after a layout that reported nothing) and writes only row J+1,
// which leaves the same matrix as a new layout.
struct ReferenceRowsInPlace {
  bool valid = false;
  ReferenceRange range{0, 0, 0};
};

// Fills the workspace's matrix, right-hand side and objective with the
// program above. `outputs` and `inputs` are working copies with one row per
// observation; `normalisation` holds M (output) or K (input) values and
// `objectiveQuantities` K (output) or M (input) values.
void BuildMultiplierProgram(const AnalysisRecord& record, LPWorkspace& workspace, Matrix& outputs, Matrix& inputs, ReferenceRange range,
                            Orientation orientation, const double* normalisation, const double* objectiveQuantities,
                            ReferenceRowsInPlace* inPlace = nullptr);

// Poses and solves the program in the work objects and returns its distance
// value. With withoutIntercept the matrix is first cut to J + 1 rows and
// M + K columns; otherwise, under non-increasing or non-decreasing returns
// to scale, to M + K + 1 columns. The multipliers stay in workspace.Problem.m_Solution.
double SolveMultiplierProgram(const AnalysisRecord& record, LPWorkspace& workspace, ReferenceRange range,
                              Orientation orientation, bool withoutIntercept);

// The intercept w of a solved D program from its solution: w1 - w2, the one
// column kept under non-increasing (w) or non-decreasing (-w) returns, 0
// under constant returns.
double InterceptOf(const AnalysisRecord& record, const double* solution);

// Copies the label of the next program, `format` with the observation number
// in its one %d, into the error log's context buffer, when the record has an
// error log.
void LabelProgram(const AnalysisRecord& record, const char* format, int observation);

// Reads `count` values of row (observation - 1) of a working copy, through the
// checked access.
void ReadObservationRow(Matrix& copy, uint32_t observation, uint32_t count, double* dest);

// Sum over j = 0..count-1 of a[j] x b[j], taken from 0.0 in index order.
double WeightedSum(const double* a, const double* b, uint32_t count);
