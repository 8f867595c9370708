#include "TargetSize.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

std::string TrimControls(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the user's number (optional sign, digits, the locale's decimal separator, exponent) and
// rewrites it with a "." so that a locale-independent routine can read it. Anything else - digit
// grouping, hexadecimal, "inf", "nan", stray characters - is refused.
bool NormaliseNumber(const std::string& text, char sep, std::string& out, bool& negative)
{
    size_t i = 0;
    const size_t n = text.size();
    negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    out.clear();
    size_t mantissaDigits = 0;
    while (i < n && IsDigit(text[i])) { out += text[i++]; ++mantissaDigits; }
    if (i < n && text[i] == sep) {
        ++i;
        out += '.';
        while (i < n && IsDigit(text[i])) { out += text[i++]; ++mantissaDigits; }
    }
    if (mantissaDigits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        out += 'e';
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) out += text[i++];
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) { out += text[i++]; ++expDigits; }
        if (expDigits == 0) return false;
    }
    return i == n;
}

// value * 2^scale rounded to the nearest 64-bit integer, halves to the even neighbour; false when
// the result does not fit. Done on the bits of the 80-bit extended value, so neither the FPU's
// precision control nor its rounding mode (both settable by the host process) can change it.
bool RoundScaled(long double value, bool negative, int scale, int64_t& result)
{
    if constexpr (std::numeric_limits<long double>::digits == 64) {
        unsigned char bytes[sizeof(long double)];
        std::memcpy(bytes, &value, sizeof value);
        uint64_t mant;
        uint16_t signExp;
        std::memcpy(&mant, bytes, 8);
        std::memcpy(&signExp, bytes + 8, 2);
        const int biased = signExp & 0x7FFF;
        if (biased == 0x7FFF) return false;                  // infinity or not a number
        if (mant == 0) { result = 0; return true; }
        // value = mant * 2^k; a zero biased exponent is a subnormal with the exponent of 1.
        const int k = (biased == 0 ? 1 : biased) - 16383 - 63 + scale;
        uint64_t q;
        if (k >= 0) {
            if (k > 63 || (mant >> (63 - k)) > 1) return false;
            q = mant << k;
            if ((mant >> (63 - k)) == 1 && (q != (uint64_t(1) << 63) || !negative)) return false;
        } else if (k >= -63) {
            const int r = -k;
            q = mant >> r;
            const uint64_t rem = mant & ((uint64_t(1) << r) - 1);
            const uint64_t half = uint64_t(1) << (r - 1);
            if (rem > half || (rem == half && (q & 1))) ++q;
        } else if (k == -64) {
            q = mant > (uint64_t(1) << 63) ? 1 : 0;            // exactly one half goes to 0
        } else {
            q = 0;                                            // below one half
        }
        if (q > (uint64_t(1) << 63) || (q == (uint64_t(1) << 63) && !negative)) return false;
        result = negative ? static_cast<int64_t>(0 - q) : static_cast<int64_t>(q);
        return true;
    } else {
        const long double scaled = std::ldexp(negative ? -value : value, scale);
        if (!(scaled >= -9223372036854775808.0L && scaled < 9223372036854775808.0L)) return false;
        result = std::llrint(scaled);
        return true;
    }
}

int32_t Convert(const std::string& text, char sep, int scale)
{
    std::string number;
    bool negative;
    if (!NormaliseNumber(TrimControls(text), sep, number, negative)) return 0;
    long double value = 0;
    const auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ptr != number.data() + number.size()) return 0;
    if (res.ec == std::errc::result_out_of_range) {
        // Too large is out of range for the piece size anyway; too small rounds to 0.
        return 0;
    }
    if (res.ec != std::errc()) return 0;
    int64_t rounded;
    if (!RoundScaled(value, negative, scale, rounded)) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(rounded)));
}

}  // namespace

int32_t ParseTargetSize(const std::string& text, char decimalSeparator)
{
    size_t p = text.find("Mb");
    if (p != std::string::npos) return Convert(text.substr(0, p), decimalSeparator, 20);
    p = text.find("Kb");
    if (p != std::string::npos) return Convert(text.substr(0, p), decimalSeparator, 10);
    p = text.find('b');
    return Convert(p != std::string::npos ? text.substr(0, p) : text, decimalSeparator, 0);
}
