// KORU: productivity measurement and decomposition for a panel of firms.
// Usage: koru [PATH]   (without PATH the input file is asked for on the console)

#include <string>

#include "app/RunSequence.h"

int main(int argc, char** argv) {
  StartUp();
  std::string path;
  if (argc > 1) {
    path = argv[1];
  } else if (!ChooseInputFile(path)) {
    return 0;
  }
  return RunKoru(path);
}
