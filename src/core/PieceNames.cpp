#include "PieceNames.h"

#include <cctype>

#include "CharText.h"
#include "PathText.h"

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

std::optional<uint32_t> PieceNumberOf(const std::string& path)
{
    const std::string ext = ExtractFileExt(path);
    if (ext.size() < 4 || ext.size() > 10) return std::nullopt;
    uint32_t n = 0;
    for (size_t i = 1; i < ext.size(); ++i) {
        if (ext[i] < '0' || ext[i] > '9') return std::nullopt;
        n = n * 10 + static_cast<uint32_t>(ext[i] - '0');
    }
    // The name PieceFileName gives that number: no other spelling (.0001, .01000) is a piece.
    if (PieceFileName(path, n) != path) return std::nullopt;
    return n;
}

bool LeavesDirectory(const std::string& name)
{
    return FindLastCharOf(name, "\\/:") != std::string::npos || name == "." || name == "..";
}

bool NamesDevice(const std::string& name)
{
    std::string stem = name;
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
    stem = stem.substr(0, stem.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "NUL" || stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "CONIN$" || stem == "CONOUT$")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
           stem[3] <= '9';
}

bool SystemChangesName(const std::string& name)
{
    // Neither byte is ever the second byte of a double-byte character.
    return !name.empty() && (name.back() == ' ' || name.back() == '.');
}
