// The command section of the input file: one command per line, a keyword
// and, for some commands, a whole number, up to an end command.
//
// The lines are read as a 1000-character fgets buffer reads them (a longer
// line arrives in pieces of 999 characters, each counted as a line), commas
// count as blanks, and a line without a token or a number leaves the previous
// line's token or number in force. After the section the defaults are
// settled by the consistency rules, the configuration is printed, and the
// counts, Window, Base, the observation limit and the limits on outputs and
// inputs are checked, all before any storage is sized for the panel.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/AnalysisRecord.h"
#include "core/Families.h"
#include "core/FatalStop.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "input/InputFile.h"

namespace {

// Codes of the command table; -1 is an unknown command. The family commands
// kLaspeyres..kFarePrimont follow the order of the family table
// (core/Families.h).
enum CommandCode : int {
  kUnknownCommand = -1,
  kComment = 0,
  kFirms = 1,
  kPeriods = 2,
  kOutputs = 3,
  kInputs = 4,
  kPrices = 5,
  kNoTechRegress = 6,
  kNoTechChange = 7,
  kCrs = 8,
  kLaspeyres = 9,
  kPaasche = 10,
  kFisher = 11,
  kLowe = 12,
  kMalmquistHs = 13,
  kMalmquistIt = 14,
  kHicksMoorsteen = 15,
  kFarePrimont = 16,
  kBase = 17,
  kWindow = 18,
  kVrs = 19,
  kUnitMeans = 20,
  kEnd = 21,
  kNirs = 22,
  kNdrs = 23,
};

static_assert(kFarePrimont - kLaspeyres + 1 == kFamilyCount, "one command per family");

struct CommandSpelling {
  const char* keyword;
  CommandCode code;
};

// Every accepted spelling. Comparison is exact and case-sensitive, so the
// order does not change the result; it is the order the spellings are tried.
const CommandSpelling kCommandSpellings[] = {
    {"Firms", kFirms},
    {"Periods", kPeriods},
    {"Outputs", kOutputs},
    {"Inputs", kInputs},
    {"Prices", kPrices},
    {"NoTechRegress", kNoTechRegress},
    {"NoTechChange", kNoTechChange},
    {"CRS", kCrs},
    {"Laspeyres", kLaspeyres},
    {"Paasche", kPaasche},
    {"Fisher", kFisher},
    {"Lowe", kLowe},
    {"Malmquist-s", kMalmquistHs},
    {"Malmquist-hs", kMalmquistHs},
    {"Malmquist-t", kMalmquistIt},
    {"Malmquist-it", kMalmquistIt},
    {"HicksMoorsteen", kHicksMoorsteen},
    {"FarePrimont", kFarePrimont},
    {"Base", kBase},
    {"Window", kWindow},
    {"VRS", kVrs},
    {"UnitMeans", kUnitMeans},
    {"End", kEnd},
    {"NIRS", kNirs},
    {"NDRS", kNdrs},
    // Small-letter and other variants.
    {"firms", kFirms},
    {"periods", kPeriods},
    {"outputs", kOutputs},
    {"inputs", kInputs},
    {"prices", kPrices},
    {"notechregress", kNoTechRegress},
    {"notechchange", kNoTechChange},
    {"crs", kCrs},
    {"laspeyres", kLaspeyres},
    {"paasche", kPaasche},
    {"fisher", kFisher},
    {"lowe", kLowe},
    {"malmquist-s", kMalmquistHs},
    {"malmquist-hs", kMalmquistHs},
    {"malmquists", kMalmquistHs},
    {"malmquisths", kMalmquistHs},
    {"malmquist-t", kMalmquistIt},
    {"malmquist-it", kMalmquistIt},
    {"malmquistt", kMalmquistIt},
    {"malmquistit", kMalmquistIt},
    {"Hicks-Moorsteen", kHicksMoorsteen},
    {"hicks-moorsteen", kHicksMoorsteen},
    {"hicksmoorsteen", kHicksMoorsteen},
    {"Fare-Primont", kFarePrimont},
    {"fare-primont", kFarePrimont},
    {"fareprimont", kFarePrimont},
    {"base", kBase},
    {"window", kWindow},
    {"vrs", kVrs},
    {"unitmeans", kUnitMeans},
    {"end", kEnd},
    {"nirs", kNirs},
    {"ndrs", kNdrs},
    {"%", kComment},
};

// A line is read with room for 999 characters and the terminator; a keyword
// has at most 399 characters (the width in kTokenFormat). The number is read
// as a 64-bit one of at most 18 characters, which always fits, and then held
// to the 32-bit range: "%d" has no defined result beyond it (glibc wraps, so
// Firms 4294967298 was read as Firms 2).
constexpr int kLineSize = 1000;
constexpr int kTokenSize = 400;
const char kTokenFormat[] = "%399s %18lld";

// The number of a command, held to the signed 32-bit range.
int CommandNumber(long long number) {
  if (number > INT32_MAX) return INT32_MAX;
  if (number < INT32_MIN) return INT32_MIN;
  return static_cast<int>(number);
}

// Unknown commands are tolerated on the first 100 lines only.
constexpr uint64_t kUnknownCommandLineLimit = 100;

// The largest panel (firms x periods) this build handles: 5000 unless the
// build sets KORU_MAX_OBSERVATIONS (a CMake cache variable).
#ifndef KORU_MAX_OBSERVATIONS
#define KORU_MAX_OBSERVATIONS 5000
#endif
constexpr uint64_t kObservationLimit = KORU_MAX_OBSERVATIONS;
static_assert(kObservationLimit >= 1 && kObservationLimit <= 1000000,
              "the limit is printed as an int and bounds the 32-bit sizes of the LP work objects");

// The most outputs, and the most inputs, this program handles. The capacity
// of the LP work matrix and tableau is NT + M + K + 10 rows and columns (their
// storage holds only the largest program a run poses); with at most 5000
// outputs and inputs these sizes stay far within 32-bit counts. (A model with
// more variables than observations rates every firm efficient anyway.)
constexpr uint64_t kVariableLimit = 5000;

const char kNoEndMessage[] = "more than 100 lines have been read and no end command found. \n";

void SetDefaults(AnalysisRecord& record) {
  record.TechRegress = 1;
  record.TechChange = 1;
  record.Vrs = 1;
  record.ScaleBound = kFreeScale;
  record.Prices = 0;
  record.UnitMeans = 0;
  record.Laspeyres = 0;
  record.Paasche = 0;
  record.Fisher = 0;
  record.Lowe = 0;
  record.MalmquistHs = 0;
  record.MalmquistIt = 0;
  record.HicksMoorsteen = 0;
  record.FarePrimont = 0;
  record.Firms = 0;
  record.Periods = 0;
  record.Outputs = 0;
  record.Inputs = 0;
  record.Base = 1;
  record.Window = 1;
}

// Reads the file's first line like fgets, skipping a UTF-8 byte-order mark
// at its very start (spreadsheets write one). Bytes that begin like a mark
// but are not one stay at the start of the line.
char* ReadFirstLine(char* line, int size, std::FILE* file) {
  static const unsigned char kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
  int matched = 0;
  while (matched < 3) {
    int c = std::getc(file);
    if (c != kByteOrderMark[matched]) {
      if (c != EOF) std::ungetc(c, file);
      break;
    }
    line[matched] = static_cast<char>(c);
    ++matched;
  }
  if (matched == 0 || matched == 3) return std::fgets(line, size, file);
  // A partial mark: its bytes (never a line end) open the line; fgets leaves
  // the terminator in place when it meets the end of the file at once.
  line[matched] = '\0';
  if (std::fgets(line + matched, size - matched, file) == nullptr && std::ferror(file)) return nullptr;
  return line;
}

// Applies one known command. Returns true for the end command.
bool ApplyCommand(AnalysisRecord& record, int code, int number) {
  switch (code) {
    case kComment: break;
    case kFirms: record.Firms = static_cast<uint32_t>(number); break;
    case kPeriods: record.Periods = static_cast<uint32_t>(number); break;
    case kOutputs: record.Outputs = static_cast<uint32_t>(number); break;
    case kInputs: record.Inputs = static_cast<uint32_t>(number); break;
    case kPrices: record.Prices = 1; break;
    case kNoTechRegress: record.TechRegress = 0; break;
    case kNoTechChange:
      record.TechChange = 0;
      record.TechRegress = 0;
      break;
    case kCrs:
      record.Vrs = 0;
      record.ScaleBound = kFreeScale;
      break;
    case kLaspeyres:
    case kPaasche:
    case kFisher:
    case kLowe:
    case kMalmquistHs:
    case kMalmquistIt:
    case kHicksMoorsteen:
    case kFarePrimont: record.*kFamilies[code - kLaspeyres].flag = 1; break;
    case kBase: record.Base = static_cast<uint32_t>(number); break;
    case kWindow: record.Window = static_cast<uint32_t>(number); break;
    case kVrs:
      record.Vrs = 1;
      record.ScaleBound = kFreeScale;
      break;
    case kNirs:
      record.Vrs = 1;
      record.ScaleBound = kNonIncreasing;
      break;
    case kNdrs:
      record.Vrs = 1;
      record.ScaleBound = kNonDecreasing;
      break;
    case kUnitMeans: record.UnitMeans = 1; break;
    case kEnd: return true;
    default: break;
  }
  return false;
}

// Reads lines until an end command; stops the run (returns false) at the end
// of the file or on an unknown command after line 100.
bool ReadCommandLines(AnalysisRecord& record, std::FILE* file) {
  char line[kLineSize] = {0};
  // Before the first line there is nothing to fall back on: no token (an
  // unknown command) and the number 0.
  char token[kTokenSize] = {0};
  long long number = 0;
  uint64_t lineCount = 0;
  for (;;) {
    char* read = lineCount == 0 ? ReadFirstLine(line, kLineSize, file) : std::fgets(line, kLineSize, file);
    if (read == nullptr) return FatalStop(kNoEndMessage);
    ++lineCount;

    // "end" at the very start ends the section whatever follows it.
    if (std::strncmp(line, "end", 3) == 0) return true;

    for (char* c = line; *c != '\0'; ++c)
      if (*c == ',') *c = ' ';
    // A missing token or number leaves the previous one in force.
    std::sscanf(line, kTokenFormat, token, &number);

    int code = std::strcmp(token, "Firms") == 0 ? static_cast<int>(kFirms) : MatchCommand(token);
    if (code == kUnknownCommand) {
      if (lineCount > kUnknownCommandLineLimit) return FatalStop(kNoEndMessage);
      ConsolePrintf("\n WARNING: %s ",
                    FormatText("ignored unknown command in line %d \n", static_cast<int>(lineCount)).c_str());
      continue;
    }
    if (ApplyCommand(record, code, CommandNumber(number))) return true;
  }
}

}  // namespace

bool ApplyConsistencyRules(AnalysisRecord& record) {
  int families = 0;
  for (const FamilyFacts& family : kFamilies) families += record.*family.flag;
  if (families == 0 && record.Prices == 0) {
    record.FarePrimont = 1;
    families = 1;
  }
  if (families == 0 && record.Prices == 1) {
    record.Lowe = 1;
    families = 1;
  }
  if (families > 1) return FatalStop("more than one type of index requested. \n");
  if (AnyChosenFamily(record, &FamilyFacts::priceBased) && record.Prices == 0)
    return FatalStop("price-based index requested but no prices available. \n");
  return true;
}

namespace {

const char* ReturnsToScaleLine(const AnalysisRecord& record) {
  if (record.Vrs != 1) return " Constant returns to scale\n";
  if (record.ScaleBound == kNonIncreasing) return " Non-increasing returns to scale\n";
  if (record.ScaleBound == kNonDecreasing) return " Non-decreasing returns to scale\n";
  return " Variable returns to scale\n";
}

}  // namespace

std::string ConfigurationText(const AnalysisRecord& record) {
  std::string text;
  // The consistency rules have left exactly one family flag set.
  text += FormatText("\n%s indexes \n", FamilyName(record));

  const int window = static_cast<int>(record.Window);
  if (record.TechRegress == 1) {
    text += FormatText(" Technical regress allowed\n");
    if (record.Window != 1) text += FormatText(" Period-t technology estimated using data from %d periods\n", window);
  }
  if (record.TechChange == 0) {
    text += FormatText(" No technical change\n");
  } else if (record.TechRegress == 0) {
    text += FormatText(" No technical regress\n");
    if (record.Window != 1) text += FormatText(" No technical change in periods 1 to %d \n", window);
  }
  text += FormatText("%s", ReturnsToScaleLine(record));
  if (record.UnitMeans == 1) text += FormatText(" Quantity variables have been re-scaled to have unit means\n");
  if (record.Periods == 1) text += FormatText("\n WARNING: %s ", "number of periods = 1 \n");
  return text;
}

namespace {

void PrintConfiguration(const AnalysisRecord& record) { ConsolePrintf("%s", ConfigurationText(record).c_str()); }

// A count is read as a signed number; a negative one wraps to above 2^31 in
// the unsigned field and is refused like 0.
bool IsPositiveCount(uint32_t count) { return count > 0 && count <= static_cast<uint32_t>(INT32_MAX); }

bool CheckCounts(const AnalysisRecord& record) {
  if (!IsPositiveCount(record.Firms)) return FatalStop("firms must be > 0 \n");
  if (!IsPositiveCount(record.Periods)) return FatalStop("periods must be > 0 \n");
  if (!IsPositiveCount(record.Outputs)) return FatalStop("outputs must be > 0 \n");
  if (!IsPositiveCount(record.Inputs)) return FatalStop("inputs must be > 0 \n");
  return true;
}

uint64_t ObservationCount(const AnalysisRecord& record) {
  return static_cast<uint64_t>(record.Firms) * static_cast<uint64_t>(record.Periods);
}

// The computation sets index periods with Window (unless there is no
// technical change) and observations with Base (fixed-base families only).
bool CheckRanges(const AnalysisRecord& record) {
  if (record.TechChange == 1 && (record.Window < 1 || record.Window > record.Periods))
    return FatalStop("window must be between 1 and the number of periods \n");
  if (record.IsFixedBase() && (record.Base < 1 || static_cast<uint64_t>(record.Base) > ObservationCount(record)))
    return FatalStop("base must be between 1 and the number of observations \n");
  return true;
}

// Tested in 64 bits before any storage is sized, so that an absurd panel
// neither wraps past the test nor asks for memory.
bool CheckObservationLimit(const AnalysisRecord& record) {
  if (ObservationCount(record) <= kObservationLimit) return true;
  PrintCounts(record);
  const std::string text = FormatText(" ERROR: number of observations exceeds maximum for this compilation of KORU = %d\n\n",
                                      static_cast<int>(kObservationLimit));
  if (RunContext* context = ThreadRunContext()) {
    context->Stop(text, StopPrompt::kTerminateSameLine);
    return false;
  }
  ConsolePrintf("%s", text.c_str());
  ConsolePrintf(" Press ENTER to terminate.");
  WaitForEnter();
  return false;
}

// Tested last, so that every other stop keeps its place; without it a count
// such as Outputs 1000000000 reached SetUpProblem and asked for gigabytes.
bool CheckVariableLimits(const AnalysisRecord& record) {
  if (record.Outputs > kVariableLimit) return FatalStop("outputs must be <= 5000 \n");
  if (record.Inputs > kVariableLimit) return FatalStop("inputs must be <= 5000 \n");
  return true;
}
static_assert(kVariableLimit == 5000, "the messages above name the limit");

}  // namespace

int MatchCommand(const char* token) {
  for (const CommandSpelling& spelling : kCommandSpellings)
    if (std::strcmp(token, spelling.keyword) == 0) return spelling.code;
  return kUnknownCommand;
}

bool CheckConfiguration(const AnalysisRecord& record) {
  return CheckCounts(record) && CheckRanges(record) && CheckObservationLimit(record) && CheckVariableLimits(record);
}

bool ReadCommandSection(AnalysisRecord& record, std::FILE* file) {
  SetDefaults(record);
  if (!ReadCommandLines(record, file) || !ApplyConsistencyRules(record)) return false;
  PrintConfiguration(record);
  return CheckConfiguration(record);
}
