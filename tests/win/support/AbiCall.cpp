#include "AbiCall.h"

#if defined(__i386__)
extern "C" {
// Scratch shared with the thunk; the thunk is called from one thread at a time. zt_regs receives
// a PUSHAD image taken right after the call: EDI, ESI, EBP, (ESP), EBX, EDX, ECX, EAX.
uint32_t zt_fn, zt_eax, zt_saved_esp, zt_esp_before, zt_esp_after, zt_regs[8];
void zt_call(const uint32_t* args, uint32_t count);
}

// zt_call(args, count): saves every register, pushes args[count-1] ... args[0], sets EBX, ESI,
// EDI and EBP to sentinels and EAX to zt_eax, calls zt_fn, records ESP and (with the stack pointer
// briefly at the end of zt_regs) all registers, then returns on its own saved frame.
asm(R"(
    .text
    .globl _zt_call
_zt_call:
    pushal
    movl  %esp, _zt_saved_esp
    movl  36(%esp), %esi
    movl  40(%esp), %ecx
1:  jecxz 2f
    pushl -4(%esi,%ecx,4)
    loop  1b
2:  movl  %esp, _zt_esp_before
    movl  $0x11111111, %ebx
    movl  $0x22222222, %esi
    movl  $0x33333333, %edi
    movl  $0x44444444, %ebp
    movl  _zt_eax, %eax
    call  *_zt_fn
    movl  %esp, _zt_esp_after
    movl  $_zt_regs+32, %esp
    pushal
    movl  _zt_saved_esp, %esp
    popal
    ret
)");

TAbiCall AbiCall(const void* fn, uint32_t eax, const std::vector<uint32_t>& args)
{
    zt_fn = reinterpret_cast<uint32_t>(fn);
    zt_eax = eax;
    zt_call(args.data(), static_cast<uint32_t>(args.size()));
    return {zt_regs[7], static_cast<int32_t>(zt_esp_after - zt_esp_before),
            zt_regs[4] == 0x11111111 && zt_regs[1] == 0x22222222 && zt_regs[0] == 0x33333333 &&
                zt_regs[2] == 0x44444444};
}
#else
TAbiCall AbiCall(const void*, uint32_t, const std::vector<uint32_t>&) { return {}; }
#endif
