// Helpers of the extraction tests: the corpus manifest, a writer of small archives with
// exactly the records a test needs, and a recorder of the extraction events.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "common/testsupport.h"
#include "common/text.h"
#include "corpus_manifest.h"
#include "zip_bytes.h"
#include "unzip/Crc32.h"
#include "unzip/UnZip.h"

namespace extracttest {

// ---- the corpus --------------------------------------------------------------------------

using ManifestRow = corpus::TManifestEntry;
using corpus::ReadManifest;
using corpus::ShownName;

// ---- small archives ----------------------------------------------------------------------

struct TestEntry {
  std::string name;  // stored name, "/" separators
  std::string data;  // the entry's data as stored (method 0 unless said otherwise)
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  // CRC-32 and uncompressed size for the directory; by default those of `data`.
  bool ownCrc = false;
  std::uint32_t crc = 0;
  long long uncompressedSize = -1;
  std::uint32_t dosDateTime = 0x5A8E6C21;  // 2025-04-14 13:33:02
  std::uint32_t externalAttributes = 0x20;
  std::string comment = {};       // the entry's comment in the directory
  long long compressedSize = -1;  // the directory's compressed size; by default data.size()
  std::string centralExtra = {};  // extra field of the directory record
  std::string localExtra = {};    // extra field of the local header
};


inline std::uint32_t CrcOf(const std::string& bytes) {
  return unzip::Crc32(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// The fields of one entry's headers.
struct HeaderFields {
  std::string name;
  std::uint16_t method = 0;
  std::uint16_t flags = 0;
  std::uint32_t dosDateTime = 0x5A8E6C21;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;
  std::uint32_t uncompressedSize = 0;
  std::uint16_t extraLength = 0;  // written into the header; the extra bytes are not
  std::string extra = {};         // written after the name; then its length goes in instead
  std::uint32_t externalAttributes = 0x20;
  std::uint32_t localHeaderOffset = 0;  // central header only
  std::string comment = {};             // central header only
};

inline std::string LocalHeader(const HeaderFields& h) {
  std::string out;
  zipbytes::Put32(out, 0x04034B50);
  zipbytes::Put16(out, 20);
  zipbytes::Put16(out, h.flags);
  zipbytes::Put16(out, h.method);
  zipbytes::Put32(out, h.dosDateTime);
  zipbytes::Put32(out, h.crc);
  zipbytes::Put32(out, h.compressedSize);
  zipbytes::Put32(out, h.uncompressedSize);
  zipbytes::Put16(out, static_cast<unsigned>(h.name.size()));
  zipbytes::Put16(out, h.extra.empty() ? h.extraLength : static_cast<unsigned>(h.extra.size()));
  return out + h.name + h.extra;
}

inline std::string CentralHeader(const HeaderFields& h) {
  std::string out;
  zipbytes::Put32(out, 0x02014B50);
  zipbytes::Put16(out, 20);
  zipbytes::Put16(out, 20);
  zipbytes::Put16(out, h.flags);
  zipbytes::Put16(out, h.method);
  zipbytes::Put32(out, h.dosDateTime);
  zipbytes::Put32(out, h.crc);
  zipbytes::Put32(out, h.compressedSize);
  zipbytes::Put32(out, h.uncompressedSize);
  zipbytes::Put16(out, static_cast<unsigned>(h.name.size()));
  zipbytes::Put16(out, static_cast<unsigned>(h.extra.size()));
  zipbytes::Put16(out, static_cast<unsigned>(h.comment.size()));
  zipbytes::Put16(out, 0);
  zipbytes::Put16(out, 0);
  zipbytes::Put32(out, h.externalAttributes);
  zipbytes::Put32(out, h.localHeaderOffset);
  return out + h.name + h.extra + h.comment;
}

inline std::string EndRecord(unsigned entries, std::uint32_t centralSize,
                             std::uint32_t centralOffset, const std::string& comment = "") {
  std::string out;
  zipbytes::Put32(out, 0x06054B50);
  zipbytes::Put16(out, 0);
  zipbytes::Put16(out, 0);
  zipbytes::Put16(out, entries);
  zipbytes::Put16(out, entries);
  zipbytes::Put32(out, centralSize);
  zipbytes::Put32(out, centralOffset);
  zipbytes::Put16(out, static_cast<unsigned>(comment.size()));
  return out + comment;
}

// The bytes of a single-disk archive holding the entries in order.
inline std::string BuildZip(const std::vector<TestEntry>& entries,
                            const std::string& archiveComment = "") {
  std::string out, central;
  for (const TestEntry& e : entries) {
    HeaderFields h;
    h.name = e.name;
    h.method = e.method;
    h.flags = e.flags;
    h.dosDateTime = e.dosDateTime;
    h.crc = e.ownCrc ? e.crc : CrcOf(e.data);
    h.compressedSize = static_cast<std::uint32_t>(e.data.size());
    h.uncompressedSize = static_cast<std::uint32_t>(
        e.uncompressedSize >= 0 ? e.uncompressedSize : static_cast<long long>(e.data.size()));
    h.externalAttributes = e.externalAttributes;
    h.localHeaderOffset = static_cast<std::uint32_t>(out.size());
    h.comment = e.comment;
    h.extra = e.localExtra;
    out += LocalHeader(h) + e.data;
    h.extra = e.centralExtra;
    if (e.compressedSize >= 0) h.compressedSize = static_cast<std::uint32_t>(e.compressedSize);
    central += CentralHeader(h);
  }
  const std::uint32_t centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  out += EndRecord(static_cast<unsigned>(entries.size()),
                   static_cast<std::uint32_t>(central.size()), centralOffset, archiveComment);
  return out;
}

// An Info-ZIP Unicode Path extra field (0x7075) giving `utf8` as the name of the stored
// bytes `stored`; a CRC-32 of its own makes it a field left over from another name.
inline std::string UnicodePathField(const std::string& utf8, const std::string& stored,
                                    unsigned version = 1, bool ownCrc = false,
                                    std::uint32_t crc = 0) {
  std::string out;
  zipbytes::Put16(out, 0x7075);
  zipbytes::Put16(out, static_cast<unsigned>(5 + utf8.size()));
  out += static_cast<char>(version);
  zipbytes::Put32(out, ownCrc ? crc : CrcOf(stored));
  return out + utf8;
}

// Text of a given length that is not one repeated byte.
inline std::string SampleText(std::size_t size) {
  std::string s;
  const std::string words = "alpha beta gamma delta epsilon zeta eta theta iota kappa ";
  for (std::size_t i = 0; s.size() < size; ++i) s += words.substr((i * 7) % 40, 9) + char('a' + i % 26);
  s.resize(size);
  return s;
}

// ---- events ------------------------------------------------------------------------------

// Records every extraction event as one line; percentages as "file N" / "total N".
struct EventLog {
  std::vector<std::string> lines;
  // Answers of the handlers that return something.
  std::vector<std::string> passwords;  // handed out by OnBadPassword in turn, then the same
  bool overwrite = false;
  std::string renameTo;  // new FName from OnPromptForOverwrite, when not empty
  bool skipStart = false;
  bool stopNow = false;
  bool recordPercent = true;

  void Attach(TUnZip& z) {
    z.OnStartUnZipInfo = [this](TUnZip*, int n, std::int64_t total, bool& stop) {
      lines.push_back("info " + std::to_string(n) + " " + std::to_string(total));
      stop = stopNow;
    };
    z.OnStartUnZip = [this](TUnZip*, int i, const std::string& name, bool& skip) {
      lines.push_back("start " + std::to_string(i) + " " + name);
      skip = skipStart;
    };
    z.OnFilePercentDone = [this](TUnZip*, int p) {
      if (recordPercent) lines.push_back("file " + std::to_string(p));
    };
    z.OnTotalPercentDone = [this](TUnZip*, int p) {
      if (recordPercent) lines.push_back("total " + std::to_string(p));
    };
    z.OnEndUnZip = [this](TUnZip*, int i, const std::string& name) {
      lines.push_back("end " + std::to_string(i) + " " + name);
    };
    z.OnPromptForOverwrite = [this](TUnZip*, bool& ok, int i, std::string& name) {
      lines.push_back("prompt " + std::to_string(i) + " " + name);
      ok = overwrite;
      if (!renameTo.empty()) name = renameTo;
    };
    z.OnSkippingFile = [this](TUnZip*, TSkipReason r, const std::string& name, int i) {
      lines.push_back("skip " + std::to_string(i) + " " + std::to_string(int(r)) + " " + name);
    };
    z.OnBadPassword = [this](TUnZip*, int i, std::string& pw) {
      lines.push_back("badpassword " + std::to_string(i) + " " + pw);
      if (!passwords.empty()) {
        pw = passwords.front();
        passwords.erase(passwords.begin());
      }
    };
    z.OnBadCRC = [this](TUnZip*, std::uint32_t calc, std::uint32_t stored, int i) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "badcrc %d %08x %08x", i, calc, stored);
      lines.push_back(buf);
    };
  }
};

}  // namespace extracttest
