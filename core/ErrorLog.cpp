#include "core/ErrorLog.h"

#include <cstdarg>
#include <cstring>

#include "core/FatalStop.h"
#include "core/Format.h"
#include "core/RunContext.h"
#include "core/StagedFiles.h"
#include "core/Transcript.h"

namespace {

// The label of the program each thread is working on: worker threads label
// and report their own programs.
thread_local char tContext[ErrorLog::kTextCapacity] = {0};

// Copies text into a fixed buffer, cutting it so the terminator fits.
void CopyBounded(char* dest, std::size_t capacity, const std::string& text) {
  std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

}  // namespace

ErrorLog::ErrorLog(const std::string& path) {
  m_File = std::fopen(path.c_str(), "w");
  if (m_File == nullptr) ConsolePrintf("Error opening an error file : %s\n", path.c_str());
}

ErrorLog::ErrorLog() : m_InMemory(true) {}

ErrorLog::~ErrorLog() {
  if (m_File != nullptr && m_Owned) std::fclose(m_File);
}

void ErrorLog::SetContext(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatTextV(fmt, args);
  va_end(args);
  CopyBounded(tContext, sizeof tContext, text);
}

const char* ErrorLog::Context() const { return tContext; }

void ErrorLog::AddEntry(int level, const char* message) {
  char bounded[kTextCapacity];
  CopyBounded(bounded, sizeof bounded, message);
  const std::string entry = FormatText("%s, EHL %d : %s\n\n", tContext, level, bounded);
  if (Transcript* transcript = ThreadTranscript()) {
    transcript->log += entry;
  } else {
    Append(entry);
  }
  if (level == 2) m_Critical = true;
}

void ErrorLog::Append(const std::string& entries) {
  if (m_InMemory) {
    m_Text += entries;
  } else if (m_File != nullptr) {
    // A failure is kept by the log's staged set; the run stops after the stage.
    if (WriteToStream(m_File, entries.data(), entries.size())) FlushStream(m_File);
  }
}

bool ErrorLog::CriticalStop() const {
  if (RunContext* context = ThreadRunContext()) {
    context->Stop("Critical Exit now occuring, refer to error log\n", StopPrompt::kCritical);
    return false;
  }
  ConsolePrintf("Critical Exit now occuring, refer to error log\n");
  FlushProcessConsole();
  if (!BatchMode()) {
    ReadProcessConsole();
    ReadProcessConsole();
  }
  return false;
}
