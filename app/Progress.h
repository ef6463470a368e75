#pragma once
// One progress line on standard error for a long computation set: the set,
// the units (observations, replicates) done of the total, the percentage and
// the time elapsed, redrawn in place at most ten times a second and cleared
// when the set ends.
// Nothing at all is written unless standard error is a terminal, so files,
// pipes and CI logs never see it; standard output is never touched.

#include <chrono>
#include <cstdint>
#include <string>

class ProgressLine {
 public:
  // `what` names the set, e.g. "Set 1"; `total` counts its units of work,
  // which `units` names.
  ProgressLine(const char* what, uint64_t total, const char* units = "observations");
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Advance(uint64_t units = 1);

  // Clears the line before console text goes out on the same terminal; the
  // next Advance draws it again.
  void Hide();

 private:
  void Draw(std::chrono::steady_clock::time_point now);

  std::string m_What;
  std::string m_Units;
  uint64_t m_Total;
  uint64_t m_Done = 0;
  bool m_Shown;  // standard error is a terminal
  bool m_Drawn = false;
  std::chrono::steady_clock::time_point m_Start;
  std::chrono::steady_clock::time_point m_LastDraw;
};
