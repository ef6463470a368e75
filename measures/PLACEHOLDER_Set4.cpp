// Placeholder until Set 4 lands; replaced by Set4.cpp.
#include "measures/ComputationSets.h"
int ComputeSet4(AnalysisRecord&) { return 0; }
