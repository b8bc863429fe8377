#include "common/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

std::string TestDataPath(const std::string& relative) {
  std::string path = std::string(SETUP_TESTDATA_DIR) + "/" + relative;
#ifdef _WIN32
  // The tree is on the Linux side; Wine shows the root of it as drive Z:.
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
#else
  return path;
#endif
}

namespace {
std::string UniqueName() {
  static std::atomic<int> counter{0};
#ifdef _WIN32
  long pid = static_cast<long>(GetCurrentProcessId());
#else
  long pid = static_cast<long>(getpid());
#endif
  return "setuptest-" + std::to_string(pid) + "-" + std::to_string(counter++);
}
}  // namespace

TempDir::TempDir() {
  fs::path p = fs::temp_directory_path() / UniqueName();
  fs::remove_all(p);
  fs::create_directories(p);
  path_ = p.string();
  while (!path_.empty() && (path_.back() == '/' || path_.back() == '\\')) path_.pop_back();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only files left by a test must not keep the directory.
  for (auto& entry : fs::recursive_directory_iterator(path_, ec)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const {
#ifdef _WIN32
  return path_ + "\\" + name;
#else
  return path_ + "/" + name;
#endif
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScriptedMessages::ScriptedMessages() {
  previous_ = SetMessageBoxHandler(
      [this](const std::string& text, const std::string& caption, unsigned flags) {
        shown_.push_back({text, caption, flags});
        if (answers_.empty()) {
          ADD_FAILURE() << "unexpected message box: " << text;
          return mb::kIdOk;
        }
        int answer = answers_.front();
        answers_.pop_front();
        return answer;
      });
}

ScriptedMessages::~ScriptedMessages() {
  SetMessageBoxHandler(previous_);
  EXPECT_TRUE(answers_.empty()) << answers_.size() << " expected message box(es) not shown";
}

void ScriptedMessages::Expect(int answer) { answers_.push_back(answer); }
