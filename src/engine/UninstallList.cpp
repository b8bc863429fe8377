#include "engine/UninstallList.h"

#include <set>

#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "engine/EnginePaths.h"

namespace {

// "C:\..." or "\\server\share\...": the only files the extraction ever lists.
bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && os::IsPathSeparator(path[2])) {
    const char drive = path[0];
    return (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
  }
  return path.size() > 2 && os::IsPathSeparator(path[0]) && os::IsPathSeparator(path[1]);
}

std::string UpperAscii(const std::string& s) {
  std::string upper = s;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool Damaged(TListDamage& damage, std::string russian, std::string english) {
  damage.Russian = std::move(russian);
  damage.English = std::move(english);
  return false;
}

bool CheckSection(const TIDFSection& section, TListDamage& damage) {
  const std::string name(text::TrimControl(section.Name));
  if (section.IsTree) {
    return Damaged(damage, "раздел " + name + " не является списком файлов",
                   "section " + name + " is no list of files");
  }
  for (int i = 0; i < section.ParamCount(); ++i) {
    const TIDFParam& param = *section.Params(i);
    if (text::SameTextAscii(param.Name, "UsesCount")) {
      if (i != 0) {
        return Damaged(damage, "в разделе " + name + " счётчик UsesCount стоит не первым",
                       "UsesCount of section " + name + " is not its first line");
      }
      std::int32_t count = 0;
      try {
        count = param.AsInteger();
      } catch (const EConvertError&) {
        count = -1;
      }
      if (count < 0) {
        return Damaged(damage, "в разделе " + name + " счётчик UsesCount неверен: " + param.Value,
                       "UsesCount of section " + name + " is no count: " + param.Value);
      }
      continue;
    }
    const std::string file = UninstallFilePath(param);
    if (!IsFullPath(file)) {
      return Damaged(damage, "в разделе " + name + " строка " + file + " не является путём файла",
                     "line " + file + " of section " + name + " is no file path");
    }
  }
  return true;
}

bool CheckList(const TIDFTextFile& list, TListDamage& damage) {
  if (list.ParamCount() > 0) {
    return Damaged(damage, "строки вне разделов", "lines outside any section");
  }
  std::set<std::string> names;
  for (int i = 0; i < list.SectionCount(); ++i) {
    const TIDFSection& section = *list.Sections(i);
    const std::string name(text::TrimControl(section.Name));
    if (name.empty()) return Damaged(damage, "раздел без имени", "a section without a name");
    // Archives are looked up as the IDF file finds sections: ASCII letters without case.
    if (!names.insert(UpperAscii(name)).second) {
      return Damaged(damage, "два раздела архива " + name, "two sections of the archive " + name);
    }
    if (!CheckSection(section, damage)) return false;
  }
  return true;
}

}  // namespace

TUninstallListState LoadUninstallList(const std::string& path, TIDFTextFile& list,
                                      TListDamage& damage) {
  list.ClearParams();
  list.ClearSections();
  if (!os::FileExists(path)) return TUninstallListState::Missing;
  if (!list.LoadFromFile(path)) {
    list.ClearParams();
    list.ClearSections();
    Damaged(damage, "файл не читается или не является файлом IDF",
            "the file cannot be read or is no IDF file");
    return TUninstallListState::Damaged;
  }
  if (!CheckList(list, damage)) return TUninstallListState::Damaged;
  return TUninstallListState::Loaded;
}
