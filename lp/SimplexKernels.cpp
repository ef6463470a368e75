#include "lp/SimplexKernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

extern const SimplexKernels kSimplexKernels_plain;
#if defined(KORU_VECTOR_KERNELS)
extern const SimplexKernels kSimplexKernels_avx2;
extern const SimplexKernels kSimplexKernels_avx512;
#endif

namespace {

bool Runs(VectorPath path) {
  switch (path) {
    case VectorPath::kPlain: return true;
#if defined(KORU_VECTOR_KERNELS)
    case VectorPath::kAvx2: return __builtin_cpu_supports("avx2") != 0;
    case VectorPath::kAvx512: return __builtin_cpu_supports("avx512f") != 0;
#else
    default: return false;
#endif
  }
  return false;
}

const SimplexKernels& KernelsOf(VectorPath path) {
#if defined(KORU_VECTOR_KERNELS)
  if (path == VectorPath::kAvx512) return kSimplexKernels_avx512;
  if (path == VectorPath::kAvx2) return kSimplexKernels_avx2;
#endif
  (void)path;
  return kSimplexKernels_plain;
}

// KORU_VECTOR=plain, avx2 or avx512 chooses a narrower path than the widest,
// for measuring the paths against one another; a path the processor cannot
// run, or any other value, leaves the widest.
VectorPath InitialPath() {
  VectorPath path = BestVectorPath();
  const char* chosen = std::getenv("KORU_VECTOR");
  if (chosen == nullptr) return path;
  for (VectorPath candidate : {VectorPath::kPlain, VectorPath::kAvx2, VectorPath::kAvx512}) {
    if (std::strcmp(chosen, KernelsOf(candidate).name) == 0 && Runs(candidate)) path = candidate;
  }
  return path;
}

struct ActiveChoice {
  std::atomic<int> path;
  ActiveChoice() : path(static_cast<int>(InitialPath())) {}
};

ActiveChoice& Choice() {
  static ActiveChoice choice;
  return choice;
}

}  // namespace

VectorPath BestVectorPath() {
  if (Runs(VectorPath::kAvx512)) return VectorPath::kAvx512;
  if (Runs(VectorPath::kAvx2)) return VectorPath::kAvx2;
  return VectorPath::kPlain;
}

const char* VectorPathName(VectorPath path) { return KernelsOf(path).name; }

const char* VectorPathUnavailable(VectorPath path) {
  if (Runs(path)) return nullptr;
#if defined(KORU_VECTOR_KERNELS)
  return path == VectorPath::kAvx512 ? "the processor has no AVX-512F" : "the processor has no AVX2";
#else
  return "this build has no vector kernels (they are built for x86-64 only)";
#endif
}

VectorPath ActiveVectorPath() { return static_cast<VectorPath>(Choice().path.load(std::memory_order_relaxed)); }

const SimplexKernels& ActiveSimplexKernels() { return KernelsOf(ActiveVectorPath()); }

bool UseVectorPath(VectorPath path) {
  if (!Runs(path)) return false;
  Choice().path.store(static_cast<int>(path), std::memory_order_relaxed);
  return true;
}
