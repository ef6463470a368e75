#pragma once
// The values of the four result files as tables: for each table of a file its
// title, the headings of its value columns as the file heads them and every
// observation's full-precision value of each column. The writers print from
// the same column lists, so a heading always names the values printed under
// it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct AnalysisRecord;

struct ValueTable {
  std::string title;                          // the heading line above the table, trimmed; "" when none
  std::vector<std::string> headings;          // the value columns after the observation and identifiers
  std::vector<std::vector<double>> columns;   // columns[c][o], o 0-based
  std::vector<bool> printed;                  // whether the row of o prints values
};

ValueTable IndexesTable(const AnalysisRecord& record);
ValueTable LevelsTable(const AnalysisRecord& record);
ValueTable ShadowPricesTable(const AnalysisRecord& record);
ValueTable ExtrasTable(const AnalysisRecord& record);
// The Malmquist file's table (record.Malmquist); the first period's rows are
// not printed.
ValueTable MalmquistTable(const AnalysisRecord& record);

// The representative observation's values of the extras file (Fare-Primont):
// DO000, alpha0, beta0, gamma0, q0, pstar0, DI000, phi0, eta0, delta0, x0,
// wstar0; none for the other families.
std::vector<std::pair<std::string, std::vector<double>>> RepresentativeValues(const AnalysisRecord& record);

// The peers file's rows (with Peers): observation, orientation (0 output, 1
// input), peer, the first stage's lambda and the second stage's lambda2;
// ordered by observation, orientation and peer.
struct PeerRow {
  uint32_t observation;  // 1-based
  int orientation;
  uint32_t peer;         // 1-based
  double lambda;
  double lambda2;
};
std::vector<PeerRow> PeerRows(const AnalysisRecord& record);
// "output" or "input".
const char* OrientationName(int orientation);
// "slack_NAME" for every output then input name, then "target_NAME" likewise.
std::vector<std::string> TargetHeadings(const std::vector<std::string>& outputNames,
                                        const std::vector<std::string>& inputNames);
// prefix1 .. prefixCount ("y1", "y2", ...): the names the files give the variables.
std::vector<std::string> DefaultVariableNames(const char* prefix, uint32_t count);
// Observation o's slacks then targets in one orientation, in the order of
// TargetHeadings; kMissing where the stage failed.
std::vector<double> TargetValues(const AnalysisRecord& record, uint32_t o, int orientation);
