// The data section of the input file and the reading of the whole file.
//
// After the command section come one header line and NT rows, each holding
// the row number, two identifiers, the M outputs, the K inputs and, with
// Prices, the M output prices and the K input prices. The rows are read with
// scanf's "%lld," and "%f," so values pass through single precision, the comma
// after a value is optional and rows may be broken over lines. Then the mean
// of every quantity is taken, badly scaled quantities are reported or, with
// UnitMeans, rescaled, and the identifier columns are copied.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/AnalysisRecord.h"
#include "core/FatalStop.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "input/InputFile.h"

namespace {

// The header is read with room for 19999 characters and the terminator; a
// longer header's remainder is read as data.
constexpr int kHeaderSize = 20000;
// IdHeading is the text before the header's third comma, looked for in the
// first 100 characters.
constexpr int kHeadingScanLength = 100;
constexpr int kHeadingCommas = 3;
constexpr std::size_t kHeadingCapacity = sizeof(AnalysisRecord::IdHeading);

// Means outside this range make the simplex (absolute tolerance 1e-5)
// unreliable; the bounds themselves are acceptable.
constexpr double kSmallestGoodMean = 0.0001;
constexpr double kLargestGoodMean = 100000.0;

}  // namespace

// Data has two identifier columns, the quantities and, with prices, the
// prices; ten spare rows and ten (twenty with prices) spare columns.
void CreateDataMatrix(AnalysisRecord& record) {
  const uint32_t NT = record.Observations;
  const uint32_t quantities = record.Outputs + record.Inputs;
  if (record.Prices == 1)
    record.Data.Create(NT + 10, 2 * quantities + 20, NT, 2 * quantities + 2);
  else
    record.Data.Create(NT + 10, quantities + 10, NT, quantities + 2);
}

namespace {

void ReadHeader(AnalysisRecord& record, std::FILE* file) {
  std::vector<char> header(kHeaderSize, '\0');
  if (std::fgets(header.data(), kHeaderSize, file) == nullptr) header[0] = '\0';

  // Without a third comma in the first 100 characters the heading is empty.
  record.IdHeading[0] = '\0';
  int commas = 0;
  for (int i = 0; i < kHeadingScanLength && header[i] != '\0'; ++i) {
    if (header[i] != ',' || ++commas < kHeadingCommas) continue;
    std::size_t length = static_cast<std::size_t>(i) < kHeadingCapacity - 1 ? i : kHeadingCapacity - 1;
    std::memcpy(record.IdHeading, header.data(), length);
    record.IdHeading[length] = '\0';
    break;
  }
}

bool StopOnRowNumber(uint32_t expected) {
  const std::string text =
      FormatText("\n READ ERROR: index in data file = %d.  Check numbers of inputs and", static_cast<int>(expected)) +
      "\n outputs. Include a Prices command if and only if the input file" + "\n contains prices. \n";
  if (RunContext* context = ThreadRunContext()) {
    context->Stop(text, StopPrompt::kTerminate);
    return false;
  }
  ConsolePrintf("%s", text.c_str());
  ConsolePrintf("\n Press ENTER to terminate.\n");
  WaitForEnter();
  return false;
}

// One "%f," read into the reader's single-precision temporary. A failed
// conversion, or the end of the file, leaves the temporary as it was.
// Returns fscanf's result: 1, 0 on a mismatch, -1 at the end of the file.
int ReadValue(std::FILE* file, float& value) { return std::fscanf(file, "%f,", &value); }

// Reads the NT rows into Data and sets `count` to the running count of the
// quantity reads (the values converted, -1 for each read at the end of the
// file). Returns false when a row number is not the expected one (the run
// was stopped).
bool ReadRows(AnalysisRecord& record, std::FILE* file, int64_t& count) {
  const uint32_t NT = record.Observations;
  const uint32_t quantityColumns = record.Outputs + record.Inputs + 2;
  const uint32_t priceColumns = record.Outputs + record.Inputs;
  // The row number is read as a 64-bit number of at most 18 characters,
  // which always fits: "%d" has no defined result beyond 32 bits, and glibc
  // wraps, so a row numbered 4294967297 passed as row 1.
  long long index = 0;
  float value = 0.0f;
  count = 0;
  for (uint32_t r = 1; r <= NT; ++r) {
    if (std::fscanf(file, "%18lld,", &index) != 1 || index != static_cast<long long>(r)) return StopOnRowNumber(r);
    for (uint32_t c = 0; c < quantityColumns; ++c) {
      count += ReadValue(file, value);
      record.Data.SetValue(r - 1, c, static_cast<double>(value));
    }
    if (record.Prices == 1) {
      for (uint32_t c = quantityColumns; c < quantityColumns + priceColumns; ++c) {
        ReadValue(file, value);
        record.Data.SetValue(r - 1, c, static_cast<double>(value));
      }
    }
  }
  return true;
}

// Mean of one data column over the present observations, summed in
// observation order.
double ColumnMean(AnalysisRecord& record, uint32_t column) {
  const uint32_t NT = record.Observations;
  double sum = 0.0;
  uint32_t present = 0;
  for (uint32_t o = 0; o < NT; ++o) {
    if (record.IsAbsent(o + 1)) continue;
    sum += record.Data.GetValue(o, column);
    ++present;
  }
  return sum / present;
}

bool IsBadlyScaled(double mean) { return mean < kSmallestGoodMean || mean > kLargestGoodMean; }

// Computes OutputMeans and InputMeans and warns about a badly scaled
// quantity unless UnitMeans will rescale them. The last offending output and
// the last offending input are reported; a mean of 0 is not reported.
void ComputeMeans(AnalysisRecord& record) {
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  double offendingOutputMean = 0.0;
  double offendingInputMean = 0.0;
  for (uint32_t m = 1; m <= M; ++m) {
    double mean = ColumnMean(record, m + 1);
    record.OutputMeans[m - 1] = mean;
    if (IsBadlyScaled(mean)) offendingOutputMean = mean;
  }
  for (uint32_t k = 1; k <= K; ++k) {
    double mean = ColumnMean(record, M + 1 + k);
    record.InputMeans[k - 1] = mean;
    if (IsBadlyScaled(mean)) offendingInputMean = mean;
  }

  if (record.UnitMeans != 0 || (offendingOutputMean == 0.0 && offendingInputMean == 0.0)) return;
  ConsolePrintf("\n");
  if (offendingOutputMean != 0.0)
    ConsolePrintf(" WARNING: An output variable has a mean of %2.3g. \n", offendingOutputMean);
  if (offendingInputMean != 0.0)
    ConsolePrintf(" WARNING: An input variable has a mean of %2.3g.  \n", offendingInputMean);
  ConsolePrintf(" WARNING: LPs may not solve.  Results may be unreliable.  Consider rescaling \n");
  ConsolePrintf(" WARNING: the variables to have unit means (e.g., using the UnitMeans option). \n");
}

// Divides every quantity by its mean and multiplies its price by the same
// mean, so that revenue and cost stay as they were. The means keep the
// values of the unscaled data. The rows of absent observations keep -9999.
void RescaleToUnitMeans(AnalysisRecord& record) {
  const uint32_t NT = record.Observations;
  const uint32_t M = record.Outputs;
  const uint32_t K = record.Inputs;
  Matrix& data = record.Data;
  record.OutputScales = record.OutputMeans;
  record.InputScales = record.InputMeans;
  for (uint32_t m = 1; m <= M; ++m) {
    const double mean = record.OutputMeans[m - 1];
    for (uint32_t o = 0; o < NT; ++o) {
      if (record.IsAbsent(o + 1)) continue;
      data.SetValue(o, m + 1, data.GetValue(o, m + 1) / mean);
      if (record.Prices == 1) data.SetValue(o, M + K + 1 + m, data.GetValue(o, M + K + 1 + m) * mean);
    }
  }
  for (uint32_t k = 1; k <= K; ++k) {
    const double mean = record.InputMeans[k - 1];
    for (uint32_t o = 0; o < NT; ++o) {
      if (record.IsAbsent(o + 1)) continue;
      data.SetValue(o, M + 1 + k, data.GetValue(o, M + 1 + k) / mean);
      if (record.Prices == 1) data.SetValue(o, 2 * M + K + 1 + k, data.GetValue(o, 2 * M + K + 1 + k) * mean);
    }
  }
}

}  // namespace

bool ReadDataRows(AnalysisRecord& record, std::FILE* file) {
  CreateDataMatrix(record);
  ReadHeader(record, file);

  int64_t count = 0;
  if (!ReadRows(record, file, count)) return false;
  const int64_t expected = (static_cast<int64_t>(record.Outputs) + record.Inputs + 2) * record.Periods * record.Firms;
  if (count != expected)
    ConsolePrintf("\n WARNING: Data rows*columns (%lld) does not match (2+j+k)*(n*t) (%lld).\n",
                  static_cast<long long>(count), static_cast<long long>(expected));
  return true;
}

void PrepareData(AnalysisRecord& record) {
  const uint32_t NT = record.Observations;
  ComputeMeans(record);
  if (record.UnitMeans == 1) RescaleToUnitMeans(record);

  for (uint32_t o = 0; o < NT; ++o) {
    record.Id1[o] = record.Data.GetValue(o, 0);
    record.Id2[o] = record.Data.GetValue(o, 1);
  }
}

bool ReadDataSection(AnalysisRecord& record, std::FILE* file) {
  if (!ReadDataRows(record, file)) return false;
  PrepareData(record);
  return true;
}

bool ReadInputFile(AnalysisRecord& record, const std::string& inputName) {
  std::FILE* file = std::fopen(inputName.c_str(), "r");
  if (file == nullptr) return FatalStop("unable to open the input file. \n");
  bool read = ReadCommandSection(record, file);
  if (read) {
    SetUpProblem(record, record.Firms, record.Periods, record.Outputs, record.Inputs);
    read = ReadDataSection(record, file);
  }
  std::fclose(file);
  return read;
}

void PrintCounts(const AnalysisRecord& record) {
  ConsolePrintf("\n Number of Periods = %d\n", static_cast<int>(record.Periods));
  ConsolePrintf(" Number of Firms   = %d\n", static_cast<int>(record.Firms));
  ConsolePrintf(" Number of Outputs = %d\n", static_cast<int>(record.Outputs));
  ConsolePrintf(" Number of Inputs  = %d\n\n", static_cast<int>(record.Inputs));
}
