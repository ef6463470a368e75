// KORU: productivity measurement and decomposition for a panel of firms.
// Usage: koru [OPTIONS] [--] [PATH]   (koru --help lists the options; without
// PATH the input file is asked for on the console)
// With the environment variable KORU_STATS set, a finished run also writes one
// line of solver totals (programs, pivots, element updates) to standard error,
// for the benchmark runner in bench/; no result file or console line changes.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Options.h"
#include "app/RunSequence.h"
#include "core/FatalStop.h"
#include "lp/Simplex.h"

int main(int argc, char** argv) {
  InstallStandardConsole();
  // Options are read before the banner: a usage error prints one line only.
  const CommandLine line = ParseCommandLine(argc, argv);
  switch (line.action) {
    case CommandLine::Action::Help:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case CommandLine::Action::Version:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case CommandLine::Action::UsageError:
      std::fputs(UsageErrorLine(line.problem).c_str(), stderr);
      return kUsageStatus;
    case CommandLine::Action::Run:
      break;
  }

  const bool printTotals = std::getenv("KORU_STATS") != nullptr;
  SetBatchMode(line.options.batch);
  StartUp();
  SimplexTotals totals;
  std::string path = line.path;
  if (!line.options.table.given && !line.hasPath && !ChooseInputFile(path)) return 0;
  const int status =
      line.options.table.given ? RunKoruOnTable(line.options, &totals) : RunKoru(path, line.options, &totals);
  if (printTotals) PrintSimplexTotals(stderr, totals);
  return status;
}
