// The descriptor reader on arbitrary bytes: it may raise only the conversion error, with its exact
// message; what it returns is trimmed and free of line ends. A descriptor written for any valid
// name, size and checksum reads back the same. The checksum list reader on the same bytes raises
// nothing, and a list it reads is written and read back as the same entries.
#include "Descriptor.h"
#include "Errors.h"
#include "Sfv.h"

#include <cstdlib>
#include <cstring>

static bool Clean(const std::string& s)
{
    if (s.find_first_of("\r\n") != std::string::npos) return false;
    return s.empty() || (static_cast<unsigned char>(s.front()) > 32 && static_cast<unsigned char>(s.back()) > 32);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const TDescriptor d = ParseDescriptor(text);
        if (!Clean(d.FileName)) abort();
    } catch (const EConvertError& e) {
        // what() is a C string: a value holding a zero byte shows only up to it.
        const std::string msg = e.what();
        const std::string tail = "' is not a valid integer value";
        if (msg.empty() || msg[0] != '\'') abort();
        if (text.find('\0') == std::string::npos) {
            if (msg.size() < tail.size() + 1 || msg.compare(msg.size() - tail.size(), tail.size(), tail) != 0) abort();
            if (!Clean(msg.substr(1, msg.size() - tail.size() - 1))) abort();
        }
    }

    if (const std::optional<std::vector<TSfvEntry>> list = ParseSfv(text)) {
        const std::optional<std::vector<TSfvEntry>> again = ParseSfv(FormatSfv("again", *list));
        if (!again || again->size() != list->size()) abort();
        for (size_t i = 0; i < list->size(); ++i)
            if ((*again)[i].Name != (*list)[i].Name || (*again)[i].CRC != (*list)[i].CRC) abort();
    }

    // Round trip: the first twelve bytes give size (up to 2^63 - 1) and checksum, the rest the name.
    if (size < 12) return 0;
    uint64_t fileSize;
    uint32_t crc;
    std::memcpy(&fileSize, data, 8);
    std::memcpy(&crc, data + 8, 4);
    fileSize &= 0x7FFFFFFFFFFFFFFFull;
    const std::string name = text.substr(12);
    if (!Clean(name)) return 0;
    const TDescriptor d = ParseDescriptor(FormatDescriptor(name, fileSize, crc));
    if (d.FileName != name || d.Size != fileSize || d.CRC != crc) abort();
    return 0;
}
