#include "CpuFeatures.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>

TCpuFeatures CpuFeatures()
{
    TCpuFeatures f;
    unsigned eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
    f.Sse2 = edx & bit_SSE2;
    f.Ssse3 = ecx & bit_SSSE3;
    f.Sse41 = ecx & bit_SSE4_1;
    f.Pclmul = ecx & bit_PCLMUL;
    if (!(ecx & bit_OSXSAVE) || !(ecx & bit_AVX)) return f;
    unsigned xcr0lo, xcr0hi;
    __asm__ volatile("xgetbv" : "=a"(xcr0lo), "=d"(xcr0hi) : "c"(0));
    if ((xcr0lo & 6u) != 6u || __get_cpuid_max(0, nullptr) < 7) return f;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    f.Avx2 = ebx & bit_AVX2;
    f.Vpclmul = ecx & bit_VPCLMULQDQ;
    return f;
}

#else

TCpuFeatures CpuFeatures() { return {}; }

#endif
