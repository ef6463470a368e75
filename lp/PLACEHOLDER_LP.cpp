// Placeholder until the solver lands; replaced by Simplex.cpp and LPProblem.cpp.
#include "lp/LPProblem.h"
void LPProblem::Create(uint32_t, uint32_t) {}
int SetProblem(Matrix&, LPProblem&, const double*, const double*, int, int, int) { return 0; }
int Solve(LPProblem&) { return -1; }
