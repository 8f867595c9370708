#include "Descriptor.h"

#include "CRC32Core.h"
#include "Errors.h"

std::string FormatDescriptor(const std::string& fileName, uint64_t size, uint32_t crc)
{
    return "filename=" + fileName + "\r\n" +
           "size=" + std::to_string(size) + "\r\n" +
           "crc32=" + IntToHex(crc) + "\r\n";
}

std::string WithoutUtf8Bom(const std::string& text)
{
    static const char Utf8Bom[] = "\xEF\xBB\xBF";
    return text.compare(0, 3, Utf8Bom) == 0 ? text.substr(3) : text;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    const size_t n = text.size();
    while (start < n) {
        size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
        lines.push_back(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n') end += 2;
        else if (end < n) end += 1;
        start = end;
    }
    return lines;
}

uint64_t StrToSize(const std::string& s)
{
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == s.size()) throw EConvertError("'" + s + "' is not a valid integer value");
    const uint64_t limit = negative ? 2147483648ull : 9223372036854775807ull;
    uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        const unsigned digit = static_cast<unsigned>(c - '0');
        // Checked before the step, so that no value can wrap past the limit unnoticed.
        if (c < '0' || c > '9' || value > (limit - digit) / 10)
            throw EConvertError("'" + s + "' is not a valid integer value");
        value = value * 10 + digit;
    }
    return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(value)) : value;
}

namespace {

bool StartsWith(const std::string& line, const char* key, size_t keyLen)
{
    return line.compare(0, keyLen, key, keyLen) == 0;
}

// The value after the key and the one character that follows it (normally "="), trimmed.
std::string ValueAfter(const std::string& line, size_t keyLen)
{
    return keyLen + 1 >= line.size() ? std::string() : Trim(line.substr(keyLen + 1));
}

// The raw values of the lines that count, before any conversion.
struct TDescriptorLines {
    std::string FileName, SizeText, CRCText, Unfinished;
    bool HaveSize = false, HaveCRC = false, HaveUnfinished = false;
};

const char UnfinishedKey[] = "unfinished";

TDescriptorLines ScanDescriptor(const std::string& text)
{
    // A byte-order mark is no part of the first line's key.
    TDescriptorLines d;
    for (const std::string& line : SplitLines(WithoutUtf8Bom(text))) {
        if (StartsWith(line, "filename", 8)) {
            d.FileName = ValueAfter(line, 8);
        } else if (StartsWith(line, "size", 4)) {
            d.SizeText = ValueAfter(line, 4);
            d.HaveSize = true;
        } else if (StartsWith(line, "crc32", 5)) {
            d.CRCText = ValueAfter(line, 5);
            d.HaveCRC = true;
        } else if (StartsWith(line, UnfinishedKey, sizeof UnfinishedKey - 1)) {
            d.Unfinished = ValueAfter(line, sizeof UnfinishedKey - 1);
            d.HaveUnfinished = true;
        }
    }
    return d;
}

}  // namespace

TDescriptor ParseDescriptor(const std::string& text)
{
    const TDescriptorLines lines = ScanDescriptor(text);
    TDescriptor d;
    d.FileName = lines.FileName;
    // Only the line that counts (the last of its key) is converted.
    if (lines.HaveSize) d.Size = StrToSize(lines.SizeText);
    if (lines.HaveCRC) d.CRC = HexStrToInt(lines.CRCText);
    return d;
}

std::string ParseDescriptorName(const std::string& text)
{
    const TDescriptorLines lines = ScanDescriptor(text);
    return lines.HaveUnfinished && lines.FileName.empty() ? lines.Unfinished : lines.FileName;
}

std::string FormatUnfinishedDescriptor(const std::string& fileName)
{
    return std::string(UnfinishedKey) + "=" + fileName + "\r\nsize=unfinished\r\n";
}

bool IsUnfinishedDescriptor(const std::string& text) { return ScanDescriptor(text).HaveUnfinished; }
