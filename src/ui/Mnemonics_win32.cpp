#include "ui/Mnemonics_win32.h"

namespace ui {

namespace {

struct TMarked {
  const char* Text;
  const char* Marked;
};

// Letters that never meet on one page: Back, Next (with its other texts), Exit and Browse
// show together on the install-type page; Cancel is alone in its window.
const TMarked kButtons[] = {
    {"< Назад", "< &Назад"},        {"Далее >", "&Далее >"},       {"Выход", "&Выход"},
    {"Согласен", "&Согласен"},      {"Установить", "&Установить"}, {"Выполнить", "Вы&полнить"},
    {"Выбрать", "Выб&рать"},        {"Отмена", "&Отмена"},
    {"Back", "&Back"},              {"Next", "&Next"},             {"Next >", "&Next >"},
    {"Exit", "E&xit"},              {"I Agree", "I &Agree"},       {"Install", "&Install"},
    {"Add/Del", "&Add/Del"},        {"Browse", "B&rowse"},         {"Cancel", "&Cancel"},
};

}  // namespace

std::string WithMnemonic(const std::string& text) {
  for (const TMarked& button : kButtons) {
    if (text == button.Text) return button.Marked;
  }
  return text;
}

std::string WithoutMnemonic(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

}  // namespace ui
