// Reading and writing the checksum descriptor file.
#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "Descriptor.h"
#include "Files.h"

// A checksum file holds three short lines; no file larger than this is read as one, and never
// more than this is read of any file.
constexpr uint32_t MaxDescriptorBytes = 65536;
// A checksum list (.sfv) holds a line per piece, up to 1000 names of up to 259 characters.
constexpr uint32_t MaxListBytes = 1u << 20;

// The whole text of the file at path when it holds at most maxBytes bytes; no more than that is
// ever read. No value when it cannot be opened or read (error: the system's code), when it is a
// device (ERROR_NOT_SUPPORTED) or when it is larger (ERROR_FILE_TOO_LARGE).
std::optional<std::string> ReadDescriptorText(const std::string& path, DWORD& error,
                                              uint32_t maxBytes = MaxDescriptorBytes);
// Raises EFileError "Cannot open file "%s". %s" when the file cannot be read (also a device or a
// file larger than maxBytes), and the EConvertError of ParseDescriptor for a size that is not a
// number.
TDescriptor ReadDescriptorFile(const std::string& path, uint32_t maxBytes = MaxDescriptorBytes);
// The file name that the descriptor at path records (empty when it has none); no value when the
// file cannot be read as a descriptor (also when it is larger than maxBytes). Raises nothing but
// std::bad_alloc.
std::optional<std::string> ReadDescriptorFileName(const std::string& path, uint32_t maxBytes = MaxDescriptorBytes);
// Creates the file anew (TOutFile::ReplaceExclusive: never through a link, never mustNotBe's file)
// and writes the three lines; raises EFileError "Cannot create file "%s". %s" when it cannot be
// created or written.
void WriteDescriptorFile(const std::string& path, const std::string& fileName, uint64_t size, uint32_t crc,
                         const TFile* mustNotBe = nullptr);
// What a split writes beside its pieces (the unfinished descriptor before the first piece, the
// list and the descriptor after the last): text created as the split's checks saw its name
// (TOutFile::CreateAsSeen: never through a link, never mustNotBe's file, never over a file made
// or put there after the checks). The file written, or no value with the system's code in error
// (ERROR_FILE_EXISTS: another program's file is there now, left as it is); a file that could not
// be written completely is removed again.
std::optional<TFileSeen> WriteSplitTextFile(const std::string& path, const std::string& text, const TFile& mustNotBe,
                                            const TNameSeen& seen, DWORD& error);
