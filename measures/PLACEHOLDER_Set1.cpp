// Placeholder until Set 1 lands; replaced by Set1.cpp.
#include "measures/ComputationSets.h"
int ComputeSet1(AnalysisRecord&) { return 0; }
