#include "output/WriterPieces.h"

#include "core/AnalysisRecord.h"
#include "core/Format.h"

void WriteTitle(std::FILE* file) { FilePrintf(file, "KORU Version 3.1 Professional\n\n"); }

void WriteIdentifiers(std::FILE* file, const AnalysisRecord& record, uint32_t observation) {
  FilePrintf(file, "%d,%6.0f,%6.0f", static_cast<int>(observation), record.Id1[observation - 1],
             record.Id2[observation - 1]);
}

double SinglePrecisionOf::operator()(const std::vector<double>& v) const { return SinglePrecision(v[index]); }

SinglePrecisionOf StartRow(std::FILE* file, const AnalysisRecord& record, uint32_t o) {
  WriteIdentifiers(file, record, o);
  return SinglePrecisionOf{o - 1};
}

std::vector<std::string> HeadingNames(const char* headingFormat) {
  std::string text = headingFormat;
  const std::size_t identifiers = text.find("%s,");
  if (identifiers != std::string::npos) text.erase(0, identifiers + 3);
  std::vector<std::string> names;
  std::string name;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ',') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else if (text[i] != ' ' && text[i] != '\n') {
      name += text[i];
    }
  }
  return names;
}

std::string TrimmedTitle(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \n");
  if (first == std::string::npos) return "";
  const std::size_t last = line.find_last_not_of(" \n");
  return line.substr(first, last - first + 1);
}

std::vector<bool> PrintedRows(const AnalysisRecord& record) {
  std::vector<bool> printed(record.Observations, true);
  for (uint32_t o = 1; o <= record.Observations; ++o)
    if (record.IsAbsent(o)) printed[o - 1] = false;
  return printed;
}
