// KORU: productivity measurement and decomposition for a panel of firms.
// Usage: koru [PATH]   (without PATH the input file is asked for on the console)
// With the environment variable KORU_STATS set, a finished run also writes one
// line of solver totals (programs, pivots, element updates) to standard error,
// for the benchmark runner in bench/; no result file or console line changes.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/RunSequence.h"
#include "lp/Simplex.h"

int main(int argc, char** argv) {
  const bool printTotals = std::getenv("KORU_STATS") != nullptr;
  StartUp();
  std::string path;
  if (argc > 1) {
    path = argv[1];
  } else if (!ChooseInputFile(path)) {
    return 0;
  }
  const int status = RunKoru(path);
  if (printTotals) PrintSimplexTotals(stderr);
  return status;
}
