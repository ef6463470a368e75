/* Preloaded into one run of koru by run_faults.sh: measures how long the
 * renames that put a finished run's result files in place take, from the
 * start of the first rename to the end of the last, and writes the
 * microseconds and the count to the file named by KORU_RENAME_WINDOW. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double first = -1.0, last = 0.0;
static int count = 0;

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*) = NULL;
  if (real == NULL) real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
  const double start = now();
  const int result = real(from, to);
  if (first < 0) first = start;
  last = now();
  ++count;
  return result;
}

__attribute__((destructor)) static void report(void) {
  const char* path = getenv("KORU_RENAME_WINDOW");
  if (path == NULL || count == 0) return;
  FILE* out = fopen(path, "w");
  if (out == NULL) return;
  fprintf(out, "%d %.1f\n", count, last - first);
  fclose(out);
}
