#include "core/FatalStop.h"

#include <atomic>

#include "core/Format.h"
#include "core/RunContext.h"

namespace {

std::atomic<bool> gBatchMode{false};

}  // namespace

void SetBatchMode(bool on) { gBatchMode = on; }

bool BatchMode() { return gBatchMode; }

void WaitForEnter() {
  FlushProcessConsole();
  if (BatchMode()) return;
  ReadProcessConsole();
}

bool FatalStop(const char* message) {
  if (RunContext* context = ThreadRunContext()) {
    context->Stop(FormatText("\n ERROR: %s ", message), StopPrompt::kTerminate);
    return false;
  }
  ConsolePrintf("\n ERROR: %s ", message);
  ConsolePrintf("\n Press ENTER to terminate.\n");
  WaitForEnter();
  return false;
}
