#pragma once
// One worker's linear-programming work objects: the constraint matrix, the
// right-hand side and the objective a program is built in, and the
// LPProblem (tableau, basis, solution) that solves it. Every program of
// Sets 1 to 3 is built and solved in the workspace of the worker that runs
// it; nothing in a workspace is shared between workers.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "lp/LPProblem.h"
#include "lp/Matrix.h"

class ErrorLog;

struct LPWorkspace {
  Matrix LPMatrix;
  std::vector<double> LPRhs;
  std::vector<double> LPObjective;
  LPProblem Problem;

  // Obtains storage for programs of up to size - 1 rows and columns (the
  // matrix and the tableau need one row and column beyond a program) and an
  // objective of objectiveSize entries; failures are reported through the
  // log given.
  void Create(uint32_t size, uint32_t objectiveSize, ErrorLog* log) {
    LPMatrix.Create(size, size, 0, 0);
    LPRhs.assign(size, 0.0);
    LPObjective.assign(objectiveSize, 0.0);
    Problem.Create(size, size);
    Problem.m_ErrorLog = log;
  }

  // The same capacity, with storage for the matrix and the tableau of the
  // programs in `largest` (rows x columns) only: memory grows with the
  // largest program a run poses rather than with the square of the
  // capacity. A larger program that fits the capacity still runs: its
  // layout extends the storage.
  struct ProgramShape {
    uint32_t rows;
    uint32_t cols;
  };
  void CreateFor(uint32_t size, uint32_t objectiveSize, ErrorLog* log, std::initializer_list<ProgramShape> largest) {
    LPMatrix.CreateReserved(size, size, 0, 0);
    LPRhs.assign(size, 0.0);
    LPObjective.assign(objectiveSize, 0.0);
    Problem.Create(size, size, false);
    Problem.m_ErrorLog = log;
    for (const ProgramShape& shape : largest) {
      LPMatrix.Reserve(shape.rows, shape.cols);
      Problem.Reserve(shape.rows, shape.cols);
    }
  }
};
