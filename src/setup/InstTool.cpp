#include "setup/InstTool.h"

#include "common/text.h"
#include "description/InstIDF.h"

std::string GetCommandLineText(const std::vector<std::string>& params) {
  std::string result;
  for (const std::string& param : params) {
    if (!text::TrimControl(result).empty()) result += ' ';
    result += param;
  }
  return result;
}

bool ReadIsEnglish(const TIDFTextFile* description) {
  try {
    if (!description) return false;
    TIDFSection* section = description->FindSection("Language");
    if (!section) return false;
    TIDFParam* param = section->FindParam("Language");
    if (!param) return false;
    return text::TrimControl(text::UpperAscii(param->AsString())) == "ENGLISH";
  } catch (...) {
    return false;
  }
}
