// Placeholder until Set 2 lands; replaced by Set2.cpp.
#include "measures/ComputationSets.h"
int ComputeSet2(AnalysisRecord&) { return 0; }
