#pragma once
// A plain table on the command line: a CSV file with a header row naming its
// columns, one row per firm and period, read into a panel with the settings
// the options give in place of an input file's command section.
//
//   koru --table data.csv --firm COL --period COL --outputs A,B --inputs C,D
//        [--output-prices P,Q --input-prices R,S] [--family F] [--rts R]
//        [--technology T] [--window N] [--base FIRM,PERIOD] [--unit-means]
//        [--out BASE]
//
// Fields are separated by commas, or by semicolons when the header holds a
// semicolon and no comma; a field may be quoted ("..." with "" for a quote).
// A row whose every quantity is blank is an absent observation, as is a
// (firm, period) pair without a row; any other blank or non-number is an
// error naming the line and the column. Values pass through single
// precision, as an input file's do, so that a table and the input file of
// the same panel give the same results.

#include <string>
#include <vector>

#include <koru/koru.h>

struct TableOptions {
  bool given = false;
  std::string path;
  std::string firm, period;
  std::vector<std::string> outputs, inputs, outputPrices, inputPrices;
  std::string family, rts, technology;  // tokens; empty: the defaults
  std::string window;                   // digits; empty: 1
  std::string base;                     // "FIRM,PERIOD"; empty: the first observation
  bool unitMeans = false;
  std::string out;                      // base name of the result files; empty: the table's name without ".csv"
};

// The base name of the result files.
std::string TableBaseName(const TableOptions& options);

// Reads the table into a panel and settings (threads 0, familyGiven as
// --family was given). Throws koru::InputError with the message to print.
koru::InputFile ReadPlainTable(const TableOptions& options);
