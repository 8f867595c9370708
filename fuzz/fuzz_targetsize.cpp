// The piece-size parser with both separators, checked against glibc's correctly rounded
// extended-precision reading (in the C locale) wherever the number part is plain decimal text.
#include "TargetSize.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace {

locale_t CLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}

std::string Trimmed(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

// Returns false when the reference cannot judge the text (it would accept forms the parser must
// refuse, such as hexadecimal, "inf" or "nan"); those inputs are still run for crashes.
bool Reference(const std::string& text, char sep, uint32_t& out)
{
    size_t p;
    int scale = 0;
    std::string number;
    if ((p = text.find("Mb")) != std::string::npos) { number = text.substr(0, p); scale = 20; }
    else if ((p = text.find("Kb")) != std::string::npos) { number = text.substr(0, p); scale = 10; }
    else if ((p = text.find('b')) != std::string::npos) number = text.substr(0, p);
    else number = text;
    number = Trimmed(number);
    const char other = sep == '.' ? ',' : '.';
    if (number.find(other) != std::string::npos) { out = 0; return true; }
    for (char& c : number) {
        if (c == sep) c = '.';
        else if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E')) return false;
    }
    if (number.empty()) { out = 0; return true; }
    char* end = nullptr;
    const long double v = strtold_l(number.c_str(), &end, CLocale());
    if (end != number.c_str() + number.size()) { out = 0; return true; }
    const long double scaled = std::ldexp(v, scale);
    if (!(scaled >= -9223372036854775808.0L && scaled < 9223372036854775808.0L)) { out = 0; return true; }
    const long long r = std::llrint(scaled);   // default rounding: nearest, halves to even
    out = r < 1 || r > 4294967295LL ? 0 : static_cast<uint32_t>(r);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (char sep : {'.', ','}) {
        const uint32_t got = ParseTargetSize(text, sep);
        uint32_t want;
        if (Reference(text, sep, want) && got != want) abort();
    }
    return 0;
}
