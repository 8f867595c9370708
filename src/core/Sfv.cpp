#include "Sfv.h"

#include <cstdio>

#include "CharText.h"
#include "Descriptor.h"

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Read in the ANSI code page: the second byte of a double-byte character is never a letter.
bool SameAsciiCaseless(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string FormatSfv(const std::string& comment, const std::vector<TSfvEntry>& entries)
{
    std::string text = "; " + comment + "\r\n";
    for (const TSfvEntry& e : entries) {
        char crc[9];
        std::snprintf(crc, sizeof crc, "%08X", static_cast<unsigned>(e.CRC));
        text += e.Name + " " + crc + "\r\n";
    }
    return text;
}

std::optional<std::vector<TSfvEntry>> ParseSfv(const std::string& text)
{
    std::vector<TSfvEntry> entries;
    for (std::string line : SplitLines(text)) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[line.find_first_not_of(" \t")] == ';') continue;
        if (line.size() < 10) return std::nullopt;
        const std::string digits = line.substr(line.size() - 8);
        for (char c : digits)
            if (!IsHexDigit(c)) return std::nullopt;
        const char gap = line[line.size() - 9];
        if (gap != ' ' && gap != '\t') return std::nullopt;
        std::string name = line.substr(0, line.size() - 9);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
        if (name.empty()) return std::nullopt;
        entries.push_back({name, static_cast<uint32_t>(std::stoul(digits, nullptr, 16))});
    }
    if (entries.empty()) return std::nullopt;
    return entries;
}

std::optional<uint32_t> SfvChecksumOf(const std::vector<TSfvEntry>& entries, const std::string& name)
{
    for (const TSfvEntry& e : entries)
        if (FindLastCharOf(e.Name, "\\/:") == std::string::npos && SameAsciiCaseless(e.Name, name)) return e.CRC;
    return std::nullopt;
}
