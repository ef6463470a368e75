#pragma once
// One complete run of the console program: file names, file checks, then
// reading, analysis and the result files through the library
// (include/koru/koru.h), with the console text, prompts and waits around them.

#include <cstdint>
#include <string>

#include "app/PlainTable.h"
#include "lp/Simplex.h"

struct AnalysisRecord;

// The names of the input file and the five output files, formed from the
// chosen path without its last 10 characters (the length of "_input.csv").
struct RunFileNames {
  std::string base;
  std::string input;
  std::string indexes;
  std::string levels;
  std::string shadowPrices;
  std::string extras;
  std::string errorLog;
};

// Derives the six names; returns false for a path shorter than 10
// characters, which has no base name.
bool DeriveFileNames(const std::string& chosenPath, RunFileNames& names);

// Asks on the console for the input file until an existing file is named.
// Returns false when the user cancels (empty line or end of input).
bool ChooseInputFile(std::string& path);

// Makes standard output and standard input the engine's console outside a
// library call (core/RunContext.h). The console program does it first; the
// run sequence's entry points below do it as well.
void InstallStandardConsole();

// Prints the banner and waits for ENTER (reads one whole line); in batch mode
// the prompt is printed and nothing is read.
void StartUp();

// What the command line chose for a run.
struct RunOptions {
  unsigned threads = 0;  // worker threads; 0 means one per core available to the process
  bool batch = false;    // never wait for ENTER
  bool report = false;   // also write name_output_report.html
  bool singleSolve = false;  // no second solve on a rescaled copy (AnalysisRecord::SingleSolve)
  bool malmquist = false;    // also the Malmquist set and name_output_malmquist.csv
  TableOptions table;        // --table: a plain table in place of an input file
  bool peers = false;        // also write name_output_peers.csv (AnalysisRecord::Peers)
  uint32_t bootstrap = 0;    // replicates of the bootstrap and name_output_bootstrap.csv; 0: none
  uint64_t seed = 1;         // the bootstrap's seed
  double alpha = 0.05;       // the bootstrap intervals' level 1 - alpha
};

// Runs the whole sequence on the chosen path; returns the exit status: 0 for
// a finished run, kStoppedStatus for a run that a stop ended (its message
// printed and its wait done). Never ends the process.
// `totals` (when given) receives the solver's work of the run's analysis
// (zeros when the run stopped before one).
int RunKoru(const std::string& chosenPath, const RunOptions& options = RunOptions(), SimplexTotals* totals = nullptr);

// The same run on the plain table of options.table, with the result files
// named after TableBaseName.
int RunKoruOnTable(const RunOptions& options, SimplexTotals* totals = nullptr);

// The text printed at the end of a run whose results the solver may not
// have got right (record.Tally): first, when programs were solved again on a
// rescaled copy and some of them reached the optimum there (or the warning
// follows), one line " NOTE: " saying how many and how many of them reached
// it; then, when some program still stopped short of
// its optimum, or programs failed while UnitMeans is off and the mean of
// some output or input quantity lies outside 0.01..100, the warning, whose
// lines start with " WARNING: " or continue one indented. "" when none of
// this holds. With record.SingleSolve the text is that of earlier versions.
// (The library's text, koru::Results::warning.)
std::string RunEndWarning(const AnalysisRecord& record);
