#include "core/RunContext.h"

#include <cstdio>

namespace {

thread_local RunContext* tRunContext = nullptr;
thread_local const std::atomic<bool>* tAbandon = nullptr;

// How often the calling thread asks the cancel hook between programs.
constexpr std::chrono::milliseconds kCancelPollInterval(5);

std::atomic<const ProcessConsole*> gProcessConsole{nullptr};

}  // namespace

void InstallProcessConsole(const ProcessConsole* console) { gProcessConsole = console; }

void WriteProcessConsole(const std::string& text) {
  const ProcessConsole* console = gProcessConsole;
  if (console != nullptr && console->write != nullptr) console->write(text.data(), text.size());
}

void FlushProcessConsole() {
  const ProcessConsole* console = gProcessConsole;
  if (console != nullptr && console->flush != nullptr) console->flush();
}

int ReadProcessConsole() {
  const ProcessConsole* console = gProcessConsole;
  if (console == nullptr || console->read == nullptr) return EOF;
  return console->read();
}

RunContext* ThreadRunContext() { return tRunContext; }

RunContextGuard::RunContextGuard(RunContext& context) : m_Outer(tRunContext) { tRunContext = &context; }

RunContextGuard::~RunContextGuard() { tRunContext = m_Outer; }

bool CancelRequested() {
  if (tAbandon != nullptr && tAbandon->load(std::memory_order_relaxed)) return true;
  RunContext* context = tRunContext;
  if (context == nullptr || !context->cancel) return false;
  if (context->cancelled) return true;
  const auto now = std::chrono::steady_clock::now();
  if (now - context->lastPoll < kCancelPollInterval) return false;
  context->lastPoll = now;
  context->cancelled = context->cancel();
  return context->cancelled;
}

bool CancelRequestedNow() {
  RunContext* context = tRunContext;
  if (context == nullptr || !context->cancel) return false;
  if (context->cancelled) return true;
  context->lastPoll = std::chrono::steady_clock::now();
  context->cancelled = context->cancel();
  return context->cancelled;
}

void SetThreadAbandonFlag(const std::atomic<bool>* flag) { tAbandon = flag; }

SetProgress::SetProgress(int set, uint64_t total) : m_Context(tRunContext), m_Set(set), m_Total(total) {
  if (m_Context != nullptr && m_Context->progress) m_Context->progress(m_Set, 0, m_Total);
}

void SetProgress::Advance() {
  ++m_Done;
  if (m_Context != nullptr && m_Context->progress) m_Context->progress(m_Set, m_Done, m_Total);
}
