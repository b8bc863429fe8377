// libFuzzer target for the journal reader and the roll-back planning: any bytes must parse
// (or be skipped) without a crash, the records must write and read back the same, and every
// change the plan accepts must lie inside the journal's product, judged as the plan judges
// it, whatever junctions the fake file system below pretends to have.
//
//   fuzz/build_fuzz_journal.sh, then build-fuzz/fuzz_journal -max_total_time=600 corpus_dir
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/pathrules.h"
#include "engine/DirTree.h"
#include "engine/Journal.h"
#include "engine/JournalPlan.h"

namespace {

// A fake machine: a name "jX" leads to "C:\Elsewhere\X" (a junction out), "kX" stays put.
std::string FinalPath(const std::string& path) {
  const std::string full = pathrules::NormalizeFullPath(path);
  if (full.empty()) return {};
  const std::size_t at = full.find("\\j");
  if (at == std::string::npos) return full;
  return "C:\\Elsewhere" + full.substr(at + 2);
}

bool Within(const std::string& path, const TJournalProduct& product, const TFinalPath& resolve,
            bool allowAbove) {
  for (const std::string& place : product.Places) {
    if (pathrules::NormalizeFullPath(place).empty() || pathrules::IsRoot(place)) continue;
    const bool lexical = pathrules::IsSameOrBelow(path, place) ||
                         (allowAbove && pathrules::IsStrictlyBelow(place, path) && !pathrules::IsRoot(path));
    if (!lexical) continue;
    if (!resolve) return true;
    const std::string p = resolve(path), d = resolve(place);
    if (p.empty() || d.empty()) continue;
    if (pathrules::IsSameOrBelow(p, d) || (allowAbove && pathrules::IsStrictlyBelow(d, p))) return true;
  }
  return false;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool withResolver = data[0] & 1;
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<TJournalRecord> records = ParseJournal(bytes);

  std::string again;
  for (const TJournalRecord& r : records) {
    again += EncodeJournalRecord(r);
    (void)DescribeJournalRecord(r);
  }
  const std::vector<TJournalRecord> reread = ParseJournal(again);
  Check(reread.size() == records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    Check(reread[i].Kind == records[i].Kind && reread[i].Fields == records[i].Fields);
  }

  const std::string journal = "C:\\ProgramData\\ztkinst\\Journals\\ztkinst-1.jnl";
  const TFinalPath resolve = withResolver ? TFinalPath(FinalPath) : TFinalPath();
  const TRollbackPlan plan = PlanRollback(records, journal, resolve);
  Check(plan.Steps.size() + plan.Refused.size() + (plan.HasProduct ? 1 : 0) == records.size());
  for (const TRollbackStep& step : plan.Steps) {
    const TJournalRecord& r = step.Record;
    switch (r.Kind) {
      case TJournalKind::DirCreated:
        Check(Within(r.Fields.at(0), plan.Product, resolve, true));
        for (const std::string& place : step.Above) Check(pathrules::IsStrictlyBelow(place, r.Fields[0]));
        break;
      case TJournalKind::FileCreated:
        Check(Within(r.Fields.at(0), plan.Product, resolve, false));
        break;
      case TJournalKind::FileReplaced:
      case TJournalKind::FileDeleted:
        Check(Within(r.Fields.at(0), plan.Product, resolve, false));
        Check(pathrules::IsStrictlyBelow(r.Fields.at(1), journal + ".d"));
        break;
      case TJournalKind::RestartOperation:
        Check(Within(r.Fields.at(0), plan.Product, resolve, false));
        Check(r.Fields.at(1).empty() || Within(r.Fields[1], plan.Product, resolve, false));
        break;
      case TJournalKind::KeyChanged:
      case TJournalKind::ValueChanged:
        Check(r.Fields.at(0).rfind("HKLM", 0) == 0);
        break;
      case TJournalKind::Note:
        break;
      case TJournalKind::Product:
        Check(false);
    }
  }
  return 0;
}

// The undo is not fuzzed (it acts on files); the planning never reaches these.
bool DeleteDirTree(const std::string&, bool) { std::abort(); }
