// The bounds of the inline 8-bit coverage counters of the whole program: the
// linker places every instrumented module's counters in one section and
// defines its start and stop. This file is compiled without instrumentation:
// a module that carries counters and also names these bounds is no longer
// registered with libFuzzer (its coverage would go unseen).

#include <cstdint>

extern "C" {
extern uint8_t __start___sancov_cntrs[] __attribute__((weak));
extern uint8_t __stop___sancov_cntrs[] __attribute__((weak));
}

uint8_t* CoverageCountersBegin() { return __start___sancov_cntrs; }
uint8_t* CoverageCountersEnd() { return __stop___sancov_cntrs; }
