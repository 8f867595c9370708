// Reading and writing the checksum descriptor file.
#pragma once
#include <optional>
#include <string>

#include "Descriptor.h"
#include "Files.h"

// Raises EFileError "Cannot open file "%s". %s" when the file cannot be read, and the
// EConvertError of ParseDescriptor for a size that is not a number.
// A device is not read (it raises the same error).
TDescriptor ReadDescriptorFile(const std::string& path);
// A descriptor is a few short lines: a larger file is no descriptor.
constexpr uint64_t MaxDescriptorFileSize = 65536;
// The file name that the descriptor at path records (empty when it has none); no value when the
// file cannot be read as a descriptor, also when it is larger than MaxDescriptorFileSize (it is
// then not read at all). Raises nothing but std::bad_alloc.
std::optional<std::string> ReadDescriptorFileName(const std::string& path);
// Creates the file anew (TOutFile::ReplaceExclusive: never through a link, never mustNotBe's file)
// and writes the three lines; raises EFileError "Cannot create file "%s". %s" when it cannot be
// created or written.
void WriteDescriptorFile(const std::string& path, const std::string& fileName, uint64_t size, uint32_t crc,
                         const TFile* mustNotBe = nullptr);
