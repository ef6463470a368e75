#pragma once
// The four result files, each written whole from the record into the staged
// set `files` (core/StagedFiles.h), which puts them in place when the set is
// committed. Each writer returns false when its file could not be opened or
// written whole (the run was stopped through FatalStop and the set's
// temporaries removed).

#include <cstdint>
#include <string>
#include <vector>

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
// With the bootstrap setting: name_output_bootstrap.csv, the title line
// (BootstrapTitleLine) above the columns headed `headings`, columns[c][o].
bool WriteBootstrapFile(const AnalysisRecord& record, const std::string& title,
                        const std::vector<std::string>& headings, const std::vector<std::vector<double>>& columns,
                        StagedFiles& files, const std::string& fileName);
// The bootstrap file's title line: what was bootstrapped, the replicates,
// the seed and the level.
std::string BootstrapTitleLine(uint32_t replicates, uint64_t seed, double alpha, bool malmquist);
