// Placeholder until the input reader lands; replaced by CommandSection.cpp and DataSection.cpp.
#include "app/AnalysisRecord.h"
#include "input/InputFile.h"
int MatchCommand(const char*) { return -1; }
void ReadCommandSection(AnalysisRecord&, std::FILE*) {}
void ReadDataSection(AnalysisRecord&, std::FILE*) {}
void ReadInputFile(AnalysisRecord&, const std::string&) {}
void PrintCounts(const AnalysisRecord&) {}
