#include "core/ErrorLog.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "core/Format.h"

namespace {

// Copies text into a fixed buffer, cutting it so the terminator fits.
void CopyBounded(char* dest, std::size_t capacity, const std::string& text) {
  std::size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

}  // namespace

ErrorLog::ErrorLog(const std::string& path) : m_Path(path) {
  m_File = std::fopen(path.c_str(), "w");
  if (m_File == nullptr) ConsolePrintf("Error opening an error file : %s\n", path.c_str());
}

ErrorLog::~ErrorLog() {
  if (m_File != nullptr) std::fclose(m_File);
}

void ErrorLog::SetContext(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = FormatTextV(fmt, args);
  va_end(args);
  CopyBounded(m_Context, sizeof m_Context, text);
}

void ErrorLog::AddEntry(int level, const char* message) {
  CopyBounded(m_Message, sizeof m_Message, message);
  m_Level = level;
  if (m_File != nullptr) {
    FilePrintf(m_File, "%s, EHL %d : %s\n\n", m_Context, m_Level, m_Message);
    std::fflush(m_File);
  }
  if (m_Level == 2) {
    ConsolePrintf("Critical Exit now occuring, refer to error log\n");
    std::fflush(stdout);
    std::getchar();
    std::getchar();
    std::exit(1);
  }
}
