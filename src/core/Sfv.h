// Checksum lists in the SFV format, which checksum tools everywhere read and write: one line per
// file, its name, a space and its CRC-32 in hexadecimal; lines that begin with ";" are comments.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct TSfvEntry {
    std::string Name;
    uint32_t CRC = 0;
};

// A comment line, then one "NAME XXXXXXXX" line per entry (eight upper-case digits), CR LF each.
std::string FormatSfv(const std::string& comment, const std::vector<TSfvEntry>& entries);
// The entries of a list, read strictly. Lines may end in CR LF or LF; blank lines and comments are
// skipped; every other line must end in a space (or tab) and eight hexadecimal digits of either
// case. No value when a line does not, or when no line names a file.
std::optional<std::vector<TSfvEntry>> ParseSfv(const std::string& text);

// The lines a list reader takes between two calls of its pause.
constexpr size_t SfvLinesPerPause = 4096;

// A list as a combine reads one that a stranger may have made: a UTF-8 byte-order mark at its
// start is skipped, and a line that is no entry (nor blank, nor a comment) costs that line only.
// Read once into an index by name, so that looking up every piece of a set costs time in
// proportion to the list, not to the list times the set. Names are compared without regard to
// the case of ASCII letters (other tools write names in any case), read in the ANSI code page:
// the second byte of a double-byte character is never a letter. Entries whose names hold a path
// (a separator or a drive colon) name no file beside the list and are never found.
class TSfvList {
public:
    // pause (optional) runs after every SfvLinesPerPause lines, so that a caller can let its
    // messages run while a long list is read.
    explicit TSfvList(const std::string& text, const std::function<void()>& pause = nullptr);
    // At least one line names a file.
    bool Readable() const { return entries_ > 0; }
    // The checksum recorded for name; none when no entry names it, or when entries name it with
    // different checksums (Conflicting).
    std::optional<uint32_t> ChecksumOf(const std::string& name) const;
    bool Conflicting(const std::string& name) const;

private:
    struct TListed {
        uint32_t CRC;
        bool Conflict;
    };
    std::unordered_map<std::string, TListed> byName_;
    size_t entries_ = 0;
};
