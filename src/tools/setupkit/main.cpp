// setupkit: what the installer will see in a distribution, for the product's vendor.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "common/errors.h"
#include "common/text.h"
#include "setup/Messages.h"
#include "tools/setupkit/commands.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

const char kUsage[] =
    "usage: setupkit dump-idf FILE [--codepage N]\n"
    "       setupkit tree FILE [--select N | --deselect N]... [--codepage N]\n"
    "       setupkit unzip --list ARCHIVE [--sort MODE] [--incomplete assume-bad|assume-multi]\n"
    "       setupkit unzip --test ARCHIVE [--password P]\n"
    "       setupkit unzip --extract DIR ARCHIVE [--password P] [--overwrite always|never]\n"
    "                      [--root-dir D] [--files PATTERN]...\n"
    "       setupkit check DIST [--json] [--codepage N]\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int RunUnzip(const Args& args) {
  if (args.empty()) return Usage();
  Args rest(args.begin() + 1, args.end());
  if (args[0] == "--list") return RunUnzipList(rest);
  if (args[0] == "--test") return RunUnzipTest(rest);
  if (args[0] == "--extract") return RunUnzipExtract(rest);
  return Usage();
}

}  // namespace

bool TakeCodePageOption(Args& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--codepage") continue;
    if (i + 1 >= args.size()) {
      std::fputs("--codepage needs a number\n", stderr);
      return false;
    }
    char* end = nullptr;
    long cp = std::strtol(args[i + 1].c_str(), &end, 10);
    if (*end != '\0' || !text::IsSupportedCodePage(static_cast<int>(cp))) {
      std::fprintf(stderr, "Unsupported code page %s\n", args[i + 1].c_str());
      return false;
    }
    text::SetAnsiCodePage(static_cast<int>(cp));
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    --i;
  }
  return true;
}

// The arguments in UTF-8; on Windows they are taken from the wide command line, since the
// narrow one loses every character outside the ANSI code page.
Args Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  Args args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; wide && i < count; ++i) {
    std::wstring_view w(wide[i]);
    args.push_back(text::Utf16ToUtf8(std::u16string(w.begin(), w.end())));
  }
  if (wide) LocalFree(wide);
  return args;
#else
  return Args(argv + 1, argv + argc);
#endif
}

int main(int argc, char** argv) {
  Args all = Arguments(argc, argv);
  if (all.empty()) return Usage();
  // No person sits at the tool: a box that asks is refused (and standard error says so), so
  // that a prompt such as "insert the next disk" ends the command instead of repeating.
  SetMessageBoxHandler(UnattendedMessageBox);
  // Descriptions are read in code page 1251 unless --codepage says otherwise, whatever the
  // code page of the machine the vendor runs the tool on.
  text::SetAnsiCodePage(1251);
  std::string command = all[0];
  Args args(all.begin() + 1, all.end());
  try {
    if (command == "dump-idf") return RunDumpIdf(args);
    if (command == "tree") return RunTree(args);
    if (command == "unzip") return RunUnzip(args);
    if (command == "check") return RunCheck(args);
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", DescribeException(e).c_str());
    return 1;
  }
}
