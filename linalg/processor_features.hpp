// Which copy of a hot loop the processor runs: the baseline x86-64 one or
// the AVX2 one.
#pragma once

#include <cpuid.h>
#include <immintrin.h>

namespace zorvak {

// Whether the processor has AVX2 and the system saves its registers, as
// CPUID and XCR0 tell.  Asked here rather than through the compiler's
// runtime (target_clones, __builtin_cpu_supports), which zig's leaves
// empty, so that the wheels would always take the baseline copy.
[[gnu::target("xsave")]] inline bool processor_runs_avx2() {
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return false;
    constexpr unsigned long long sse_and_avx_state = 0x6;
    if ((_xgetbv(0) & sse_and_avx_state) != sse_and_avx_state) return false;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_AVX2);
}

// Asked once a process.
inline bool use_avx2() {
    static const bool avx2 = processor_runs_avx2();
    return avx2;
}

}  // namespace zorvak
