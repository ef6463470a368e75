#include "core/FatalStop.h"

#include <cstdio>
#include <cstdlib>

#include "core/Format.h"

void WaitForEnter() {
  std::fflush(stdout);
  std::getchar();
}

void FatalStop(const char* message) {
  ConsolePrintf("\n ERROR: %s ", message);
  ConsolePrintf("\n Press ENTER to terminate.\n");
  WaitForEnter();
  std::exit(0);
}
