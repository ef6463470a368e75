#pragma once
// The four result files, each rewritten whole from the record. Each writer
// returns false when its file could not be opened or written whole (the run
// was stopped through FatalStop).

#include <string>

struct AnalysisRecord;

bool WriteIndexesFile(const AnalysisRecord& record, const std::string& fileName);
bool WriteLevelsFile(const AnalysisRecord& record, const std::string& fileName);
bool WriteShadowPricesFile(const AnalysisRecord& record, const std::string& fileName);
bool WriteExtrasFile(const AnalysisRecord& record, const std::string& fileName);
