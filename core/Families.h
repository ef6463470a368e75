#pragma once
// The printed name of the run's index family, shared by the result files and
// the report.

struct AnalysisRecord;

// The family name used in the file headings (" Laspeyres" ... " Fare-Primont"),
// the last set flag in that order winning.
const char* FamilyName(const AnalysisRecord& record);
