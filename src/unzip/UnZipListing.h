// The JSON listing of an archive's directory that "setupkit unzip --list" prints, and the
// names of the sort modes it takes. Kept beside the reader so tests check it directly.
#pragma once

#include <optional>
#include <string>

#include "unzip/UnZip.h"

// "ByName" ... "ByNone", or the short forms "name", "filename", "directory", "date",
// "compressed", "uncompressed", "rate", "none"; any letter case.
std::optional<TZipSortMode> ParseSortMode(const std::string& name);
const char* SortModeName(TZipSortMode mode);

// {"archiveComment":..,"disks":N,"rebuilt":b,"sortMode":..,"entries":[{"index":0,
//  "directory":..,"fileName":..,"method":..,"flags":..,"crc32":..,"compressedSize":..,
//  "uncompressedSize":..,"modDateTime":..,"externalAttributes":..,"diskNumberStart":..,
//  "localHeaderOffset":..,"comment":..},...]} on one line, in UTF-8, entries in the view's
// order. Comments are read as OEM text. The directory must have been read.
std::string ArchiveListingJson(TUnZip& zip);
