// Processor feature queries for the kernels that have faster paths than the
// SSE2 base.  Nothing is cached (the library keeps no global state), and a
// CPUID instruction can cost microseconds under virtualisation, so callers ask
// only before work large enough to hide that cost.
#pragma once

namespace orvdc {

bool cpuHasPclmul();  // carry-less multiplication (with SSE4.1)
bool cpuHasSsse3();
bool cpuHasAvx2();    // AVX2 and the operating system saves the YMM state

}  // namespace orvdc
