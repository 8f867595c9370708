// Path text helpers. All comparisons are case-sensitive; text is read character by character in
// the ANSI code page (CharText.h), so a "\" is never the second byte of a two-byte character.
#pragma once
#include <string>

// Joins a directory and a name: appends "\" unless empty or already ending in "\";
// a bare drive letter becomes "X:\".
std::string AddBackslash(const std::string& path);
// Removes at most one trailing "\".
std::string RemoveBackslash(const std::string& path);
// Longer than two characters and starting with "\\" (two one-byte characters, so counting
// bytes or characters gives the same answer).
bool IsUNCPath(const std::string& path);
// "\\server\share\dir\file" -> "\\server\share"; the whole path when it has no share part.
std::string ExtractShareRoot(const std::string& path);
// True when the path names a share ("\\server\share...") and not only a server.
bool HasShareRoot(const std::string& path);

// A path's name starts after its last "\" or ":"; its extension is the text from the last "."
// that stands after that separator.
std::string ExtractFileName(const std::string& path);
std::string ExtractFileExt(const std::string& path);
// Replaces the last extension (or appends when there is none); ext begins with ".".
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// The text before the last "\" or ":", keeping the separator when it is ":", when the "\"
// follows ":" or "\", or when it begins the path: C:\a.txt -> C:\, C:\dir\a.txt -> C:\dir.
std::string ExtractFileDir(const std::string& path);
