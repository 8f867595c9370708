#include "PieceNames.h"

#include "CharText.h"

namespace {

// Index of the last "\" or ":" (the end of the directory or drive part), or npos.
size_t LastDelimiter(const std::string& path)
{
    return FindLastCharOf(path, "\\:");
}

// Index of the "." that starts the extension, or npos when the name has none.
size_t ExtensionStart(const std::string& path)
{
    const size_t dot = FindLastCharOf(path, ".");
    if (dot == std::string::npos) return std::string::npos;
    const size_t delim = LastDelimiter(path);
    if (delim != std::string::npos && delim > dot) return std::string::npos;
    return dot;
}

}  // namespace

std::string ExtractFileName(const std::string& path)
{
    const size_t delim = LastDelimiter(path);
    return delim == std::string::npos ? path : path.substr(delim + 1);
}

std::string ExtractFileExt(const std::string& path)
{
    const size_t dot = ExtensionStart(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext)
{
    const size_t dot = ExtensionStart(path);
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string ExtractFileDir(const std::string& path)
{
    const size_t delim = LastDelimiter(path);
    if (delim == std::string::npos) return std::string();
    // A drive colon, a root "\" (at the start, or after a drive colon or another "\") stays, so
    // that the directory of a file in a root is that root and not a drive-relative path.
    // The character before the separator, which may be a two-byte one ending in the byte 0x5C.
    const size_t prev = PrevCharIndex(path, delim);
    const bool keep = path[delim] == ':' || delim == 0 || path[prev] == ':' || path[prev] == '\\';
    return path.substr(0, keep ? delim + 1 : delim);
}

std::string PieceFileName(const std::string& base, uint32_t n)
{
    std::string digits = std::to_string(n);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return ChangeFileExt(base, "." + digits);
}

std::string DescriptorFileName(const std::string& base)
{
    return ChangeFileExt(base, ".crc");
}
