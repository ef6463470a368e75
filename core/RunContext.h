#pragma once
// The library's run on the calling thread: where its console text goes, how
// a stop is recorded instead of printed, and the progress and cancel hooks.
//
// The library installs one RunContext on the thread that calls it for the
// length of the call. While one is installed, console text goes to its sink
// (or nowhere), a stop records its text and kind here instead of printing a
// prompt and waiting, and the worker pool reports progress and polls for a
// cancel through it. Without one (the unit tests calling readers and sets
// directly) everything behaves as a console run: text to the process's
// console, stops with their prompts and waits. Worker threads never see the context:
// they work on transcripts (core/Transcript.h) that the calling thread hands
// over.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// How the console program ends a stop after its text: the prompt it prints
// and the reads it waits for.
enum class StopPrompt {
  kTerminate,           // "\n Press ENTER to terminate.\n", one read
  kTerminateSameLine,   // " Press ENTER to terminate." (the observation limit), one read
  kCritical,            // no prompt, two reads (a critical error-log entry)
};

struct RunContext {
  std::function<void(const std::string&)> console;        // console text; empty: dropped
  std::function<void(int, uint64_t, uint64_t)> progress;  // set, units done, units in the set
  std::function<bool()> cancel;                           // true ends the run
  std::chrono::steady_clock::time_point lastPoll{};       // when the cancel hook was last called
  bool cancelled = false;                                 // the cancel hook said so; stays set

  // The stop that ended the run: its console text up to the prompt.
  bool stopped = false;
  std::string stopText;
  StopPrompt stopPrompt = StopPrompt::kTerminate;

  void Stop(const std::string& text, StopPrompt prompt) {
    stopped = true;
    stopText = text;
    stopPrompt = prompt;
  }
};

// The process's console outside a library call: the program that links the
// engine and has a console (the console program, app/) installs the functions
// that write standard output and read standard input. The engine itself never
// names those streams, so a host with a console of its own (R, Python) takes
// the engine as it is; without one installed, console text outside a library
// call is dropped and every read sees the end of input.
struct ProcessConsole {
  void (*write)(const char* data, std::size_t size);
  void (*flush)();
  int (*read)();  // one character, or EOF
};
void InstallProcessConsole(const ProcessConsole* console);
void WriteProcessConsole(const std::string& text);
void FlushProcessConsole();
// One character of the console's input; EOF at its end or without a console.
int ReadProcessConsole();

// The context of the library call running on this thread; nullptr outside one.
RunContext* ThreadRunContext();

// Installs a context on this thread for the life of the guard.
class RunContextGuard {
 public:
  explicit RunContextGuard(RunContext& context);
  ~RunContextGuard();
  RunContextGuard(const RunContextGuard&) = delete;
  RunContextGuard& operator=(const RunContextGuard&) = delete;

 private:
  RunContext* m_Outer;
};

// Whether the run is to end, asked between linear programs. On the calling
// thread of a library call it polls the cancel hook (at most every few
// milliseconds; once it said yes the answer stays yes); on a worker thread it
// reads the thread's abandon flag, which the calling thread raises when it
// leaves a job. False outside a library call. Nothing is thrown inside the
// engine: a cancelled program ends at once with kLPCancelled, the worker pool
// stops handing out tasks, and the library throws koru::Cancelled after the
// set in hand.
bool CancelRequested();
// The same without the wait between polls: at the boundaries of the sets.
bool CancelRequestedNow();

// The flag a worker thread checks in CancelRequested; nullptr: none.
void SetThreadAbandonFlag(const std::atomic<bool>* flag);

// A computation set's progress, reported to the progress hook of this
// thread's context (nothing outside a library call): once at the start with
// nothing done, then after every unit.
class SetProgress {
 public:
  SetProgress(int set, uint64_t total);
  void Advance();

 private:
  RunContext* m_Context;
  int m_Set;
  uint64_t m_Total;
  uint64_t m_Done = 0;
};
