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
