#include "AbiCall.h"

#if defined(__i386__)
extern "C" {
// Scratch shared with the thunk; the thunk is called from one thread at a time.
uint32_t zt_fn, zt_eax, zt_saved_ebp, zt_esp_before, zt_esp_after, zt_result;
uint32_t zt_ebx, zt_esi, zt_edi, zt_ebp;
void zt_call(const uint32_t* args, uint32_t count);
}

// zt_call(args, count): pushes args[count-1] ... args[0], sets EBX/ESI/EDI/EBP to sentinels and
// EAX to zt_eax, calls zt_fn, records ESP and the four registers, then restores its own frame.
asm(R"(
    .text
    .globl _zt_call
_zt_call:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  8(%ebp), %esi
    movl  12(%ebp), %ecx
1:  testl %ecx, %ecx
    jz    2f
    decl  %ecx
    pushl (%esi,%ecx,4)
    jmp   1b
2:  movl  %ebp, _zt_saved_ebp
    movl  %esp, _zt_esp_before
    movl  $0x11111111, %ebx
    movl  $0x22222222, %esi
    movl  $0x33333333, %edi
    movl  $0x44444444, %ebp
    movl  _zt_eax, %eax
    call  *_zt_fn
    movl  %esp, _zt_esp_after
    movl  %ebx, _zt_ebx
    movl  %esi, _zt_esi
    movl  %edi, _zt_edi
    movl  %ebp, _zt_ebp
    movl  %eax, _zt_result
    movl  _zt_saved_ebp, %ebp
    leal  -12(%ebp), %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

TAbiCall AbiCall(const void* fn, uint32_t eax, const std::vector<uint32_t>& args)
{
    zt_fn = reinterpret_cast<uint32_t>(fn);
    zt_eax = eax;
    zt_call(args.data(), static_cast<uint32_t>(args.size()));
    TAbiCall r;
    r.Result = zt_result;
    r.StackRemoved = static_cast<int32_t>(zt_esp_after - zt_esp_before);
    r.RegistersPreserved = zt_ebx == 0x11111111 && zt_esi == 0x22222222 && zt_edi == 0x33333333 &&
                           zt_ebp == 0x44444444;
    return r;
}
#else
TAbiCall AbiCall(const void*, uint32_t, const std::vector<uint32_t>&) { return {}; }
#endif
