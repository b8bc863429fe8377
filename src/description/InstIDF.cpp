// Reading and writing IDF text files. The grammar is in InstIDF.h; the points a reader
// might not expect:
//   - only CR (or CR LF) ends a line; a file with LF-only line ends is one long line and
//     fails the header check;
//   - nothing is escaped: blanks around "=" belong to the name and the value, and a
//     value may itself contain "=";
//   - in a tree section the type text of the latest "name=TYPE=value" line stays in force
//     for later lines without one, until the end of the load;
//   - the writer emits no type keywords, leaves binary parameters out, and puts
//     "IDF-FPS-text" in front only when there are root parameters;
//   - a file is in the ANSI code page, or in UTF-8 when it begins with the UTF-8 signature
//     (written only when some text has no place in the ANSI code page).
#include "description/InstIDF.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string_view>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "setup/SetupGlobals.h"

namespace {

constexpr char kHeaderFps[] = "IDF-FPS-text";
constexpr char kHeaderCps[] = "IDF-CPS-text";
constexpr std::size_t kHeaderLength = 12;
constexpr char kTreeSuffix[] = "]-tree";
constexpr std::size_t kTreeSuffixLength = 6;
constexpr char kLineEnd[] = "\r\n";
constexpr char kUtf8Signature[] = "\xEF\xBB\xBF";
constexpr std::size_t kUtf8SignatureLength = 3;
constexpr int kUtf8CodePage = 65001;
constexpr char kCR = 13;
constexpr char kLF = 10;

// Joins texts without "literal" + std::string, about which GCC 12 warns falsely at -O3.
std::string Concat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out += part;
  return out;
}

[[noreturn]] void RaiseListIndexError(int index) {
  throw EListError(Concat({"List index out of bounds (", std::to_string(index), ")"}));
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool EndsWith(const std::string& s, const char* suffix, std::size_t length) {
  return s.size() >= length && s.compare(s.size() - length, length, suffix) == 0;
}

// Reads the lines of an open file through a buffer of its own. A file that begins with the
// UTF-8 signature is read as UTF-8 (the signature is not part of the first line); any other
// file is in the ANSI code page.
class LineReader {
 public:
  explicit LineReader(os::File& file) : file_(file) {
    char c;
    if (!ReadByte(c)) return;
    if (len_ >= kUtf8SignatureLength &&
        std::string_view(buffer_, kUtf8SignatureLength) == kUtf8Signature) {
      utf8_ = true;
      pos_ = kUtf8SignatureLength;
    } else {
      Unread();
    }
  }

  // The next line, trimmed of bytes <= 32 at both ends and converted to UTF-8. False only
  // at the end of the file: a CR LF alone still yields an (empty) line.
  bool ReadLine(std::string& line) {
    std::string raw;
    bool any = false;
    char c;
    while (ReadByte(c)) {
      any = true;
      if (c == kCR) {
        char next;
        if (ReadByte(next) && next != kLF) Unread();
        break;
      }
      raw += c;
    }
    if (!any) return false;
    line = utf8_ ? text::ToUtf8(text::TrimControl(raw), kUtf8CodePage)
                 : text::AnsiToUtf8(text::TrimControl(raw));
    return true;
  }

 private:
  bool ReadByte(char& c) {
    if (pos_ == len_) {
      if (atEnd_) return false;
      len_ = file_.Read(buffer_, sizeof buffer_);
      pos_ = 0;
      if (len_ == 0) {
        atEnd_ = true;
        return false;
      }
    }
    c = buffer_[pos_++];
    return true;
  }
  // Steps back over the byte just read; it is always still in the buffer.
  void Unread() { --pos_; }

  os::File& file_;
  char buffer_[8192];
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  bool atEnd_ = false;
  bool utf8_ = false;
};

TIDFParamType TypeFromText(const std::string& typeText) {
  const std::string upper = text::UpperAscii(typeText);
  if (upper == "DOUBLE") return ptDouble;
  if (upper == "INTEGER") return ptInteger;
  if (upper == "BINARY") return ptBinary;
  if (upper == "BOOLEAN") return ptBoolean;
  return ptString;
}

// A free name beside the file for the text that is to replace it: a counter keeps the saves
// of this process apart, a random number drawn once those of other processes.
std::string TemporaryNameFor(const std::string& fileName) {
  static const unsigned processTag = [] {
    try {
      return static_cast<unsigned>(std::random_device{}());
    } catch (...) {
      return static_cast<unsigned>(
          std::chrono::steady_clock::now().time_since_epoch().count());
    }
  }();
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tag[32];
    std::snprintf(tag, sizeof tag, ".%08x-%u.tmp", processTag, ++counter);
    std::string name = Concat({fileName, tag});
    if (!os::FileExists(name) && !os::DirectoryExists(name)) return name;
  }
  return {};
}

void AppendParamLine(std::string& out, const TIDFParam& param) {
  out += param.Name;
  out += '=';
  out += param.Value;
  out += kLineEnd;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// TIDFParam

std::int32_t TIDFParam::AsInteger() const {
  const auto fail = [this]() -> std::int32_t {
    throw EConvertError(Concat({"'", Value, "' is not a valid integer value"}));
  };
  std::size_t i = 0;
  while (i < Value.size() && Value[i] == ' ') ++i;  // leading blanks are tolerated
  bool negative = false;
  if (i < Value.size() && (Value[i] == '+' || Value[i] == '-')) negative = Value[i++] == '-';
  if (i == Value.size()) return fail();
  std::int64_t magnitude = 0;
  for (; i < Value.size(); ++i) {
    const char c = Value[i];
    if (c < '0' || c > '9') return fail();
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) {
      return fail();
    }
  }
  const std::int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<std::int32_t>::max()) return fail();
  return static_cast<std::int32_t>(result);
}

void TIDFParam::SetAsInteger(std::int32_t value) { Value = std::to_string(value); }

// ---------------------------------------------------------------------------------------
// TIDFSection

TIDFParam* TIDFSection::Params(int index) const {
  if (index < 0 || index >= ParamCount()) return nullptr;
  return params_[static_cast<std::size_t>(index)].get();
}

TIDFParam* TIDFSection::AddParam(const std::string& name) {
  params_.push_back(std::make_unique<TIDFParam>(name));
  return params_.back().get();
}

TIDFParam* TIDFSection::InsertParam(const std::string& name, int index) {
  if (index < 1) return nullptr;
  if (index > ParamCount()) RaiseListIndexError(index);
  auto it = params_.insert(params_.begin() + index, std::make_unique<TIDFParam>(name));
  return it->get();
}

void TIDFSection::DeleteParam(int index) {
  if (index < 0 || index >= ParamCount()) return;
  params_.erase(params_.begin() + index);
}

TIDFParam* TIDFSection::FindParam(const std::string& name) const {
  for (const auto& param : params_) {
    if (text::SameTextAscii(param->Name, name)) return param.get();
  }
  return nullptr;
}

void TIDFSection::ClearParams() {
  while (!params_.empty()) params_.pop_back();
}

// ---------------------------------------------------------------------------------------
// TIDFTextFile

TIDFSection* TIDFTextFile::Sections(int index) const {
  if (index < 0 || index >= SectionCount()) RaiseListIndexError(index);
  return sections_[static_cast<std::size_t>(index)].get();
}

TIDFSection* TIDFTextFile::AddSection(const std::string& name) {
  sections_.push_back(std::make_unique<TIDFSection>(name, false));
  return sections_.back().get();
}

TIDFSection* TIDFTextFile::FindSection(const std::string& name) const {
  for (const auto& section : sections_) {
    if (text::SameTextAscii(section->Name, name)) return section.get();
  }
  return nullptr;
}

void TIDFTextFile::DeleteSection(const std::string& name) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if ((*it)->Name == name) {
      sections_.erase(it);
      return;
    }
  }
}

void TIDFTextFile::DeleteSectionAt(int index) {
  if (index < 0 || index >= SectionCount()) return;
  sections_.erase(sections_.begin() + index);
}

void TIDFTextFile::ClearSections() {
  while (!sections_.empty()) sections_.pop_back();
}

bool TIDFTextFile::LoadFromFile(const std::string& fileName) {
  WriteLog(Concat({" Load IDF file ", fileName}));
  if (!os::FileExists(fileName)) return false;
  try {
    os::File file = os::OpenFile(fileName, os::OpenMode::Read, /*denyWriters*/ true);
    if (!file.IsOpen()) return false;
    LineReader reader(file);

    std::string line;
    if (!reader.ReadLine(line)) return false;
    const std::string header = line.substr(0, kHeaderLength);
    if (header != kHeaderCps && header != kHeaderFps) return false;
    if (!reader.ReadLine(line) || !line.empty()) return false;

    ClearParams();
    ClearSections();

    TIDFSection* current = nullptr;  // the last section header read
    std::string typeText;            // remembered across tree lines for the whole load
    while (reader.ReadLine(line)) {
      if (line.empty() || StartsWith(line, "//")) continue;
      if (line[0] == '[' && EndsWith(line, kTreeSuffix, kTreeSuffixLength)) {
        sections_.push_back(std::make_unique<TIDFSection>(
            line.substr(1, line.size() - 1 - kTreeSuffixLength), true));
        current = sections_.back().get();
        continue;
      }
      if (line[0] == '[' && line.back() == ']') {
        sections_.push_back(std::make_unique<TIDFSection>(line.substr(1, line.size() - 2), false));
        current = sections_.back().get();
        continue;
      }

      std::string name = line;
      std::string value;
      if (const auto eq = line.find('='); eq != std::string::npos) {
        name = line.substr(0, eq);
        value = line.substr(eq + 1);
      }
      TIDFParam* param = (current ? current : this)->AddParam(name);
      if (current && current->IsTree) {
        if (const auto eq = value.find('='); eq != std::string::npos) {
          typeText = value.substr(0, eq);
          value.erase(0, eq + 1);
        }
        param->ParamType = TypeFromText(typeText);
        if (param->ParamType == ptBoolean) {
          const bool on = text::UpperAscii(value) == "TRUE";
          value.clear();
          value.push_back(on ? '1' : '0');
        }
      }
      param->Value = std::move(value);
    }
    return true;
  } catch (...) {
    // A file that cannot be read is reported to the caller as not loaded; what was parsed
    // so far stays.
    return false;
  }
}

// The text goes to a new file beside the target, which replaces the target only once the
// whole text is written: a failed write (a full disk) leaves the previous file as it was.
bool TIDFTextFile::SaveToFile(const std::string& fileName) const {
  std::string temporary;
  try {
    std::string out = ParamCount() > 0 ? kHeaderFps : kHeaderCps;
    out += kLineEnd;
    out += kLineEnd;
    for (const auto& param : params_) AppendParamLine(out, *param);
    for (const auto& section : sections_) {
      out += Concat({"[", section->Name, section->IsTree ? kTreeSuffix : "]", kLineEnd});
      for (int i = 0; i < section->ParamCount(); ++i) {
        const TIDFParam& param = *section->Params(i);
        if (param.ParamType != ptBinary) AppendParamLine(out, param);
      }
    }
    // Other programs read these files in the ANSI code page, so that is what they are
    // written in whenever it holds every text. A text it lacks (an installed file's name in
    // another alphabet) would come back as "?", so such a file is written as UTF-8 behind the
    // UTF-8 signature, which LoadFromFile recognises.
    const std::string bytes =
        text::FitsAnsi(out) ? text::Utf8ToAnsi(out) : Concat({kUtf8Signature, out});

    temporary = TemporaryNameFor(fileName);
    if (temporary.empty()) return false;
    {
      os::File file = os::OpenFile(temporary, os::OpenMode::Create, /*denyWriters*/ true);
      if (!file.IsOpen()) return false;
      file.Write(bytes.data(), bytes.size());
      file.Close();
    }
    if (os::ReplaceFile(temporary, fileName)) return true;
  } catch (...) {
  }
  if (!temporary.empty()) os::RemoveFile(temporary);
  return false;
}
