// The shared ZIP corpus as its manifest describes it: one row per entry of every archive.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "common/text.h"

namespace corpus {

// One row of zip/manifest.tsv.
struct TManifestEntry {
  std::string archive, path, pathHex, sha256, password, expected, expectedFile, notes;
  int index = 0;
  std::uint16_t method = 0, flags = 0;
  std::int64_t uncompressedSize = 0, compressedSize = 0;
  std::uint32_t crc = 0;
  int diskStart = 0;
};

inline std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream ss(line);
  std::string field;
  while (std::getline(ss, field, '\t')) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

inline std::vector<TManifestEntry> ReadManifest() {
  std::vector<TManifestEntry> rows;
  std::istringstream in(ReadFileBytes(TestDataPath("zip/manifest.tsv")));
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto f = SplitTabs(line);
    if (f.size() < 15) continue;
    TManifestEntry e;
    e.archive = f[0];
    e.index = std::stoi(f[1]);
    e.path = f[2];
    e.pathHex = f[3];
    e.method = static_cast<std::uint16_t>(std::stoi(f[4]));
    e.flags = static_cast<std::uint16_t>(std::stoi(f[5], nullptr, 16));
    e.uncompressedSize = std::stoll(f[6]);
    e.compressedSize = std::stoll(f[7]);
    e.crc = static_cast<std::uint32_t>(std::stoul(f[8], nullptr, 16));
    e.sha256 = f[9];
    e.diskStart = f[10].empty() ? 0 : std::stoi(f[10]);
    e.password = f[11];
    e.expected = f[12];
    e.expectedFile = f[13];
    e.notes = f.size() > 16 ? f[16] : "";
    rows.push_back(e);
  }
  return rows;
}

inline std::string HexToBytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// Entries whose Info-ZIP Unicode Path extra field (version 1, CRC-32 of the stored bytes)
// names them; the manifest gives only the stored bytes. Read off the archives by hand.
struct TUnicodePathName {
  const char* archive;
  int index;
  const char* name;
};
inline constexpr TUnicodePathName kUnicodePathNames[] = {
    // Info-ZIP Zip stored "#U0442#U0435#U0441#U0442.txt", escaping what it could not store.
    {"public/sharpcompress/Infozip.nocomp.multi.zip", 4, "тест.txt"},
    // The stored bytes are CP866 "тест.txt", but the field was written from them as if they
    // were CP437; the field is what the archive says the name is.
    {"public/sharpcompress/Zip.implode.zip", 2, "ΓÑßΓ.txt"},
};

// The stored name as the reader shows it: "\" separators, the Unicode Path field's name, or
// the stored bytes as OEM or (bit 11) UTF-8 text.
inline std::string ShownName(const TManifestEntry& e) {
  for (const TUnicodePathName& u : kUnicodePathNames) {
    if (e.archive == u.archive && e.index == u.index) return u.name;
  }
  std::string raw = HexToBytes(e.pathHex);
  for (char& c : raw) {
    if (c == '/') c = '\\';
  }
  return (e.flags & 0x0800) != 0 ? text::ToUtf8(raw, 65001) : text::OemToUtf8(raw);
}

}  // namespace corpus
