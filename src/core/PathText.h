// Path text helpers. All comparisons are case-sensitive; text is read character by character in
// the ANSI code page (CharText.h), so a "\" is never the second byte of a two-byte character.
#pragma once
#include <string>

// Joins a directory and a name: appends "\" unless empty or already ending in "\";
// a bare drive letter becomes "X:\".
std::string AddBackslash(const std::string& path);
// True when the last name of the path (separators "\" or "/" at its end left aside, and a drive
// "X:" before it) ends in a space or a dot and is not "." or "..". The system drops such an ending
// from the last name of a path it is given, but keeps it when more follows: "E " alone finds the
// directory "E", while "E \x.001" is no file in it: a test of the name and the files written
// would see two directories.
bool LastNameEndsInSpaceOrDot(const std::string& path);
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
