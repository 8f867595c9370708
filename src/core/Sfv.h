// Checksum lists in the SFV format, which checksum tools everywhere read and write: one line per
// file, its name, a space and its CRC-32 in hexadecimal; lines that begin with ";" are comments.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TSfvEntry {
    std::string Name;
    uint32_t CRC = 0;
};

// A comment line, then one "NAME XXXXXXXX" line per entry (eight upper-case digits), CR LF each.
std::string FormatSfv(const std::string& comment, const std::vector<TSfvEntry>& entries);
// The entries of a list. Lines may end in CR LF or LF; blank lines and comments are skipped; every
// other line must end in a space (or tab) and eight hexadecimal digits of either case. No value
// when a line does not, or when no line names a file.
std::optional<std::vector<TSfvEntry>> ParseSfv(const std::string& text);
// The checksum a list records for a file name, the names compared without regard to the case of
// ASCII letters (other tools write names in any case). Entries whose names hold a path (a
// separator or a drive colon) name no file beside the list and are never found.
std::optional<uint32_t> SfvChecksumOf(const std::vector<TSfvEntry>& entries, const std::string& name);
