#pragma once
// Reading the input file: the command section, then SetUpProblem, then the
// data section.

#include <cstdint>
#include <cstdio>
#include <string>

struct AnalysisRecord;

// Code of a command keyword (1..21, 0 for the comment "%"), or -1.
int MatchCommand(const char* token);

// Reads the command section from the open file into the record's
// configuration, applies the consistency rules, prints the configuration
// summary and checks the counts. On an error stops the run (FatalStop or the
// observation-limit stop) and returns false.
bool ReadCommandSection(AnalysisRecord& record, std::FILE* file);

// Stores the counts and creates every vector, matrix and LP object of the
// record for them.
void SetUpProblem(AnalysisRecord& record, uint32_t firms, uint32_t periods, uint32_t outputs, uint32_t inputs);

// Applies the consistency rules to the command section's choices (the
// default family; one family; prices for a price-based one). Returns false
// after a stop.
bool ApplyConsistencyRules(AnalysisRecord& record);

// The configuration summary the command section prints: the family, the
// technology, the returns to scale, unit means, the one-period warning.
std::string ConfigurationText(const AnalysisRecord& record);

// Checks the counts, Window, Base, the observation limit and the limits on
// outputs and inputs, in this order; returns false after the first stop.
bool CheckConfiguration(const AnalysisRecord& record);

// Creates the data matrix for the counts and Prices.
void CreateDataMatrix(AnalysisRecord& record);

// Creates the data matrix and reads the header and the data rows into it,
// with the size warning. Returns false after the READ ERROR stop on an
// unexpected row number.
bool ReadDataRows(AnalysisRecord& record, std::FILE* file);

// Computes the means, warns about or rescales badly scaled variables and
// copies the identifiers: what follows the reading of the rows.
void PrepareData(AnalysisRecord& record);

// ReadDataRows, then PrepareData.
bool ReadDataSection(AnalysisRecord& record, std::FILE* file);

// Opens the input file and reads it whole (command section, set-up, data).
// Returns false when the run was stopped.
bool ReadInputFile(AnalysisRecord& record, const std::string& inputName);

// Prints the four counts (periods, firms, outputs, inputs).
void PrintCounts(const AnalysisRecord& record);
