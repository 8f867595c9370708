#include "PathText.h"

#include "CharText.h"

namespace {

// True when the last character (not merely the last byte, which may end a two-byte character)
// is "\".
bool EndsInBackslash(const std::string& path)
{
    return !path.empty() && path[PrevCharIndex(path, path.size())] == '\\';
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
