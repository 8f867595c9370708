// What this CPU offers the vector paths of the checksum and of the PAR2 field, as CPUID tells it.
// The 256-bit ones count only where the system also saves the 256-bit registers (OSXSAVE, and
// XCR0 with SSE and AVX state). All false on other processors.
#pragma once

struct TCpuFeatures {
    bool Sse2 = false, Ssse3 = false, Sse41 = false, Pclmul = false;
    bool Avx2 = false, Vpclmul = false;  // usable: the system saves their registers
};
TCpuFeatures CpuFeatures();
