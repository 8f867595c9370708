// The texts that hosts and their scripts match letter for letter: the progress calls' status
// texts, the records' names, the About boxes, the commands' labels and the fixed words of their
// boxes. They are this library's own words as hosts have always seen them, misspellings included
// ("succefully", "Spliting...", "Standart", "splitted"): never correct one, since a host or a
// script that looks for the old text would no longer find it. "%s" stands for a file's name.
#pragma once
#include <string>

namespace hosttext {

// Progress calls.
constexpr char SplitStatus[] = "Spliting...";
constexpr char CombineStatus[] = "Combining...";

// The plug-in records and the About boxes (the copyright line follows the About texts).
constexpr char SplitName[] = "Split file Plugin";
constexpr char SplitDescription[] = "Split file plug-in for Ferncove Trellisan";
constexpr char CombineName[] = "Combine splitted files Plugin";
constexpr char CombineDescription[] = "Combine splitted files plug-in for Ferncove Trellisan";
constexpr char AboutCaption[] = "Ferncove Trellisan Standart Plug-In";
// Macros, so that the copyright line, kept with the version, joins them at compile time.
#define ZANDREL_SPLIT_ABOUT "Split files plugin for Ferncove Trellisan\r\n\r\nFerncove Project.\r\n"
#define ZANDREL_COMBINE_ABOUT "Combine splitted files plugin for Ferncove Trellisan\r\n\r\nFerncove Project.\r\n"

// Captions: the commands' own (also the records' caption areas), and the error box's.
constexpr char SplitCaption[] = "Split file";
constexpr char CombineCaption[] = "Combine files";
constexpr char ErrorCaption[] = "Error";
constexpr char PathNotFoundCaption[] = "Path not found";

// The dialogs.
constexpr char SplitLabel[] = "Split file %s to directory:";
constexpr char CombineLabel[] = "Combine %s and all files with ascending names to directory:";
constexpr char SelectDirectory[] = "Select directory";
constexpr char DirectoryNotFound[] = "Directory %s not found. Select other directory";
constexpr char SizeInvalid[] = "Target file size is invalid. Please repeat input.";
constexpr char PathNotFound[] = "Path not found. Please check it.";

// The boxes that end a command.
constexpr char SplitDone[] = "File %s succefully splitted.";
constexpr char CombineDone[] = "File %s succefully combined. CRC checksum - OK!";
constexpr char CRCError[] = "CRC Error.";

// The text with name in place of its "%s".
inline std::string With(const char* text, const std::string& name)
{
    const std::string t(text);
    const size_t at = t.find("%s");
    return at == std::string::npos ? t : t.substr(0, at) + name + t.substr(at + 2);
}

}  // namespace hosttext
