// The bootstrap file (with the bootstrap setting): for every present
// observation (the Malmquist measures -9999 in the first period), per
// measure bootstrapped, the estimate, the bias-corrected
// estimate, the bias, the standard error, the interval's ends and the
// replicates used, under the headings the engine gives them. Values pass
// through single precision and print with "%3.4f", as the levels do; -9999
// marks a value that could not be computed.
#include <cstdio>
#include <string>

#include "core/AnalysisRecord.h"
#include "core/Format.h"
#include "output/ResultFiles.h"
#include "output/WriterPieces.h"

std::string BootstrapTitleLine(uint32_t replicates, uint64_t seed, double alpha, bool malmquist) {
  return FormatText(" Smoothed bootstrap of the efficiencies%s: %u replicates, seed %llu, intervals of level %g"
                    " (alpha = %g) \n",
                    malmquist ? " and the Malmquist indexes" : "", replicates, static_cast<unsigned long long>(seed),
                    1.0 - alpha, alpha);
}

bool WriteBootstrapFile(const AnalysisRecord& record, const std::string& title,
                        const std::vector<std::string>& headings, const std::vector<std::vector<double>>& columns,
                        StagedFiles& files, const std::string& fileName) {
  std::FILE* file = OpenResultFile(files, fileName, "Unable to open _output_bootstrap.csv file for writing");
  if (file == nullptr) return false;
  WriteTitle(file);
  FilePrintf(file, "%s", title.c_str());
  std::string heading = FormatText("  %s", record.IdHeading);
  for (const std::string& name : headings) heading += ", " + name;
  FilePrintf(file, "%s \n", heading.c_str());
  for (uint32_t o = 1; o <= record.Observations; ++o) {
    if (record.IsAbsent(o)) continue;
    const SinglePrecisionOf sp = StartRow(file, record, o);
    for (const std::vector<double>& column : columns) FilePrintf(file, ",%3.4f", sp(column));
    FilePrintf(file, " \n");
  }
  return CloseResultFile(files, file);
}
