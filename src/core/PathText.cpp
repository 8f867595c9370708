#include "PathText.h"

#include "CharText.h"

namespace {

// True when the last character (not merely the last byte, which may end a two-byte character)
// is "\".
bool EndsInBackslash(const std::string& path)
{
    return !path.empty() && path[PrevCharIndex(path, path.size())] == '\\';
}

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

std::string AddBackslash(const std::string& path)
{
    if (path.empty() || EndsInBackslash(path)) return path;
    if (path.size() == 1) {
        const char c = path[0];
        // A bare drive letter means the root of that drive.
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return path + ":\\";
    }
    return path + '\\';
}

bool LastNameEndsInSpaceOrDot(const std::string& path)
{
    // One walk over the characters: where the last name starts and ends, and its last character.
    size_t at = 0, start = 0, end = 0, last = std::string::npos;
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (path.size() >= 2 && path[1] == ':' && isLetter(path[0])) at = start = end = 2;
    bool afterSeparator = false;
    for (; at < path.size(); at = NextCharIndex(path, at)) {
        if (path[at] == '\\' || path[at] == '/') {
            afterSeparator = true;
            continue;
        }
        if (afterSeparator) start = at;
        afterSeparator = false;
        last = at;
        end = NextCharIndex(path, at);
    }
    if (last == std::string::npos) return false;  // a root, a bare drive, nothing at all
    const std::string name = path.substr(start, end - start);
    if (name == "." || name == "..") return false;
    return path[last] == ' ' || path[last] == '.';
}

std::string RemoveBackslash(const std::string& path)
{
    if (EndsInBackslash(path)) return path.substr(0, path.size() - 1);
    return path;
}

bool IsUNCPath(const std::string& path)
{
    return path.size() > 2 && path[0] == '\\' && path[1] == '\\';
}

std::string ExtractShareRoot(const std::string& path)
{
    const size_t p = FindSubstring(path, "\\\\");
    if (p == std::string::npos) return path;
    const size_t q = FindSubstring(path, "\\", p + 2);  // end of the server name
    if (q == std::string::npos) return path;
    const size_t r = FindSubstring(path, "\\", q + 1);  // end of the share name
    if (r == std::string::npos) return path;
    return path.substr(0, r);
}

bool HasShareRoot(const std::string& path)
{
    const std::string rest = RemoveBackslash(path);
    const size_t p = FindSubstring(rest, "\\\\");
    if (p == std::string::npos) return false;
    return FindSubstring(rest, "\\", p + 2) != std::string::npos;
}

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
