#pragma once
// The six computation sets, run in order; each reads what earlier sets stored
// in the record and stores its own results there.

struct AnalysisRecord;

int ComputeSet1(AnalysisRecord& record);  // OTE, OSE, ITE, ISE, shadow prices
int ComputeSet2(AnalysisRecord& record);  // Q, X, QBAR, XBAR (and Rev, Cost)
int ComputeSet3(AnalysisRecord& record);  // QHAT, XHAT
int ComputeSet4(AnalysisRecord& record);  // TFP, TFP*
int ComputeSet5(AnalysisRecord& record);  // TFPE and its components
int ComputeSet6(AnalysisRecord& record);  // index numbers
