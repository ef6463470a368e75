// Placeholder until Set 5 lands; replaced by Set5.cpp.
#include "measures/ComputationSets.h"
int ComputeSet5(AnalysisRecord&) { return 0; }
