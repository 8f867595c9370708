// The list reader a combine uses, on arbitrary bytes: it raises nothing, pauses once per
// SfvLinesPerPause lines, and finds every entry of a list it wrote itself: a name listed once by
// its checksum, in any case of its ASCII letters, and never a name it did not list. What the
// strict reader accepts, the combine's reader reads the same.
#include "Sfv.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t pauses = 0;
    const TSfvList list(text, [&pauses] { ++pauses; });
    size_t lines = 0;
    for (size_t i = 0; i < size; ++i)
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == size || text[i + 1] != '\n'))) ++lines;
    if (pauses > lines / SfvLinesPerPause + 1) abort();

    // (The strict reader keeps a byte-order mark as part of the first line.)
    const std::optional<std::vector<TSfvEntry>> strict =
        text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? std::nullopt : ParseSfv(text);
    if (strict) {
        if (!list.Readable()) abort();
        for (const TSfvEntry& e : *strict) {
            const bool path = e.Name.find_first_of("\\/:") != std::string::npos;
            if (path) continue;
            if (!list.ChecksumOf(e.Name) && !list.Conflicting(e.Name)) abort();
        }
    }

    // Round trip: names cut from the input at line ends, each with a checksum of its own index.
    std::vector<TSfvEntry> entries;
    for (size_t start = 0; start < size && entries.size() < 64;) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = size;
        const std::string name = text.substr(start, end - start);
        if (name.find_first_of(";\\/:\t ") == std::string::npos && !name.empty() && name.compare(0, 3, "\xEF\xBB\xBF"))
            entries.push_back({name, static_cast<uint32_t>(entries.size())});
        start = end + 1;
    }
    const TSfvList written(FormatSfv("again", entries));
    for (const TSfvEntry& e : entries) {
        const std::optional<uint32_t> crc = written.ChecksumOf(e.Name);
        if (!crc && !written.Conflicting(e.Name)) abort();
    }
    if (written.ChecksumOf("\x01not listed\x02")) abort();
    return 0;
}
