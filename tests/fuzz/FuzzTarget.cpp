// libFuzzer target: every input is a whole input file. KORU ends many runs
// with exit(1) (the fatal stop, the READ ERROR block, the observation limit),
// so each input runs in a child process:
//
//   exit status 0 or 1             one of the program's own outcomes (a
//                                  finished run, a stop): fine;
//   any other status, or a signal  a finding (a sanitizer report, which ends
//                                  with status 86 here, a crash);
//   killed by the alarm            a finding (a hang).
//
// On a finding the parent aborts, and libFuzzer saves the input as a crash.
// The child's coverage counters are copied into a shared block at its exit
// and back into the parent's own counters, so the fuzzer still sees which
// paths each input took.
//
// Built twice: koru_fuzz_run runs the whole sequence (reading, Sets 1 to 6,
// the four result files); koru_fuzz_reader (KORU_FUZZ_READER_ONLY) only reads
// the input file, which is many times faster.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/AnalysisRecord.h"
#include "core/FatalStop.h"
#include "app/RunSequence.h"
#include "input/InputFile.h"

// The inline 8-bit coverage counters of every instrumented module
// (CoverageCounters.cpp).
uint8_t* CoverageCountersBegin();
uint8_t* CoverageCountersEnd();

namespace {

// Seconds a child may run before it counts as hung. Inputs are small panels
// (libFuzzer's -max_len), which finish in well under a second; the margin
// covers programs that run to the simplex step limit.
constexpr unsigned kChildSeconds = 30;

uint8_t* gCounters = nullptr;
uint8_t* gSharedCounters = nullptr;
std::size_t gCounterBytes = 0;
std::string gDirectory;
std::string gInputPath;

// At the fuzzer's normal end: the input file, the files a run writes beside
// it, and the directory. (A child never gets here: it ends in
// CopyCountersAndExit.)
void RemoveDirectory() {
  for (const char* name : {"fuzz_input.csv", "fuzz_output_indexes.csv", "fuzz_output_levels.csv",
                           "fuzz_output_shadowprices.csv", "fuzz_output_xtras.csv", "fuzz_output_xxerrors.txt"})
    ::unlink((gDirectory + "/" + name).c_str());
  ::rmdir(gDirectory.c_str());
}

// Once per fuzzing process: the shared counter block and a private directory
// whose file the children read.
void SetUpOnce() {
  if (!gInputPath.empty()) return;
  gCounters = CoverageCountersBegin();
  if (gCounters != nullptr && CoverageCountersEnd() != nullptr)
    gCounterBytes = static_cast<std::size_t>(CoverageCountersEnd() - gCounters);
  if (gCounterBytes > 0) {
    void* block = ::mmap(nullptr, gCounterBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
      std::perror("koru_fuzz: mmap");
      std::abort();
    }
    gSharedCounters = static_cast<uint8_t*>(block);
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/koru_fuzz_XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) {
    std::perror("koru_fuzz: mkdtemp");
    std::abort();
  }
  gDirectory = pattern;
  gInputPath = gDirectory + "/fuzz_input.csv";
  std::atexit(RemoveDirectory);
}

// Runs in the child at its exit, before anything libFuzzer registered in the
// parent: hands the coverage to the parent and ends with the child's status.
void CopyCountersAndExit(int status, void*) {
  if (gSharedCounters != nullptr) std::memcpy(gSharedCounters, gCounters, gCounterBytes);
  ::_exit(status);
}

// Plain system calls: nothing is allocated in the parent per input, so its
// memory, which every fork copies the page tables of, stays small.
bool WriteInput(const uint8_t* data, std::size_t size) {
  const int file = ::open(gInputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (file < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(file, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return ::close(file) == 0 && done == size;
}

[[noreturn]] void RunChild() {
  std::signal(SIGALRM, SIG_DFL);
  ::alarm(kChildSeconds);
  // The console goes nowhere; every "Press ENTER" meets the end of input.
  const int null = ::open("/dev/null", O_RDWR);
  if (null < 0) ::_exit(97);
  ::dup2(null, STDIN_FILENO);
  ::dup2(null, STDOUT_FILENO);
  ::on_exit(CopyCountersAndExit, nullptr);
#ifdef KORU_FUZZ_READER_ONLY
  static AnalysisRecord record;
  ReadInputFile(record, gInputPath);
  std::exit(0);
#else
  std::exit(RunKoru(gInputPath));
#endif
}

}  // namespace

// A sanitizer report ends the process with a status of its own: the default,
// 1, is the status of the program's own stops.
extern "C" const char* __asan_default_options() { return "exitcode=86"; }
extern "C" const char* __ubsan_default_options() { return "exitcode=86"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  SetUpOnce();
  if (!WriteInput(data, size)) {
    std::perror("koru_fuzz: writing the input file");
    std::abort();
  }
  if (gSharedCounters != nullptr) std::memset(gSharedCounters, 0, gCounterBytes);
  std::fflush(nullptr);

  const pid_t child = ::fork();
  if (child < 0) {
    std::perror("koru_fuzz: fork");
    std::abort();
  }
  if (child == 0) RunChild();

  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      std::perror("koru_fuzz: waitpid");
      std::abort();
    }
  }
  if (WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == kStoppedStatus)) {
    if (gSharedCounters != nullptr) std::memcpy(gCounters, gSharedCounters, gCounterBytes);
    return 0;
  }
  if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
    std::fprintf(stderr, "koru_fuzz: the run did not end within %u seconds\n", kChildSeconds);
  else if (WIFSIGNALED(status))
    std::fprintf(stderr, "koru_fuzz: the run was ended by signal %d\n", WTERMSIG(status));
  else
    std::fprintf(stderr, "koru_fuzz: the run ended with status %d\n", WEXITSTATUS(status));
  std::abort();
}
