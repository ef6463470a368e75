#include "output/WriterPieces.h"

#include "core/AnalysisRecord.h"
#include "core/FatalStop.h"
#include "core/Format.h"
#include "output/ResultFiles.h"

std::FILE* OpenResultFile(const std::string& fileName, const char* failureMessage) {
  std::FILE* file = std::fopen(fileName.c_str(), "w");
  if (file == nullptr) FatalStop(failureMessage);
  return file;
}

void CloseResultFile(std::FILE* file, const char* failureMessage) {
  const bool failed = std::ferror(file) != 0;
  if (std::fclose(file) != 0 || failed) FatalStop(failureMessage);
}

void WriteTitle(std::FILE* file) { FilePrintf(file, "KORU Version 3.1 Professional\n\n"); }

void WriteIdentifiers(std::FILE* file, const AnalysisRecord& record, uint32_t observation) {
  FilePrintf(file, "%d,%6.0f,%6.0f", static_cast<int>(observation), record.Id1[observation - 1],
             record.Id2[observation - 1]);
}

const char* FamilyName(const AnalysisRecord& record) {
  // The flags are tried in this order and a later set flag overrides an
  // earlier one; the command section leaves exactly one of them set.
  const char* name = "";
  if (record.Laspeyres == 1) name = " Laspeyres";
  if (record.Paasche == 1) name = " Paasche";
  if (record.Fisher == 1) name = " Fisher";
  if (record.Lowe == 1) name = " Lowe";
  if (record.MalmquistHs == 1) name = " Malmquist-hs";
  if (record.MalmquistIt == 1) name = " Malmquist-it";
  if (record.HicksMoorsteen == 1) name = " Hicks-Moorsteen";
  if (record.FarePrimont == 1) name = " Fare-Primont";
  return name;
}
