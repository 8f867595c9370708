// Shift-JIS (code page 932) lead bytes for the life of one scope, so that the path rules read text
// as a Japanese system does. Its trail bytes include 0x5C, the byte of "\": 表 is 0x95 0x5C,
// ソ 0x83 0x5C, 能 0x94 0x5C, 十 0x8F 0x5C.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CharText.h"

#define HYO "\x95\x5C"
#define SO "\x83\x5C"
#define NOU "\x94\x5C"
#define JU "\x8F\x5C"

struct TCodePage932 {
    TCodePage932()
    {
        TLeadBytes lead{};
        for (int b = 0x81; b <= 0x9F; ++b) lead[b] = true;
        for (int b = 0xE0; b <= 0xFC; ++b) lead[b] = true;
        SetLeadBytes(lead);
    }
    ~TCodePage932() { ClearLeadBytes(); }
};

// Runs check(want) twice for the text in: with one character per byte (want = bytes, as in every
// single-byte code page) and in code page 932 (want = cp932).
template <typename Want, typename Check>
void InBothCodePages(const char* in, const Want& bytes, const Want& cp932, Check check)
{
    for (const bool japanese : {false, true}) {
        SCOPED_TRACE(std::string(in) + (japanese ? " (932)" : ""));
        const auto scope = japanese ? std::make_unique<TCodePage932>() : nullptr;
        check(japanese ? cp932 : bytes);
    }
}
