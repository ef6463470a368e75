// The peers file (with Peers only): for every observation and orientation
// the reference observations with a positive weight in the first stage
// (lambda: the dual values of Set 1's DOttt or DIttt program) or in the
// second stage (lambda2: the envelopment program that maximises the slacks
// at that distance, measures/Peers.h), then each observation's slacks and
// targets per orientation. Values pass through single precision and print
// with "%3.4f", as the levels do; -9999 marks a stage that failed.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/ResultTables.h"
#include "output/WriterPieces.h"

namespace {

const char kPeersTitle[] =
    " Peers: lambda of the first stage (dual values of the DOttt or DIttt program), lambda2 of the second stage "
    "(slacks maximised at that distance) \n";
const char kTargetsTitle[] =
    " Slacks and targets of the second stage: targets are the radial projection moved by the slacks \n";

const AnalysisRecord::OrientationPeers& PeersOf(const AnalysisRecord& record, int orientation) {
  return orientation == 0 ? record.OutputPeers : record.InputPeers;
}

// "obs,firm,year" -> "peer_obs,peer_firm,peer_year".
std::string PeerHeading(const std::string& idHeading) {
  std::string text = "peer_";
  for (char c : idHeading) text += c == ',' ? std::string(",peer_") : std::string(1, c);
  return text;
}

}  // namespace

const char* OrientationName(int orientation) { return orientation == 0 ? "output" : "input"; }

std::vector<PeerRow> PeerRows(const AnalysisRecord& record) {
  std::vector<PeerRow> rows;
  if (record.Peers == 0) return rows;
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    for (int orientation = 0; orientation < 2; ++orientation) {
      const AnalysisRecord::OrientationPeers& peers = PeersOf(record, orientation);
      if (peers.lambda.size() < o) continue;
      // A peer of either stage, by observation number; a stage that names
      // it not has 0, a second stage that failed the marker.
      std::map<uint32_t, PeerRow> byPeer;
      const double absent = peers.solved[o - 1] != 0 ? 0.0 : kMissing;
      for (const AnalysisRecord::PeerWeight& w : peers.lambda[o - 1])
        byPeer[w.observation] = PeerRow{o, orientation, w.observation, w.lambda, absent};
      for (const AnalysisRecord::PeerWeight& w : peers.lambda2[o - 1]) {
        auto found = byPeer.find(w.observation);
        if (found == byPeer.end()) byPeer[w.observation] = PeerRow{o, orientation, w.observation, 0.0, w.lambda};
        else found->second.lambda2 = w.lambda;
      }
      for (const auto& entry : byPeer) rows.push_back(entry.second);
    }
  }
  return rows;
}

std::vector<std::string> TargetHeadings(const std::vector<std::string>& outputNames,
                                        const std::vector<std::string>& inputNames) {
  std::vector<std::string> headings;
  for (const char* prefix : {"slack_", "target_"}) {
    for (const std::string& name : outputNames) headings.push_back(prefix + name);
    for (const std::string& name : inputNames) headings.push_back(prefix + name);
  }
  return headings;
}

std::vector<std::string> DefaultVariableNames(const char* prefix, uint32_t count) {
  std::vector<std::string> names;
  for (uint32_t j = 1; j <= count; ++j) names.push_back(FormatText("%s%u", prefix, j));
  return names;
}

std::vector<double> TargetValues(const AnalysisRecord& record, uint32_t o, int orientation) {
  const AnalysisRecord::OrientationPeers& peers = PeersOf(record, orientation);
  const uint32_t M = record.Outputs, K = record.Inputs;
  std::vector<double> values;
  const std::size_t y = static_cast<std::size_t>(o - 1) * M, x = static_cast<std::size_t>(o - 1) * K;
  for (uint32_t m = 0; m < M; ++m) values.push_back(peers.outputSlacks[y + m]);
  for (uint32_t k = 0; k < K; ++k) values.push_back(peers.inputSlacks[x + k]);
  for (uint32_t m = 0; m < M; ++m) values.push_back(peers.outputTargets[y + m]);
  for (uint32_t k = 0; k < K; ++k) values.push_back(peers.inputTargets[x + k]);
  return values;
}

bool WritePeersFile(const AnalysisRecord& record, StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_peers.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  FilePrintf(file, kPeersTitle);
  FilePrintf(file, "  %s,orientation,%s,lambda,lambda2 \n", record.IdHeading, PeerHeading(record.IdHeading).c_str());
  for (const PeerRow& row : PeerRows(record)) {
    WriteIdentifiers(file, record, row.observation);
    FilePrintf(file, ",%s,", OrientationName(row.orientation));
    WriteIdentifiers(file, record, row.peer);
    FilePrintf(file, ",%3.4f,%3.4f \n", SinglePrecision(row.lambda), SinglePrecision(row.lambda2));
  }

  FilePrintf(file, "\n");
  FilePrintf(file, kTargetsTitle);
  FilePrintf(file, "  %s,orientation", record.IdHeading);
  for (const std::string& heading :
       TargetHeadings(DefaultVariableNames("y", record.Outputs), DefaultVariableNames("x", record.Inputs)))
    FilePrintf(file, ",%s", heading.c_str());
  FilePrintf(file, " \n");
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    if (record.IsAbsent(o)) continue;
    for (int orientation = 0; orientation < 2; ++orientation) {
      WriteIdentifiers(file, record, o);
      FilePrintf(file, ",%s", OrientationName(orientation));
      for (double v : TargetValues(record, o, orientation)) FilePrintf(file, ",%3.4f", SinglePrecision(v));
      FilePrintf(file, " \n");
    }
  }
  return CloseResultFile(files, file);
}
