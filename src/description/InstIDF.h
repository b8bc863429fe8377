// IDF text files: the format of every structured file of the program (setup.idf,
// uninst.idf, uninst.inf, temp.inf).
//
//   line 1   "IDF-CPS-text" or "IDF-FPS-text" (first 12 characters; the rest is ignored)
//   line 2   empty
//   then     root parameters      name=value
//            "[" name "]"         an ordinary section
//            "[" name "]-tree"    a tree section; its lines read name=TYPE=value, where TYPE
//                                 is DOUBLE, INTEGER, BINARY, BOOLEAN or anything else (string)
//            "//" ...             a comment (only at the start of a line)
//            empty lines are skipped
//
// A line ends with CR or CR LF (a lone LF stays part of the line) and is trimmed of bytes
// with a code of 32 or below. Files are in the ANSI code page, or in UTF-8 behind the UTF-8
// signature (EF BB BF) when a text has no place in the ANSI code page; the objects hold UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TIDFParamType : std::uint8_t {
  ptString = 0,
  ptInteger = 1,
  ptBoolean = 2,
  ptDouble = 3,
  ptBinary = 4,
};

class TIDFParam {
 public:
  explicit TIDFParam(std::string name) : Name(std::move(name)) {}

  std::string Name;
  TIDFParamType ParamType = ptString;
  std::string Value;  // always text

  const std::string& AsString() const { return Value; }
  void SetAsString(const std::string& value) { Value = value; }
  // Raises EConvertError when the text is not a decimal integer.
  std::int32_t AsInteger() const;
  void SetAsInteger(std::int32_t value);
  void SetAsBoolean(bool value) { Value = value ? "1" : "0"; }
};

class TIDFSection {
 public:
  explicit TIDFSection(std::string name = {}, bool isTree = false)
      : Name(std::move(name)), IsTree(isTree) {}
  virtual ~TIDFSection() = default;
  TIDFSection(const TIDFSection&) = delete;
  TIDFSection& operator=(const TIDFSection&) = delete;

  std::string Name;
  bool IsTree = false;

  int ParamCount() const { return static_cast<int>(params_.size()); }
  // Nothing (nullptr) for an index outside the list.
  TIDFParam* Params(int index) const;
  TIDFParam* AddParam(const std::string& name);
  // Index must be at least 1 (below: nothing inserted, nullptr); above ParamCount raises
  // EListError.
  TIDFParam* InsertParam(const std::string& name, int index);
  void DeleteParam(int index);  // an index outside the list does nothing
  // First parameter whose name matches with ASCII letters compared without case.
  TIDFParam* FindParam(const std::string& name) const;
  void ClearParams();

 protected:
  std::vector<std::unique_ptr<TIDFParam>> params_;
};

class TIDFTextFile : public TIDFSection {
 public:
  TIDFTextFile() = default;

  int SectionCount() const { return static_cast<int>(sections_.size()); }
  // Raises EListError for an index outside the list.
  TIDFSection* Sections(int index) const;
  TIDFSection* AddSection(const std::string& name);
  TIDFSection* FindSection(const std::string& name) const;
  void DeleteSection(const std::string& name);  // exact, case-sensitive name
  void DeleteSectionAt(int index);
  void ClearSections();

  // Replaces the contents by the file's; false for a missing or invalid file (the contents
  // then stay as they were unless the failure came after the header checks).
  bool LoadFromFile(const std::string& fileName);
  // Writes the whole text to a new file beside the target, then puts it in the target's
  // place; false (and the target as it was) when either step fails.
  bool SaveToFile(const std::string& fileName) const;

 private:
  std::vector<std::unique_ptr<TIDFSection>> sections_;
};
