// Timings of the library (include/koru/koru.h) for bench/README.md:
//
//   library_bench run PATH THREADS        read, analyze, write the result files
//                                          beside PATH; prints the seconds of each
//   library_bench cancel PATH THREADS MS   cancels the analysis MS milliseconds
//                                          after it started; prints the latency
//                                          from the cancel to koru::Cancelled
//
// The cancel is a flag another thread raises; the cancel hook, polled by the
// calling thread between programs, returns it. The latency runs from raising
// the flag to catching the exception (the hook's poll interval, the program
// in hand on the calling thread and the helpers' programs in hand).

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <koru/koru.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

int Usage() {
  std::fputs("usage: library_bench run PATH THREADS | library_bench cancel PATH THREADS MS\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string mode = argv[1];
  const std::string path = argv[2];
  const unsigned threads = static_cast<unsigned>(std::atoi(argv[3]));
  try {
    const Clock::time_point start = Clock::now();
    const koru::InputFile input = koru::read_input_file(path);
    koru::Settings settings = input.settings;
    settings.threads = threads;
    const Clock::time_point read = Clock::now();
    if (mode == "run") {
      const koru::Results results = koru::analyze(input.panel, settings);
      const Clock::time_point analysed = Clock::now();
      koru::write_result_files(results, path.substr(0, path.size() - 10));
      const Clock::time_point written = Clock::now();
      std::printf("read %.3f s, analyze %.3f s, write %.3f s, total %.3f s, programs %llu\n", Seconds(start, read),
                  Seconds(read, analysed), Seconds(analysed, written), Seconds(start, written),
                  static_cast<unsigned long long>(results.programsSolved));
      return 0;
    }
    if (mode != "cancel" || argc < 5) return Usage();
    const int delay = std::atoi(argv[4]);
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> raisedAt{0};
    std::thread timer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      raisedAt = Clock::now().time_since_epoch().count();
      cancel = true;
    });
    koru::Hooks hooks;
    hooks.cancel = [&] { return cancel.load(); };
    try {
      koru::analyze(input.panel, settings, hooks);
      timer.join();
      std::printf("finished before the cancel\n");
    } catch (const koru::Cancelled&) {
      const Clock::time_point caught = Clock::now();
      timer.join();
      const Clock::time_point raised{Clock::duration(raisedAt.load())};
      std::printf("cancelled %d ms after the start: latency %.2f ms\n", delay, 1000.0 * Seconds(raised, caught));
    }
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
