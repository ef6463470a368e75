#include "lp/WorkerPool.h"

#include <sched.h>

#include "core/RunContext.h"

unsigned DefaultThreadCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count >= 1) return static_cast<unsigned>(count);
  }
  const unsigned reported = std::thread::hardware_concurrency();
  return reported >= 1 ? reported : 1;
}

WorkerPool::WorkerPool(unsigned threads) {
  if (threads < 1) threads = 1;
  for (unsigned w = 0; w < threads; ++w) m_Workspaces.push_back(std::make_unique<LPWorkspace>());
  for (unsigned w = 1; w < threads; ++w) m_Helpers.emplace_back(&WorkerPool::HelperLoop, this, w);
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Stopping = true;
  }
  m_JobStarted.notify_all();
  for (std::thread& helper : m_Helpers) helper.join();
}

void WorkerPool::HelperLoop(unsigned worker) {
  SetThreadAbandonFlag(&m_Abandon);
  uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(m_Mutex);
      m_JobStarted.wait(lock, [&] { return m_Stopping || m_Job != seen; });
      if (m_Stopping) return;
      seen = m_Job;
      ++m_Busy;
    }
    RunTasks(worker);
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      --m_Busy;
    }
    m_TaskDone.notify_all();
  }
}

bool WorkerPool::TakeTask(uint32_t& index) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  if (m_Next >= m_Count) return false;
  index = m_Next++;
  return true;
}

void WorkerPool::RunTask(uint32_t index, unsigned worker) {
  struct InstalledTranscript {
    Transcript* outer = ThreadTranscript();
    explicit InstalledTranscript(Transcript* own) { SetThreadTranscript(own); }
    ~InstalledTranscript() { SetThreadTranscript(outer); }
  };
  {
    InstalledTranscript installed(&m_Transcripts[index]);
    (*m_Task)(index, worker);
  }
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Done[index] = 1;
  }
  m_TaskDone.notify_all();
}

void WorkerPool::RunTasks(unsigned worker) {
  uint32_t index;
  while (TakeTask(index)) RunTask(index, worker);
}

void WorkerPool::HandOver(uint32_t index) {
  Transcript& transcript = m_Transcripts[index];
  ProgramTally discarded;
  EmitTranscript(transcript, m_Log, m_Tally != nullptr ? *m_Tally : discarded);
  transcript = Transcript();  // frees what the task held
}

void WorkerPool::Run(uint32_t count, const Task& task, SetProgress* progress) {
  if (count == 0 || m_Abandon.load(std::memory_order_relaxed)) return;
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Task = &task;
    m_Count = count;
    m_Next = 0;
    m_Transcripts.clear();
    m_Transcripts.resize(count);
    m_Done.assign(count, 0);
    ++m_Job;
  }
  if (!m_Helpers.empty()) m_JobStarted.notify_all();
  if (!HandOverAll(count, progress)) {
    // Cancelled: no task is handed out any more and the helpers' programs
    // end at their next check.
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      m_Next = m_Count;
    }
    m_Abandon.store(true, std::memory_order_relaxed);
  }
  FinishJob();
}

bool WorkerPool::HandOverAll(uint32_t count, SetProgress* progress) {
  // The calling thread is worker 0: it hands over, in index order, every
  // task that has ended, and while the next one is still running it takes a
  // task of its own, or waits when none is left (looking up now and then
  // for a cancel).
  constexpr std::chrono::milliseconds kCancelWait(5);
  uint32_t handed = 0;
  while (handed < count) {
    if (CancelRequested()) return false;
    bool ended;
    {
      std::lock_guard<std::mutex> lock(m_Mutex);
      ended = m_Done[handed] != 0;
    }
    if (ended) {
      HandOver(handed);
      ++handed;
      if (progress != nullptr) progress->Advance();
      continue;
    }
    uint32_t index;
    if (TakeTask(index)) {
      RunTask(index, 0);
      continue;
    }
    std::unique_lock<std::mutex> lock(m_Mutex);
    m_TaskDone.wait_for(lock, kCancelWait, [&] { return m_Done[handed] != 0; });
  }
  return true;
}

void WorkerPool::FinishJob() {
  // Every helper leaves the job before the task goes out of scope.
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_TaskDone.wait(lock, [&] { return m_Busy == 0; });
  m_Task = nullptr;
  m_Count = 0;
}
