// Placeholder until Set 3 lands; replaced by Set3.cpp.
#include "measures/ComputationSets.h"
int ComputeSet3(AnalysisRecord&) { return 0; }
