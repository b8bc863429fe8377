// The removing steps: the install directory on uninstall, the files of archives that no
// installed subsystem uses any more, and the clean-up after the library step.
#include <windows.h>

#include <memory>

#include "common/CanonicalPath.h"
#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/DirTree.h"
#include "engine/EngineMachine.h"
#include "engine/EnginePaths.h"
#include "engine/Journal.h"
#include "engine/ProgressThread.h"
#include "engine/RemovalPlan.h"
#include "engine/UninstallList.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"

bool TProgressThread::DelDirs() {
  SetProgressText("Удаление каталогов", "deleting of the directories");
  if (!Report(0)) return true;
  const std::string path = ReadInstalledPath();
  WriteLog(" deleting directory " + path);
  if (!Report(20)) return true;
  if (const pathrules::TRefusalReason refused = RefusedInstallDirectory(path)) {
    // A damaged record must not turn an uninstall into the removal of a drive or of the
    // system's own directories.
    WriteLog(" installed path is not a directory of its own; nothing deleted: " + pathrules::RefusalTextEn(refused));
  } else {
    // The directory the check judged, not another one the recorded spelling may reach.
    const std::string dir = CanonicalPath(path);
    DeleteDirTree(dir, false);
    if (os::DirectoryExists(dir)) ScheduleLeftovers(dir);
  }
  Report(100);
  return true;
}

bool TProgressThread::LoadUninstallInfo(const std::string& path, TIDFTextFile& list,
                                        bool& missing) {
  TListDamage damage;
  const TUninstallListState state = LoadUninstallList(path, list, damage);
  missing = state == TUninstallListState::Missing;
  if (state != TUninstallListState::Damaged) return true;
  WriteLog(" uninstall file damaged " + path + ": " + damage.English);
  ShowBilingualMessage("Список установленных файлов " + path + " повреждён: " + damage.Russian +
                           ".\r\nБез него нельзя узнать, какие файлы удалять. Ничего не изменено.",
                       "The list of installed files " + path + " is damaged: " + damage.English +
                           ".\r\nWithout it the files to remove cannot be told. Nothing was changed.",
                       SetupGlobals.MessageCaption, kErrorBox);
  return false;
}

bool TProgressThread::UninstallListUsable() {
  if (!SetupGlobals.RegisteredSetup) return true;
  TIDFTextFile list;
  bool missing = false;
  return LoadUninstallInfo(UninstallInfoPath(ReadInstalledPath()), list, missing);
}

void TProgressThread::DelCompFiles() {
  if (!SetupGlobals.RegisteredSetup) return;
  WriteLog(" IN procedure DELCOMPFILES");
  SetProgressText("Изменение реестра", "Change of the registry");
  SetPercent(0);
  if (!Report()) return;
  const std::string installedPath = ReadInstalledPath();
  const std::string listPath = UninstallInfoPath(installedPath);
  TIDFTextFile list;
  bool missing = false;
  if (!LoadUninstallInfo(listPath, list, missing)) {
    // Damaged: every file stays, and so does the list.
  } else if (missing) {
    const std::string& name = SetupGlobals.UninstallInfoFileName;
    ShowBilingualMessage("Ошибка чтения " + name, "error of reading " + name,
                         SetupGlobals.MessageCaption, kErrorBox);
  } else {
    if (!Report()) return;
    // What the list may delete is judged against the installed directory as it really is.
    const std::string installed = CanonicalPath(installedPath);
    const TArchiveList none;
    const TRemovalPlan plan = PlanArchiveRemoval(list, archives_ ? *archives_ : none, installed);
    for (const std::string& note : plan.Notes) WriteLog(note);
    for (const std::string& path : plan.Refused) WriteLog(" file " + path + " is outside the installation; not deleted");
    for (const std::string& path : plan.Files) {
      if (!os::FileExists(path)) {
      } else if (!ReachedWithoutLinks(installed, path)) {
        WriteLog(" file " + path + " lies behind a link; not deleted");
      } else if (!DeleteOrSchedule(path)) {
        ShowBilingualMessage("Ошибка удаления файла " + path, "error of deleting of the file " + path,
                             SetupGlobals.MessageCaption, kErrorBox);
      }
      if (!Report()) return;
    }
    if (journal_) journal_->WillWriteFile(listPath);
    if (!list.SaveToFile(listPath)) WriteLog(" uninstall file not saved " + listPath);
  }
  WriteLog(" OUT procedure DELCOMPFILES");
}

void TProgressThread::DelNotSetSystems() {
  WriteLog(" IN procedure DELNOTSETSYSTEMS");
  notSetTree_ = std::make_unique<TSysTree>();
  WriteLog(" got not set systems");
  ConfirmNotSetSystems();
  if (!Report()) {
    notSetTree_.reset();
    return;
  }
  if (notSetTree_->ChildCount() > 0) {
    SetProgressText("Удаление неустановившихся систем", "Deleting of the unstready subsystems");
    notSetTree_->DeselectAll();
    archives_ = std::make_unique<TArchiveList>();
    notSetTree_->CollectArchives(*archives_, false);
    DelCompFiles();
    archives_.reset();
  }
  notSetTree_.reset();
  if (!Report()) return;
  WriteLog(" got not set systems");
  // The tree's marks say what goes: an unmarked subsystem is removed, a marked one is only
  // the ancestor of one that is (adding/removing keeps the wizard's marks, and a dependent
  // given up above is unmarked with its subtree). Unmarking the whole tree here would also
  // remove the ancestors the person kept.
  if (state_.DeleteTree && state_.DeleteTree->ChildCount() > 0) {
    DelComp();
    if (!Report()) return;
  }
  WriteLog(" OUT procedure DELNOTSETSYSTEMS");
}

void TProgressThread::ConfirmNotSetSystems() {
  TSysTree* tree = state_.InstallTree;
  if (!Report() || !tree || tree->ChildCount() == 0) return;
  tree->CopyUnselectedTo(notSetTree_.get());
  if (notSetTree_->ChildCount() == 0) return;
  // Taken out of the tree now, they must still count as not done when the links to make
  // are worked out.
  tree->CollectLinks(leftOutMenu_, false);
  tree->CollectLinks(leftOutDesktop_, true);
  tree->RemoveUnselected(false);
  std::string dependents;
  notSetTree_->CollectDependents(dependents);
  TSysTree scratch;
  // The list grows while it is walked: each removed subsystem adds its own dependents.
  for (int k = 1;; ++k) {
    const std::int32_t number = GetListItem(dependents, k);
    if (number == -1) break;
    if (!Report()) break;
    TSysNode* node = tree->FindInSubtree(number);
    if (!node || !node->Info.Selected) continue;
    const std::string& name = node->Info.ShortName;
    if (ShowBilingualMessage(
            "Подсистема " + name + "\r\n возможно не будет работать.\r\nУдалить подсистему?",
            "Subsystem " + name + "\r\n will not be possible to work.\r\nTo remove subsystem?",
            SetupGlobals.MessageCaption, kQuestionBox) == mb::kIdYes) {
      scratch.ClearChildren();
      TSysNode* copy = TSysTree::CopyWithAncestors(node, &scratch);
      // The subsystem goes with everything below it; its ancestors stay.
      copy->Info.Selected = false;
      copy->DeselectAll();
      scratch.MergeInto(state_.DeleteTree);
      node->CollectDependents(dependents);
      // Not done any more, here too: it is neither registered nor given its links.
      node->Info.Selected = node->Info.Complete = false;
      node->DeselectAll();
    }
  }
  // A top-level subsystem given up goes from the tree like the ones whose library failed.
  tree->CollectLinks(leftOutMenu_, false);
  tree->CollectLinks(leftOutDesktop_, true);
  tree->RemoveUnselected(false);
}
