// Placeholder until Set 6 lands; replaced by Set6.cpp.
#include "measures/ComputationSets.h"
int ComputeSet6(AnalysisRecord&) { return 0; }
