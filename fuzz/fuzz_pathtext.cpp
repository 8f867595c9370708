// Path and name text helpers on arbitrary bytes: results are parts of the input that put it back
// together, and the helpers agree with each other.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string x(reinterpret_cast<const char*>(data), size);
    const bool letter = x.size() == 1 && ((x[0] >= 'A' && x[0] <= 'Z') || (x[0] >= 'a' && x[0] <= 'z'));
    const bool endsSep = !x.empty() && x.back() == '\\';

    const std::string added = AddBackslash(x);
    const std::string removed = RemoveBackslash(x);
    Check(StartsWith(added, x));
    Check(x.empty() ? added.empty() : added.back() == '\\');
    Check(added.size() == x.size() + (x.empty() || endsSep ? 0 : letter ? 2 : 1));
    Check(RemoveBackslash(added) == (x.empty() ? x : endsSep ? removed : letter ? x + ":" : x));
    Check(StartsWith(x, removed) && x.size() - removed.size() == (endsSep ? 1u : 0u));
    Check(AddBackslash(added) == added);

    Check(IsUNCPath(x) == (x.size() > 2 && x[0] == '\\' && x[1] == '\\'));
    const std::string root = ExtractShareRoot(x);
    Check(StartsWith(x, root));
    if (root != x) Check(x[root.size()] == '\\' && root.find("\\\\") != std::string::npos);
    const bool has = HasShareRoot(x);
    if (has) Check(removed.find("\\\\") != std::string::npos);
    Check(HasShareRoot(added) == has);

    const std::string name = ExtractFileName(x), ext = ExtractFileExt(x), dir = ExtractFileDir(x);
    Check(EndsWith(x, name) && name.find_first_of("\\:") == std::string::npos);
    Check(EndsWith(name, ext) && (ext.empty() || ext[0] == '.'));
    Check(ChangeFileExt(x, ext) == x);
    Check(StartsWith(x, dir));
    const bool dirKeepsSep = dir.empty() || dir.back() == '\\' || dir.back() == ':';
    Check(x == (dirKeepsSep ? dir + name : dir + "\\" + name));

    uint32_t n = 1;
    if (size >= 4) std::memcpy(&n, data, 4);
    const std::string piece = PieceFileName(x, n);
    std::string digits = std::to_string(n);
    while (digits.size() < 3) digits.insert(0, "0");
    Check(ExtractFileExt(piece) == "." + digits);
    Check(piece == ChangeFileExt(x, "") + "." + digits);
    Check(DescriptorFileName(x) == ChangeFileExt(x, "") + ".crc");
    return 0;
}
