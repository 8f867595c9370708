#include "PieceNames.h"

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
