#pragma once
// A fixed set of worker threads that solve the independent programs of one
// stage, each in its own LPWorkspace, while the results come out exactly as
// a sequential run writes them.
//
// Run(count, task) calls task(index, worker) once for every index
// 0..count-1, on any worker, several at a time. Each call runs with its own
// Transcript installed (core/Transcript.h), so the console text, error-log
// entries and program outcomes it produces are held back; the calling thread
// hands them over in index order. A task may write only the results that
// belong to its own index, and read only what no task of the same Run
// writes. The calling thread is worker 0 and runs tasks too; with one worker
// everything runs on it, one task after another.
//
// A library call may be cancelled (core/RunContext.h): the calling thread
// then stops handing out tasks and handing over their output, raises the
// pool's abandon flag, which the helpers' programs check before they solve,
// and returns once every helper has left the job. The flag stays raised: a
// later Run of the same pool returns at once.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Transcript.h"
#include "lp/Workspace.h"

class ErrorLog;
class SetProgress;

// The number of processors the process may run on (its CPU affinity), at
// least 1: the default number of workers.
unsigned DefaultThreadCount();

class WorkerPool {
 public:
  using Task = std::function<void(uint32_t index, unsigned worker)>;

  // Starts threads - 1 helper threads (threads >= 1).
  explicit WorkerPool(unsigned threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned Size() const { return static_cast<unsigned>(m_Workspaces.size()); }
  LPWorkspace& Workspace(unsigned worker) { return *m_Workspaces[worker]; }

  // Where the held-back output goes: the error log (nullptr: none) and the
  // tally of the run's programs.
  void SetOutput(ErrorLog* log, ProgramTally* tally) {
    m_Log = log;
    m_Tally = tally;
  }

  // Runs the tasks and hands over their output in index order; advances
  // `progress` (when given) by one per task handed over.
  void Run(uint32_t count, const Task& task, SetProgress* progress = nullptr);

 private:
  void HelperLoop(unsigned worker);
  // Takes the next index of the current job; false when none is left.
  bool TakeTask(uint32_t& index);
  // Runs one task with its transcript installed and marks it ended.
  void RunTask(uint32_t index, unsigned worker);
  // Takes and runs tasks of the current job until none is left.
  void RunTasks(unsigned worker);
  // Sends an ended task's output on and frees its transcript.
  void HandOver(uint32_t index);
  // Hands the tasks over in index order, running tasks of its own meanwhile;
  // false when the run was cancelled before all were handed over.
  bool HandOverAll(uint32_t count, SetProgress* progress);
  // Ends the current job once every helper has left it.
  void FinishJob();

  std::vector<std::unique_ptr<LPWorkspace>> m_Workspaces;
  std::vector<std::thread> m_Helpers;
  ErrorLog* m_Log = nullptr;
  ProgramTally* m_Tally = nullptr;

  // The current job, guarded by m_Mutex except where noted.
  std::mutex m_Mutex;
  std::condition_variable m_JobStarted;   // helpers wait here for a job
  std::condition_variable m_TaskDone;     // the calling thread waits here
  const Task* m_Task = nullptr;
  uint32_t m_Count = 0;
  uint32_t m_Next = 0;                    // next index to take
  uint64_t m_Job = 0;                     // job number, raised per Run
  unsigned m_Busy = 0;                    // helpers working on the current job
  bool m_Stopping = false;
  std::atomic<bool> m_Abandon{false};     // the run was cancelled: helpers stop solving
  std::vector<Transcript> m_Transcripts;  // one per index of the current job
  std::vector<char> m_Done;               // 1 once the task of that index ended
};
