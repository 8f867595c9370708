#include "CharText.h"

#include <cstring>

namespace {

TLeadBytes gLead = {};

}  // namespace

void SetLeadBytes(const TLeadBytes& lead)
{
    gLead = lead;
    // No code page lets an ASCII byte lead, and the path rules rely on it: a character that starts
    // with "\", ":" or "." is that one byte.
    for (size_t b = 0; b < 0x80; ++b) gLead[b] = false;
}
void ClearLeadBytes() { gLead = TLeadBytes{}; }
bool IsLeadByte(unsigned char b) { return gLead[b]; }

size_t NextCharIndex(const std::string& s, size_t i)
{
    if (i + 1 < s.size() && IsLeadByte(static_cast<unsigned char>(s[i])) && s[i + 1] != '\0') return i + 2;
    return i + 1;
}

size_t PrevCharIndex(const std::string& s, size_t i)
{
    if (i == 0) return std::string::npos;
    // A byte alone cannot tell whether it is a trail byte; only a walk from the start can.
    size_t prev = 0;
    for (size_t at = 0; at < i; at = NextCharIndex(s, at)) prev = at;
    return prev;
}

size_t FindLastCharOf(const std::string& s, const char* chars)
{
    size_t found = std::string::npos;
    for (size_t at = 0; at < s.size(); at = NextCharIndex(s, at))
        if (s[at] != '\0' && std::strchr(chars, s[at])) found = at;
    return found;
}

size_t FindSubstring(const std::string& s, const std::string& text, size_t from)
{
    for (size_t at = 0; at < s.size(); at = NextCharIndex(s, at))
        if (at >= from && s.compare(at, text.size(), text) == 0) return at;
    return std::string::npos;
}
