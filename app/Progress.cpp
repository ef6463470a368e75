#include "app/Progress.h"

#include <cstdio>
#include <unistd.h>

#include "core/Format.h"

namespace {

constexpr std::chrono::milliseconds kRedrawInterval(100);

}  // namespace

ProgressLine::ProgressLine(const char* what, uint64_t total, const char* units)
    : m_What(what), m_Units(units), m_Total(total), m_Shown(::isatty(STDERR_FILENO) == 1) {
  m_Start = std::chrono::steady_clock::now();
  m_LastDraw = m_Start;
}

ProgressLine::~ProgressLine() { Hide(); }

void ProgressLine::Hide() {
  if (!m_Drawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  m_Drawn = false;
}

void ProgressLine::Advance(uint64_t units) {
  m_Done += units;
  if (!m_Shown) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - m_LastDraw < kRedrawInterval) return;
  m_LastDraw = now;
  Draw(now);
}

void ProgressLine::Draw(std::chrono::steady_clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - m_Start).count();
  const double percent = m_Total > 0 ? 100.0 * static_cast<double>(m_Done) / static_cast<double>(m_Total) : 100.0;
  const std::string line = FormatText("\r %s: %llu of %llu %s, %3.0f%%, %.1f s\033[K", m_What.c_str(),
                                      static_cast<unsigned long long>(m_Done),
                                      static_cast<unsigned long long>(m_Total), m_Units.c_str(), percent, seconds);
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  m_Drawn = true;
}
