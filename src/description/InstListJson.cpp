// The subsystem tree as JSON for the vendor tool.
#include "description/InstListJson.h"

#include <memory>
#include <utility>

#include "common/errors.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "setup/Capture.h"
#include "setup/LogFiles.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

namespace {

void Field(std::string& out, const char* name, const std::string& value) {
  out += '"';
  out += name;
  out += "\":";
  out += text::JsonQuote(value);
  out += ',';
}

void Field(std::string& out, const char* name, std::int32_t value) {
  out += '"';
  out += name;
  out += "\":";
  out += std::to_string(value);
  out += ',';
}

void Field(std::string& out, const char* name, bool value) {
  out += '"';
  out += name;
  out += "\":";
  out += value ? "true" : "false";
  out += ',';
}

std::string StringArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ',';
    out += text::JsonQuote(items[i]);
  }
  out += ']';
  return out;
}

}  // namespace

std::string SysNodeToJson(const TSysNode& node) {
  const TSubsystemInfo& info = node.Info;
  std::string out = "{";
  Field(out, "number", info.Number);
  Field(out, "section", info.SectionName);
  Field(out, "shortName", info.ShortName);
  Field(out, "fullName", info.FullName);
  Field(out, "parent", info.Parent);
  Field(out, "depend", info.Depend);
  Field(out, "dependedOnBy", info.DependedOnBy);
  Field(out, "viewParent", info.ViewParent);
  Field(out, "viewOnly", info.ViewOnly);
  Field(out, "library", info.Library);
  Field(out, "parameter", info.Parameter);
  Field(out, "archive", info.Archive);
  Field(out, "links", info.Links);
  Field(out, "checkFiles", info.CheckFiles);
  Field(out, "reqFiles", info.ReqFiles);
  Field(out, "selected", info.Selected);
  Field(out, "complete", info.Complete);
  out += "\"children\":[";
  for (int i = 0; i < node.ChildCount(); ++i) {
    if (i > 0) out += ',';
    out += SysNodeToJson(*node.Children(i));
  }
  out += "]}";
  return out;
}

std::string SysTreeToJson(const TSysTree& tree) {
  std::string out = "[";
  for (int i = 0; i < tree.ChildCount(); ++i) {
    if (i > 0) out += ',';
    out += SysNodeToJson(*tree.Children(i));
  }
  out += ']';
  return out;
}

int TreeReport(const TIDFTextFile& file, const std::vector<TTreeTick>& ticks,
               std::string& json) {
  std::vector<std::string> messages;
  std::vector<std::string> log;
  TSysTree tree;
  bool loaded = false;
  std::string error;
  int status = 0;
  {
    TCaptureScope capture(messages, log);
    try {
      loaded = tree.LoadFromIDF(&file);
    } catch (const std::exception& e) {
      error = DescribeException(e);
    }
    if (loaded) {
      TMemoryTreeView view;
      if (!tree.FillTreeView(view)) error = "The tree view could not be filled";
      for (const TTreeTick& tick : ticks) {
        if (!error.empty()) break;
        TSysNode* node = tree.FindByNumber(tick.Number);
        if (!node) {
          error = "No subsystem has the number " + std::to_string(tick.Number);
          status = 2;
          break;
        }
        try {
          if (tick.Select) {
            node->Select();
          } else {
            node->Deselect();
          }
        } catch (const std::exception& e) {
          error = DescribeException(e);
        }
      }
    }
  }
  if (!loaded || (!error.empty() && status == 0)) status = 1;

  json = "{\"loaded\":";
  json += loaded ? "true" : "false";
  json += ",\"messages\":" + StringArray(messages);
  json += ",\"log\":" + StringArray(log);
  if (!error.empty()) json += ",\"error\":" + text::JsonQuote(error);
  json += ",\"nodes\":" + SysTreeToJson(tree) + "}";
  return status;
}
