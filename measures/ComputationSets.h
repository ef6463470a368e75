#pragma once
// The six computation sets, run in order; each reads what earlier sets stored
// in the record and stores its own results there. Sets 1 to 3 solve their
// linear programs on the workers given, in the workers' own workspaces.

#include <cstdint>

struct AnalysisRecord;
struct LPWorkspace;
class WorkerPool;

// Sizes an LP workspace for the largest program of Sets 1 to 3.
void CreateWorkspace(const AnalysisRecord& record, LPWorkspace& workspace);
// Sizes every worker's workspace and sends the output the workers hold back
// to the record's error log and tally.
void PrepareWorkers(AnalysisRecord& record, WorkerPool& workers);

void ComputeSet1(AnalysisRecord& record, WorkerPool& workers);  // OTE, OSE, ITE, ISE, shadow prices
void ComputeSet2(AnalysisRecord& record, WorkerPool& workers);  // Q, X, QBAR, XBAR (and Rev, Cost)
void ComputeSet3(AnalysisRecord& record, WorkerPool& workers);  // QHAT, XHAT
void ComputeSet4(AnalysisRecord& record);                         // TFP, TFP*
void ComputeSet5(AnalysisRecord& record);                         // TFPE and its components
void ComputeSet6(AnalysisRecord& record);                         // index numbers
// With record.Malmquist, run after Set 1, whose own-period distances it
// takes: the cross-period distances, the Malmquist index and its parts
// (record.MalmquistSet). Its progress is reported as set 7.
void ComputeMalmquistSet(AnalysisRecord& record, WorkerPool& workers);
