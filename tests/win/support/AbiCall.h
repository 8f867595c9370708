// Calls a library entry the way the host does, from an assembly thunk that records how many
// stack bytes the entry removed and whether it preserved EBX, ESI, EDI and EBP.
#pragma once
#include <cstdint>
#include <vector>

struct TAbiCall {
    uint32_t Result = 0;          // EAX after the call
    int32_t StackRemoved = -1;    // ESP after the call minus ESP before it
    bool RegistersPreserved = false;
};

// Pushes args right to left (the last element first), loads eax, calls fn.
TAbiCall AbiCall(const void* fn, uint32_t eax, const std::vector<uint32_t>& args);
