#pragma once
// The report: one self-contained HTML page (inline CSS and SVG, no scripts,
// nothing fetched) that summarises a finished run: the run's settings and
// programs, the geometric means of the indexes over the firms of each period
// with a chart of them, and the spread of TFP efficiency by period.
// The same record gives the same bytes: no clock, no locale, every number
// formatted through FormatText.

#include <string>

struct AnalysisRecord;
class StagedFiles;

// Writes the report of the record after Set 6 to `fileName`, staged in
// `files` as the other result files are. `inputName` names the input file on
// the page. A file that cannot be opened or written whole stops the run
// through FatalStop and gives false, as for the other result files.
bool WriteReportFile(const AnalysisRecord& record, const std::string& inputName, StagedFiles& files,
                     const std::string& fileName);

// The report's text, as WriteReportFile writes it.
std::string ReportText(const AnalysisRecord& record, const std::string& inputName);
