// Shared by the subsystem tree tests: descriptions written as compact text, and a log that
// keeps its lines.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "description/InstIDF.h"
#include "description/InstList.h"
#include "setup/LogFiles.h"
#include "setup/SetupGlobals.h"

namespace treetest {

// A description from lines separated by "\n": "[Name]" opens a section, anything else is a
// "name=value" parameter of the last section (a root parameter before the first one).
inline std::unique_ptr<TIDFTextFile> Describe(std::string_view body) {
  auto file = std::make_unique<TIDFTextFile>();
  TIDFSection* section = nullptr;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    std::string line(body.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      section = file->AddSection(line.substr(1, line.size() - 2));
      continue;
    }
    const std::size_t eq = line.find('=');
    TIDFParam* param = (section ? section : file.get())->AddParam(line.substr(0, eq));
    if (eq != std::string::npos) param->SetAsString(line.substr(eq + 1));
  }
  return file;
}

// Keeps the log lines of one test in memory (installed as SetupGlobals.Log).
class CapturedLog {
 public:
  CapturedLog() {
    previous_ = std::move(SetupGlobals.Log);
    SetupGlobals.Log = std::make_unique<Log>(lines_);
  }
  ~CapturedLog() { SetupGlobals.Log = std::move(previous_); }
  const std::vector<std::string>& Lines() const { return lines_; }
  bool Contains(std::string_view part) const {
    for (const auto& line : lines_) {
      if (line.find(part) != std::string::npos) return true;
    }
    return false;
  }

 private:
  class Log : public TLogFile {
   public:
    explicit Log(std::vector<std::string>& lines) : lines_(lines) {}
    void WriteLine(const std::string& message) override { lines_.push_back(message); }

   private:
    std::vector<std::string>& lines_;
  };
  std::vector<std::string> lines_;
  std::unique_ptr<TLogFile> previous_;
};

// The numbers of the top-level nodes, or of a node's children, as "1,2,3".
inline std::string ChildNumbers(const TCustomSysNode& node) {
  std::string out;
  for (int i = 0; i < node.ChildCount(); ++i) {
    if (i > 0) out += ',';
    out += std::to_string(node.Children(i)->Info.Number);
  }
  return out;
}

// The numbers of the selected nodes of the tree's Index, in Index order.
inline std::string SelectedNumbers(const TSysTree& tree) {
  std::string out;
  for (const TSysNode* node : tree.Index()) {
    if (!node->Info.Selected) continue;
    if (!out.empty()) out += ',';
    out += std::to_string(node->Info.Number);
  }
  return out;
}

// A detached node with the given number (and short name "S<number>").
inline std::unique_ptr<TSysNode> Node(std::int32_t number) {
  auto node = std::make_unique<TSysNode>();
  node->Info.Number = number;
  node->Info.ShortName = "S" + std::to_string(number);
  node->Info.SectionName = "Sec" + std::to_string(number);
  return node;
}

}  // namespace treetest
