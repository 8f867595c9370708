#include "Sfv.h"

#include <cstdio>

#include "CharText.h"
#include "Descriptor.h"

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The name with its ASCII letters in upper case, read in the ANSI code page: two names are the
// same name to a list exactly when their keys are equal.
std::string NameKey(const std::string& name)
{
    std::string key = name;
    for (size_t i = 0; i < key.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(key[i])) && i + 1 < key.size()) ++i;
        else key[i] = AsciiUpper(key[i]);
    }
    return key;
}

enum class TLine { Skipped, Entry, Malformed };

// One line of a list: blank or a comment, an entry, or neither.
TLine ReadLine(std::string line, TSfvEntry& entry)
{
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == ';') return TLine::Skipped;
    if (line.size() < 10) return TLine::Malformed;
    const std::string digits = line.substr(line.size() - 8);
    for (char c : digits)
        if (!IsHexDigit(c)) return TLine::Malformed;
    const char gap = line[line.size() - 9];
    if (gap != ' ' && gap != '\t') return TLine::Malformed;
    std::string name = line.substr(0, line.size() - 9);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (name.empty()) return TLine::Malformed;
    entry = {name, static_cast<uint32_t>(std::stoul(digits, nullptr, 16))};
    return TLine::Entry;
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
    for (const std::string& line : SplitLines(text)) {
        TSfvEntry entry;
        const TLine kind = ReadLine(line, entry);
        if (kind == TLine::Malformed) return std::nullopt;
        if (kind == TLine::Entry) entries.push_back(entry);
    }
    if (entries.empty()) return std::nullopt;
    return entries;
}

TSfvList::TSfvList(const std::string& text, const std::function<void()>& pause)
{
    size_t lines = 0;
    for (const std::string& line : SplitLines(WithoutUtf8Bom(text))) {
        TSfvEntry entry;
        if (ReadLine(line, entry) == TLine::Entry) {
            ++entries_;
            if (FindLastCharOf(entry.Name, "\\/:") == std::string::npos) {
                const auto [at, added] = byName_.try_emplace(NameKey(entry.Name), TListed{entry.CRC, false});
                if (!added && at->second.CRC != entry.CRC) at->second.Conflict = true;
            }
        }
        if (pause && ++lines % SfvLinesPerPause == 0) pause();
    }
}

std::optional<uint32_t> TSfvList::ChecksumOf(const std::string& name) const
{
    const auto at = byName_.find(NameKey(name));
    if (at == byName_.end() || at->second.Conflict) return std::nullopt;
    return at->second.CRC;
}

bool TSfvList::Conflicting(const std::string& name) const
{
    const auto at = byName_.find(NameKey(name));
    return at != byName_.end() && at->second.Conflict;
}
