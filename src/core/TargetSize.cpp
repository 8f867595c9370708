#include "TargetSize.h"

#include "TextTrim.h"

#include <vector>

// The number is converted here rather than by the C library: the C library's conversion follows
// the process's C locale (which the host may have changed), and not every runtime this library is
// built with reads long double to its full 64-bit mantissa. The value is rounded to the extended
// format (64-bit mantissa, halves to even) exactly, scaled by a power of two (exact in that format)
// and rounded to a 64-bit integer (halves to even), all in integer arithmetic, so the FPU's
// precision and rounding settings do not matter either.

namespace {

// Unsigned integer of any size, little-endian 32-bit limbs, no leading zero limbs.
struct Big {
    std::vector<uint32_t> w;

    void Trim() { while (!w.empty() && w.back() == 0) w.pop_back(); }
    void MulAdd(uint32_t m, uint32_t a)
    {
        uint64_t carry = a;
        for (uint32_t& x : w) {
            const uint64_t t = uint64_t(x) * m + carry;
            x = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        if (carry) w.push_back(static_cast<uint32_t>(carry));
    }
    unsigned BitLength() const
    {
        if (w.empty()) return 0;
        unsigned n = 32 * static_cast<unsigned>(w.size() - 1);
        for (uint32_t top = w.back(); top; top >>= 1) ++n;
        return n;
    }
    void ShiftLeft(unsigned bits)
    {
        if (w.empty()) return;
        const unsigned limbs = bits / 32, b = bits % 32;
        if (b) {
            w.push_back(0);
            for (size_t i = w.size() - 1; i > 0; --i) w[i] = (w[i] << b) | (w[i - 1] >> (32 - b));
            w[0] <<= b;
        }
        w.insert(w.begin(), limbs, 0u);
        Trim();
    }
    void ShiftRight1()
    {
        for (size_t i = 0; i < w.size(); ++i) w[i] = (w[i] >> 1) | (i + 1 < w.size() ? w[i + 1] << 31 : 0);
        Trim();
    }
    int Compare(const Big& o) const
    {
        if (w.size() != o.w.size()) return w.size() < o.w.size() ? -1 : 1;
        for (size_t i = w.size(); i-- > 0;)
            if (w[i] != o.w[i]) return w[i] < o.w[i] ? -1 : 1;
        return 0;
    }
    void Subtract(const Big& o)   // *this >= o
    {
        int64_t borrow = 0;
        for (size_t i = 0; i < w.size(); ++i) {
            int64_t t = int64_t(w[i]) - (i < o.w.size() ? o.w[i] : 0) - borrow;
            borrow = t < 0;
            w[i] = static_cast<uint32_t>(t + (borrow << 32));
        }
        Trim();
    }
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number as read: value = digits * 10^exp10, digits without leading or trailing zeros.
struct Decimal {
    bool negative = false;
    std::string digits;
    long exp10 = 0;
};

// Optional sign, digits with at most one decimal separator (at least one digit in all), optional
// exponent "e"/"E" with optional sign and at least one digit. Nothing else: no digit grouping, no
// hexadecimal, no "inf" or "nan".
bool ReadDecimal(const std::string& text, char sep, Decimal& d)
{
    size_t i = 0;
    const size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) d.negative = text[i++] == '-';
    size_t count = 0;
    long fraction = 0;
    while (i < n && IsDigit(text[i])) { d.digits += text[i++]; ++count; }
    if (i < n && text[i] == sep) {
        ++i;
        while (i < n && IsDigit(text[i])) { d.digits += text[i++]; ++count; ++fraction; }
    }
    if (count == 0) return false;
    long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) negExp = text[i++] == '-';
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) {
            if (exponent < 100000000) exponent = exponent * 10 + (text[i] - '0');   // saturates far out of range
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) return false;
        if (negExp) exponent = -exponent;
    }
    if (i != n) return false;
    const size_t first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) { d.digits.clear(); return true; }
    d.digits.erase(0, first);
    d.exp10 = exponent - fraction;
    const size_t last = d.digits.find_last_not_of('0');
    d.exp10 += static_cast<long>(d.digits.size() - 1 - last);
    d.digits.erase(last + 1);
    return true;
}

// mant * 2^k rounded to a 64-bit integer, halves to even, with the sign applied; false when the
// result lies outside the 64-bit range.
bool RoundToInt64(uint64_t mant, int k, bool negative, int64_t& result)
{
    const uint64_t top = uint64_t(1) << 63;
    uint64_t q;
    if (mant == 0) {
        q = 0;
    } else if (k >= 0) {
        if (k > 63 || (mant >> (63 - k)) > 1) return false;
        q = mant << k;
        if ((mant >> (63 - k)) == 1 && q != top) return false;
    } else if (k >= -63) {
        const int r = -k;
        q = mant >> r;
        const uint64_t rem = mant & ((uint64_t(1) << r) - 1);
        const uint64_t half = uint64_t(1) << (r - 1);
        if (rem > half || (rem == half && (q & 1))) ++q;
    } else if (k == -64) {
        q = mant > top ? 1 : 0;      // exactly one half goes to the even 0
    } else {
        q = 0;                       // below one half
    }
    if (q > top || (q == top && !negative)) return false;
    result = negative ? static_cast<int64_t>(0 - q) : static_cast<int64_t>(q);
    return true;
}

// The decimal rounded to the extended format: mant * 2^binExp with mant in [2^63, 2^64).
void ToExtended(const Decimal& d, uint64_t& mant, int& binExp)
{
    // Digits far beyond the 64-bit mantissa only matter as "something more": keep 200 of them
    // and stand for the rest by a final 1, which rounds the same way (the halfway points of this
    // magnitude range end long before the 200th digit).
    std::string digits = d.digits;
    long exp10 = d.exp10;
    if (digits.size() > 200) {
        exp10 += static_cast<long>(digits.size()) - 201;
        digits.resize(200);
        digits += '1';
    }
    Big num, den;
    for (char c : digits) num.MulAdd(10, static_cast<uint32_t>(c - '0'));
    den.w.push_back(1);
    for (long e = exp10; e > 0; --e) num.MulAdd(10, 0);
    for (long e = exp10; e < 0; ++e) den.MulAdd(10, 0);

    // num / den * 2^-q lies in [2^63, 2^65) for this q; one step more when it reaches 2^64.
    int q = static_cast<int>(num.BitLength()) - static_cast<int>(den.BitLength()) - 64;
    for (;;) {
        Big a = num, b = den;
        if (q < 0) a.ShiftLeft(static_cast<unsigned>(-q));
        else b.ShiftLeft(static_cast<unsigned>(q));
        Big bShifted = b;
        bShifted.ShiftLeft(64);
        if (a.Compare(bShifted) >= 0) { ++q; continue; }
        // Long division, one quotient bit at a time.
        uint64_t quotient = 0;
        for (int bit = 63; bit >= 0; --bit) {
            bShifted.ShiftRight1();
            if (a.Compare(bShifted) >= 0) {
                a.Subtract(bShifted);
                quotient |= uint64_t(1) << bit;
            }
        }
        a.ShiftLeft(1);   // twice the remainder against the divisor: below, at or above one half
        const int c = a.Compare(b);
        if (c > 0 || (c == 0 && (quotient & 1))) {
            if (++quotient == 0) { quotient = uint64_t(1) << 63; ++q; }
        }
        mant = quotient;
        binExp = q;
        return;
    }
}

uint32_t Convert(const std::string& text, char sep, int scale)
{
    Decimal d;
    if (!ReadDecimal(Trim(text), sep, d)) return 0;
    if (d.digits.empty()) return 0;
    const long magnitude = static_cast<long>(d.digits.size()) + d.exp10;   // value < 10^magnitude
    if (magnitude > 21) return 0;      // at least 10^21: beyond 64 bits whatever the scale
    if (magnitude < -12) return 0;     // below 10^-12: even times 2^20 it rounds to 0
    uint64_t mant;
    int binExp;
    ToExtended(d, mant, binExp);
    int64_t rounded;
    if (!RoundToInt64(mant, binExp + scale, d.negative, rounded)) return 0;
    // Keeping only the low 32 bits would turn "4097 Mb" into 1 MiB pieces and "-1" into 4 GiB
    // ones: a size that is no piece size at all is no size.
    if (rounded < 1 || rounded > int64_t(UINT32_MAX)) return 0;
    return static_cast<uint32_t>(rounded);
}

}  // namespace

uint32_t ParseTargetSize(const std::string& text, char decimalSeparator)
{
    size_t p = text.find("Mb");
    if (p != std::string::npos) return Convert(text.substr(0, p), decimalSeparator, 20);
    p = text.find("Kb");
    if (p != std::string::npos) return Convert(text.substr(0, p), decimalSeparator, 10);
    p = text.find('b');
    return Convert(p != std::string::npos ? text.substr(0, p) : text, decimalSeparator, 0);
}
