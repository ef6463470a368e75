// libFuzzer target: every input is a whole input file, run in this process.
// Every stop of a run returns its status to the caller, so a run ends with
//
//   status 0 or 1                  one of the program's own outcomes (a
//                                  finished run, a stop): fine;
//   any other status               a finding (the parent aborts, and
//                                  libFuzzer saves the input as a crash);
//
// and sanitizer reports, crashes and hangs (libFuzzer's -timeout) are
// findings of libFuzzer's own. Batch mode keeps every "Press ENTER" from
// reading; the console goes to /dev/null.
//
// Built twice: koru_fuzz_run runs the whole sequence (reading, Sets 1 to 6,
// the four result files) on two workers; koru_fuzz_reader
// (KORU_FUZZ_READER_ONLY) only reads the input file, which is many times
// faster.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/RunSequence.h"
#include "core/AnalysisRecord.h"
#include "core/FatalStop.h"
#include "input/InputFile.h"

namespace {

std::string gDirectory;
std::string gInputPath;

// At the fuzzer's normal end: the input file, the files a run writes beside
// it, and the directory.
void RemoveDirectory() {
  for (const char* name : {"fuzz_input.csv", "fuzz_output_indexes.csv", "fuzz_output_levels.csv",
                           "fuzz_output_shadowprices.csv", "fuzz_output_xtras.csv", "fuzz_output_xxerrors.txt"})
    ::unlink((gDirectory + "/" + name).c_str());
  ::rmdir(gDirectory.c_str());
}

// Once per fuzzing process: a private directory for the input file and the
// result files, the console sent nowhere, no waits.
void SetUpOnce() {
  if (!gInputPath.empty()) return;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/koru_fuzz_XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) {
    std::perror("koru_fuzz: mkdtemp");
    std::abort();
  }
  gDirectory = pattern;
  gInputPath = gDirectory + "/fuzz_input.csv";
  std::atexit(RemoveDirectory);

  const int null = ::open("/dev/null", O_RDWR);
  if (null < 0 || ::dup2(null, STDIN_FILENO) < 0 || ::dup2(null, STDOUT_FILENO) < 0) {
    std::perror("koru_fuzz: /dev/null");
    std::abort();
  }
  SetBatchMode(true);
}

bool WriteInput(const uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(gInputPath.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  SetUpOnce();
  if (!WriteInput(data, size)) {
    std::perror("koru_fuzz: writing the input file");
    std::abort();
  }
#ifdef KORU_FUZZ_READER_ONLY
  AnalysisRecord record;
  ReadInputFile(record, gInputPath);
#else
  // Whole runs are for small panels. A short line can ask for thousands of
  // outputs or inputs: a panel of one observation and 2001 outputs takes
  // about 20 s in a Release build and many minutes under the sanitizers'
  // and the fuzzer's instrumentation without being hung, so such inputs are
  // only read (koru_fuzz_reader covers reading them).
  constexpr uint32_t kLargestRunVariables = 100;
  {
    AnalysisRecord record;
    if (ReadInputFile(record, gInputPath) && record.Outputs + record.Inputs > kLargestRunVariables) return 0;
  }
  RunOptions options;
  options.threads = 2;
  options.batch = true;
  const int status = RunKoru(gInputPath, options);
  if (status != 0 && status != kStoppedStatus) {
    std::fprintf(stderr, "koru_fuzz: the run ended with status %d\n", status);
    std::abort();
  }
#endif
  std::fflush(stdout);
  return 0;
}
