// Placeholder until the writers land; replaced by one file per result file.
#include "output/ResultFiles.h"
#include "app/AnalysisRecord.h"
void WriteIndexesFile(AnalysisRecord&, const std::string&) {}
void WriteLevelsFile(AnalysisRecord&, const std::string&) {}
void WriteShadowPricesFile(AnalysisRecord&, const std::string&) {}
void WriteExtrasFile(AnalysisRecord&, const std::string&) {}
const char* FamilyName(const AnalysisRecord&) { return ""; }
