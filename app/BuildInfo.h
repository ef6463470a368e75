#pragma once
// What this build and this processor give a run, for `koru --version`.

// The number of processors the process may run on (its affinity mask), at
// least 1: the worker threads a run uses without --threads.
unsigned DefaultThreadCount();

// The widest vector instructions the processor offers: "avx512", "avx2" or
// "plain".
const char* VectorPathName();
