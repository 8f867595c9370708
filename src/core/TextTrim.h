// Trimming as the descriptor reader and the size parser need it.
#pragma once
#include <string>

// Removes leading and trailing characters with codes 0 to 32 (spaces and control characters).
inline std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}
