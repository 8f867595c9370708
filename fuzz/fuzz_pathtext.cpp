// Path and name text helpers on arbitrary bytes: results are parts of the input that put it back
// together, and the helpers agree with each other. Each input is read twice: one character per
// byte, and in code page 932, whose two-byte characters can end in the byte of "\".
#include "CharText.h"
#include "PathText.h"
#include "PieceNames.h"

#include <cstdlib>
#include <cstring>

namespace {

bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }
bool EndsWith(const std::string& s, const std::string& p)
{
    return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}
void Check(bool ok) { if (!ok) abort(); }

// The fuzzer's own reading of the text, kept apart from the one under test.
struct TReading {
    bool cp932;
    bool Lead(char c) const
    {
        const unsigned char b = static_cast<unsigned char>(c);
        return cp932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
    }
    size_t Next(const std::string& s, size_t i) const { return i + 1 < s.size() && Lead(s[i]) && s[i + 1] ? i + 2 : i + 1; }
    // Where the last character starts (0 for the empty text), and its first byte.
    size_t LastStart(const std::string& s) const
    {
        size_t last = 0;
        for (size_t i = 0; i < s.size(); i = Next(s, i)) last = i;
        return last;
    }
    char LastChar(const std::string& s) const { return s.empty() ? 0 : s[LastStart(s)]; }
    bool HasCharOf(const std::string& s, const char* chars) const
    {
        for (size_t i = 0; i < s.size(); i = Next(s, i))
            if (s[i] && std::strchr(chars, s[i])) return true;
        return false;
    }
};

void CheckAll(const std::string& x, const uint8_t* data, size_t size, const TReading& r)
{
    const bool letter = x.size() == 1 && ((x[0] >= 'A' && x[0] <= 'Z') || (x[0] >= 'a' && x[0] <= 'z'));
    const bool endsSep = r.LastChar(x) == '\\';

    const std::string added = AddBackslash(x);
    const std::string removed = RemoveBackslash(x);
    Check(StartsWith(added, x));
    Check(x.empty() ? added.empty() : added.back() == '\\');
    Check(added.size() == x.size() + (x.empty() || endsSep ? 0 : letter ? 2 : 1));
    Check(RemoveBackslash(added) == (x.empty() ? x : endsSep ? removed : letter ? x + ":" : x));
    Check(StartsWith(x, removed) && x.size() - removed.size() == (endsSep ? 1u : 0u));
    Check(AddBackslash(added) == added);

    // Only the last name counts, separators after it do not, and a space or a dot must end it.
    const bool spaceOrDot = LastNameEndsInSpaceOrDot(x);
    Check(LastNameEndsInSpaceOrDot(added) == spaceOrDot);
    Check(!LastNameEndsInSpaceOrDot(x + "\\x") && LastNameEndsInSpaceOrDot(x + " "));
    if (spaceOrDot) {
        std::string bare = x;
        while (!bare.empty() && (r.LastChar(bare) == '\\' || r.LastChar(bare) == '/')) bare.resize(r.LastStart(bare));
        Check(r.LastChar(bare) == ' ' || r.LastChar(bare) == '.');
    }

    Check(IsUNCPath(x) == (x.size() > 2 && x[0] == '\\' && x[1] == '\\'));
    const std::string root = ExtractShareRoot(x);
    Check(StartsWith(x, root));
    if (root != x) Check(x[root.size()] == '\\' && root.find("\\\\") != std::string::npos);
    const bool has = HasShareRoot(x);
    if (has) Check(removed.find("\\\\") != std::string::npos);
    Check(HasShareRoot(added) == has);

    const std::string name = ExtractFileName(x), ext = ExtractFileExt(x), dir = ExtractFileDir(x);
    Check(EndsWith(x, name) && !r.HasCharOf(name, "\\:"));
    Check(EndsWith(name, ext) && (ext.empty() || ext[0] == '.'));
    Check(ChangeFileExt(x, ext) == x);
    Check(StartsWith(x, dir));
    const bool dirKeepsSep = dir.empty() || r.LastChar(dir) == '\\' || r.LastChar(dir) == ':';
    Check(x == (dirKeepsSep ? dir + name : dir + "\\" + name));

    uint32_t n = 1;
    if (size >= 4) std::memcpy(&n, data, 4);
    const std::string piece = PieceFileName(x, n);
    std::string digits = std::to_string(n);
    while (digits.size() < 3) digits.insert(0, "0");
    Check(ExtractFileExt(piece) == "." + digits);
    Check(piece == ChangeFileExt(x, "") + "." + digits);
    Check(DescriptorFileName(x) == ChangeFileExt(x, "") + ".crc");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string x(reinterpret_cast<const char*>(data), size);
    CheckAll(x, data, size, TReading{false});

    const TReading cp932{true};
    TLeadBytes lead{};
    for (int b = 0; b < 256; ++b) lead[b] = cp932.Lead(static_cast<char>(b));
    SetLeadBytes(lead);
    // A text that ends in half a character is no text of the code page: whatever is appended
    // would complete that character.
    if (!x.empty() && cp932.LastStart(x) == x.size() - 1 && cp932.Lead(x.back())) x.pop_back();
    CheckAll(x, data, size, cp932);
    ClearLeadBytes();
    return 0;
}
