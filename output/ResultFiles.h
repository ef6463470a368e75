#pragma once
// The four result files, each rewritten whole from the record.

#include <string>

struct AnalysisRecord;

void WriteIndexesFile(AnalysisRecord& record, const std::string& fileName);
void WriteLevelsFile(AnalysisRecord& record, const std::string& fileName);
void WriteShadowPricesFile(AnalysisRecord& record, const std::string& fileName);
void WriteExtrasFile(AnalysisRecord& record, const std::string& fileName);
