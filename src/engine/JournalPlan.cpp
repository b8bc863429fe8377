#include "engine/JournalPlan.h"

#include "common/pathrules.h"
#include "common/text.h"

TJournalRecord ProductRecord(const TJournalProduct& product) {
  TJournalRecord record{TJournalKind::Product, {product.Name, product.ProductKey, product.EntryKey}};
  record.Fields.insert(record.Fields.end(), product.Places.begin(), product.Places.end());
  return record;
}

bool ReadProductRecord(const TJournalRecord& record, TJournalProduct& product) {
  if (record.Kind != TJournalKind::Product || record.Fields.size() < 3) return false;
  product.Name = record.Fields[0];
  product.ProductKey = record.Fields[1];
  product.EntryKey = record.Fields[2];
  product.Places.assign(record.Fields.begin() + 3, record.Fields.end());
  return true;
}

namespace {

// A path in its one full spelling, empty when it is none. Built natively (tests, fuzzing) a
// POSIX path is judged as the drive Wine shows it as, so that the same rules apply.
std::string Full(const std::string& path) {
#ifndef _WIN32
  if (!path.empty() && path[0] == '/') return pathrules::NormalizeFullPath("Z:" + path);
#endif
  return pathrules::NormalizeFullPath(path);
}

// A registry key without its leading and trailing separators; empty when a name is empty.
std::string KeyText(const std::string& key) {
  std::size_t begin = 0, end = key.size();
  while (begin < end && key[begin] == '\\') ++begin;
  while (end > begin && key[end - 1] == '\\') --end;
  const std::string text = key.substr(begin, end - begin);
  if (text.empty() || text.find("\\\\") != std::string::npos) return {};
  for (char c : text)
    if (static_cast<unsigned char>(c) < 32) return {};
  return text;
}

bool KeySameOrBelow(const std::string& key, const std::string& base) {
  const std::string k = KeyText(key), b = KeyText(base);
  if (k.empty() || b.empty() || k.size() < b.size()) return false;
  if (!text::SameTextNoCase(k.substr(0, b.size()), b)) return false;
  return k.size() == b.size() || k[b.size()] == '\\';
}

// The product's keys must name something of the product, never a hive's top: two names at
// least ("Software\Vendor").
bool UsableProductKey(const std::string& key) {
  const std::string k = KeyText(key);
  return !k.empty() && k.find('\\') != std::string::npos;
}

bool MachineRoot(const std::string& root) {
  return root == "HKLM" || root == "HKLM32" || root == "HKLM64";
}

class TJudge {
 public:
  TJudge(const TJournalProduct& product, const std::string& journalPath, const TFinalPath& finalPath)
      : finalPath_(finalPath) {
    for (const std::string& place : product.Places) {
      const std::string full = Full(place);
      if (full.empty() || pathrules::IsRoot(full)) continue;  // never a whole drive
      places_.push_back({place, full, Resolve(place)});
    }
    if (!journalPath.empty()) {
      const std::string backups = journalPath + ".d";
      backups_ = {backups, Full(backups), Resolve(backups)};
    }
  }

  // Empty when the path lies in one of the product's places, else why not.
  std::string Inside(const std::string& path) const {
    const std::string full = Full(path);
    if (full.empty()) return "not a full path";
    for (const TPlace& place : places_) {
      if (Contains(place, path, full, false)) return {};
    }
    return "outside the product's directories";
  }

  std::string InsideBackups(const std::string& path) const {
    const std::string full = Full(path);
    if (full.empty()) return "the backup is not a full path";
    if (backups_.Full.empty() || !Contains(backups_, path, full, true)) {
      return "the backup lies outside the journal's own backup directory";
    }
    return {};
  }

  // The places strictly below `directory` (a directory made above them).
  std::vector<std::string> PlacesBelow(const std::string& directory) const {
    std::vector<std::string> below;
    const std::string full = Full(directory);
    if (full.empty() || pathrules::IsRoot(full)) return below;
    const std::string resolved = Resolve(directory);
    for (const TPlace& place : places_) {
      if (!pathrules::IsStrictlyBelow(place.Full, full)) continue;
      if (finalPath_ && (resolved.empty() || place.Resolved.empty() ||
                         !pathrules::IsStrictlyBelow(place.Resolved, resolved))) {
        continue;
      }
      below.push_back(place.Given);
    }
    return below;
  }

 private:
  struct TPlace {
    std::string Given, Full, Resolved;
  };

  std::string Resolve(const std::string& path) const {
    if (!finalPath_) return {};
    return Full(finalPath_(path));
  }

  bool Contains(const TPlace& place, const std::string& path, const std::string& full, bool strictly) const {
    const auto below = [strictly](const std::string& p, const std::string& d) {
      return strictly ? pathrules::IsStrictlyBelow(p, d) : pathrules::IsSameOrBelow(p, d);
    };
    if (!below(full, place.Full)) return false;
    if (!finalPath_) return true;
    // What exists is judged where it really leads: a junction inside leads nowhere else.
    const std::string resolved = Resolve(path);
    return !resolved.empty() && !place.Resolved.empty() && below(resolved, place.Resolved);
  }

  TFinalPath finalPath_;
  std::vector<TPlace> places_;
  TPlace backups_;
};

std::string Judge(const TJournalRecord& r, const TJournalProduct& product, const TJudge& judge,
                  std::vector<std::string>& above) {
  const auto fields = [&r](std::size_t n) { return r.Fields.size() == n; };
  switch (r.Kind) {
    case TJournalKind::DirCreated: {
      if (!fields(1)) return "malformed";
      std::string why = judge.Inside(r.Fields[0]);
      if (why.empty()) return {};
      above = judge.PlacesBelow(r.Fields[0]);
      return above.empty() ? why : std::string();
    }
    case TJournalKind::FileCreated:
      return fields(1) ? judge.Inside(r.Fields[0]) : "malformed";
    case TJournalKind::FileReplaced:
    case TJournalKind::FileDeleted: {
      if (!fields(2)) return "malformed";
      const std::string why = judge.Inside(r.Fields[0]);
      return why.empty() ? judge.InsideBackups(r.Fields[1]) : why;
    }
    case TJournalKind::KeyChanged:
    case TJournalKind::ValueChanged: {
      if (!fields(r.Kind == TJournalKind::KeyChanged ? 3 : 4)) return "malformed";
      if (!MachineRoot(r.Fields[0])) return "a registry root the product does not use";
      const std::string& key = r.Fields[1];
      if (UsableProductKey(product.ProductKey) && KeySameOrBelow(key, product.ProductKey)) return {};
      if (UsableProductKey(product.EntryKey) && KeySameOrBelow(key, product.EntryKey)) return {};
      if (r.Kind == TJournalKind::ValueChanged && KeySameOrBelow(key, kMachinePathKey) &&
          KeySameOrBelow(kMachinePathKey, key) && text::SameTextNoCase(r.Fields[2], kMachinePathValue)) {
        return {};
      }
      return "a registry key outside the product";
    }
    case TJournalKind::RestartOperation: {
      if (!fields(2)) return "malformed";
      const std::string why = judge.Inside(r.Fields[0]);
      if (!why.empty() || r.Fields[1].empty()) return why;
      return judge.Inside(r.Fields[1]);
    }
    case TJournalKind::Note:
      return fields(1) ? std::string() : "malformed";
    case TJournalKind::Product:
      return "a second product header";
  }
  return "an unknown kind of record";
}

}  // namespace

TRollbackPlan PlanRollback(const std::vector<TJournalRecord>& records, const std::string& journalPath,
                           const TFinalPath& finalPath) {
  TRollbackPlan plan;
  if (records.empty() || !ReadProductRecord(records.front(), plan.Product)) {
    for (const TJournalRecord& r : records) plan.Refused.push_back({r, "the journal names no product"});
    return plan;
  }
  plan.HasProduct = true;
  const TJudge judge(plan.Product, journalPath, finalPath);
  for (std::size_t i = 1; i < records.size(); ++i) {
    std::vector<std::string> above;
    const std::string why = Judge(records[i], plan.Product, judge, above);
    if (why.empty()) {
      plan.Steps.push_back({records[i], std::move(above)});
    } else {
      plan.Refused.push_back({records[i], why});
    }
  }
  return plan;
}
