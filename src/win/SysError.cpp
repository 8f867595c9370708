#include "SysError.h"

#include <windows.h>

std::string SysErrorMessage(unsigned long code)
{
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result;
    if (n != 0 && text != nullptr) result.assign(text, n);
    if (text != nullptr) LocalFree(text);
    // System texts end in a line break; the messages built from them must not.
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
        result.pop_back();
    return result;
}
