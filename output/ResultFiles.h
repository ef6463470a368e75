#pragma once
// The four result files, each written whole from the record into the staged
// set `files` (core/StagedFiles.h), which puts them in place when the set is
// committed. Each writer returns false when its file could not be opened or
// written whole (the run was stopped through FatalStop and the set's
// temporaries removed).

#include <string>

struct AnalysisRecord;
class StagedFiles;

bool WriteIndexesFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName);
bool WriteLevelsFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName);
bool WriteShadowPricesFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName);
bool WriteExtrasFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName);
// With record.Malmquist only.
bool WriteMalmquistFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName);
// With Peers only: name_output_peers.csv.
bool WritePeersFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName);
