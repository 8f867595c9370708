// 8-bit text read character by character in the system's ANSI code page.
//
// In the double-byte code pages (932, 936, 949, 950) a lead byte and the byte after it form one
// character, and that second byte can be 0x5C, the byte of "\"; it is never a character of its
// own. Which bytes lead depends on the code page, which only the Win32 room can ask the system
// for: it hands the answer over once with SetLeadBytes. Until then every byte is one character,
// which is also exactly what every single-byte code page gives.
//
// As the system's own CharNextA does, a lead byte followed by the end of the text or by a zero
// byte is a character of its own.
#pragma once
#include <array>
#include <cstddef>
#include <string>

using TLeadBytes = std::array<bool, 256>;

// lead[b] is true when byte b starts a two-byte character. The table is copied; ASCII bytes
// (below 0x80) never lead, whatever it says.
void SetLeadBytes(const TLeadBytes& lead);
// Back to one character per byte.
void ClearLeadBytes();
bool IsLeadByte(unsigned char b);

// Where the character that starts at i ends (the next character's index).
size_t NextCharIndex(const std::string& s, size_t i);
// Where the character that ends at i starts; npos when i is 0. i is a character boundary.
size_t PrevCharIndex(const std::string& s, size_t i);
// Index of the last character of s that is one of the ASCII characters in chars; npos when none.
size_t FindLastCharOf(const std::string& s, const char* chars);
// Index of the first occurrence of text in s that starts on a character boundary at or after
// from; npos when none.
size_t FindSubstring(const std::string& s, const std::string& text, size_t from = 0);
