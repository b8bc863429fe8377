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
//  "localHeaderOffset":..,"nameFrom":..,"comment":..},...]} on one line, in UTF-8, entries in
// the view's order. "nameFrom" tells where the name's text came from: "oem", "utf8" (flag bit
// 11), "unicodePath" (the Unicode Path extra field) or "oemNotUtf8" (flag bit 11 on bytes that
// are not UTF-8). Comments are read as names are: the Info-ZIP Unicode Comment field, UTF-8
// under flag bit 11, else OEM text. The directory must have been read.
std::string ArchiveListingJson(TUnZip& zip);
