// The directory structure and the extraction of the subsystems' archives, with the list of
// extracted files per archive (uninst.inf) that the removal reads back.
#include <memory>

#include "common/CanonicalPath.h"
#include "common/errors.h"
#include "common/osfile.h"
#include "common/text.h"
#include "description/InstIDF.h"
#include "description/InstList.h"
#include "engine/DirTree.h"
#include "engine/EnginePaths.h"
#include "engine/EnginePaths_win32.h"
#include "engine/Journal.h"
#include "engine/ProgressThread.h"
#include "engine/SetupUnZip.h"
#include "setup/Messages.h"
#include "setup/SetupGlobals.h"
#include "unzip/Streams.h"
#include "unzip/UnZipExtractPath.h"

// ---- TSetupUnZip -------------------------------------------------------------------------

TSetupUnZip::TSetupUnZip(TProgressThread& engine) : engine_(engine) {}

void TSetupUnZip::AttachHandlers() {
  using namespace std::placeholders;
  OnTotalPercentDone = [this](TUnZip* s, int p) { TotalPercentDone(s, p); };
  OnBadCRC = [this](TUnZip* s, std::uint32_t c, std::uint32_t st, int i) { BadCRC(s, c, st, i); };
  OnEndUnZip = [this](TUnZip* s, int i, const std::string& f) { EndUnZip(s, i, f); };
  OnInputRefill = [this](TUnZip* s) { InputRefill(s); };
  OnStartUnZip = [this](TUnZip*, int, const std::string& target, bool& skip) {
    skip = OnlyTargets.empty() ? SkipTargets.count(target) > 0 : OnlyTargets.count(target) == 0;
  };
}

void TSetupUnZip::TotalPercentDone(TUnZip* sender, int percent) {
  engine_.SetPercent(percent);
  if (!engine_.Report()) {
    WriteLog(" cancel archive operation");
    sender->CancelOperation();
  }
}

void TSetupUnZip::BadCRC(TUnZip*, std::uint32_t, std::uint32_t, int) {
  ShowBilingualMessage("Плохой архив !!!", "Invalid archive", SetupGlobals.MessageCaption,
                       mb::kIconError | mb::kTaskModal);
}

void TSetupUnZip::EndUnZip(TUnZip* sender, int fileIndex, const std::string& fileName) {
  // With RetainAttributes the reader has given the file the entry's attributes already;
  // only a read-only bit is left to take off (setting the same bits again costs an open of
  // the file by name for every file).
  const std::uint32_t attributes = sender->EntryAttributes(fileIndex);
  if (!sender->RetainAttributes || (attributes & os::kAttrReadOnly)) {
    os::SetAttributes(fileName, attributes & ~os::kAttrReadOnly);
  }
  WriteLog(" file " + fileName + " was unzipped successful");
}

void TSetupUnZip::InputRefill(TUnZip* sender) {
  if (!engine_.CheckPause()) sender->CancelOperation();
}

// ---- MakeDirStruct -----------------------------------------------------------------------

namespace {

constexpr const char* kStandardDirs[] = {"\\SYSTEM", "\\USER", "\\DATA", "\\EXE", "\\SOURCE", "\\SUBSYS"};

void ShowCannotCreate(const std::string& directory) {
  ShowBilingualMessage("Не могу создать каталог " + directory,
                       "error of creation of the directory " + directory,
                       SetupGlobals.MessageCaption, kErrorBox);
}

// A directory and every missing parent; a path shorter than 3 characters counts as made.
bool ForceDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  if (p.size() < 3) return true;
  return os::CreateDirectories(p);
}

// A section that lost its count gets it back in front of its files.
void PutUsesCountFirst(TIDFSection& section, int count) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < section.ParamCount(); ++i) {
    files.emplace_back(section.Params(i)->Name, section.Params(i)->Value);
  }
  section.ClearParams();
  section.AddParam("UsesCount")->SetAsInteger(count);
  for (const auto& [name, value] : files) section.AddParam(name)->Value = value;
}

}  // namespace

bool TProgressThread::MakeDirStruct(const std::string& installDir) {
  WriteLog(" IN funtion MAKEDIRSTRUCT");
  bool result = true;
  SetProgressText("Создание структуры каталогов", "Creation of structure of the directories");
  const std::string dir = NormalizeDestDir(installDir);
  if (const pathrules::TRefusalReason refused = RefusedInstallDirectory(dir)) {
    // Whatever the wizard or the description said, a root or a directory of the system is
    // never emptied or made the product's.
    ShowBilingualMessage(pathrules::RefusalTextRu(refused), pathrules::RefusalTextEn(refused),
                         SetupGlobals.MessageCaption, kErrorBox);
    WriteLog(" OUT funtion MAKEDIRSTRUCT");
    return false;
  }
  if (os::DirectoryExists(dir)) {
    // The wizard has asked the user before replacing an existing directory. A drive root
    // is never removed whole, whatever the description or the user typed.
    if (!IsRootOrEmpty(dir)) DeleteDirTree(CanonicalPath(dir), true);
  } else {
    SetPercent(Percent() + 20);
  }
  if (!Report()) return result;
  if (journal_) journal_->WillCreateDirectories(dir);
  if (!ForceDirectories(dir)) {
    ShowCannotCreate(dir);
    result = false;
  } else {
    WriteLog(" directory " + dir + " created");
    ProtectInstallDirectory(dir);
    if (!Report(Percent() + 20)) return result;
    // In a drive root the standard directories are not the product's own: an existing one
    // is used as it is, never emptied.
    const bool root = IsRootOrEmpty(dir);
    for (const char* sub : kStandardDirs) {
      const std::string path = (dir.back() == '\\' ? dir.substr(0, dir.size() - 1) : dir) + sub;
      if (!root && os::DirectoryExists(path)) DeleteDirTree(path, true);
      if (journal_) journal_->WillCreateDirectories(path);
      if (!os::CreateDirectories(path)) {
        result = false;
        ShowCannotCreate(path);
        break;
      }
      WriteLog(" directory " + path + " created");
      if (!Report(Percent() + 20)) return result;
    }
  }
  if (!result && !IsRootOrEmpty(dir)) DeleteDirTree(dir, true);
  WriteLog(" OUT funtion MAKEDIRSTRUCT");
  return result;
}

// ---- ExtractComponentsFiles --------------------------------------------------------------

bool TProgressThread::ExtractComponentsFiles() {
  // Two lines per file: the log stays open for the step.
  TLogFile::TKeepOpen keepLog(SetupGlobals.Log.get());
  WriteLog(" IN funtion EXTRACTCOMPONENTSFILES");
  SetPercent(0);
  const std::string& installDir = state_.InstallDir;
  const std::string destDir = NormalizeDestDir(installDir);
  try {
    TSetupUnZip& zip = *unzip_;
    zip.RecreateDirs = true;
    zip.OverwriteMode = TUZOverwriteMode::Always;
    zip.DoAll = true;
    zip.IncompleteZipMode = izAssumeBad;
    zip.RetainAttributes = true;
    // The worker has no window whose messages the reader could pump (a look into its empty
    // queue costs a round trip to the system per input block); pause and cancel reach the
    // reader through OnInputRefill.
    zip.DoProcessMessages = false;
    zip.AttachHandlers();

    TIDFTextFile list;
    const std::string listPath = UninstallInfoPath(installDir);
    bool missing = false;
    // A damaged list refuses the run: saved with this run's archives alone, it would lose
    // the files of every earlier one.
    if (!LoadUninstallInfo(listPath, list, missing)) return false;
    if (!missing) WriteLog(" uninstall file loaded " + listPath);
    if (!Report()) return false;

    TArchiveList archives;
    state_.InstallTree->CollectArchives(archives, false);
    WriteLog(" get list of archive files");

    for (int i = 0; i < archives.Count(); ++i) {
      const TArchive& archive = *archives.Items(i);
      const std::string name(text::TrimControl(archive.ArchiveName));
      if (name.empty()) {
        WriteLog(" archive file name is empty");
        if (!Report()) return false;
        continue;
      }
      const std::string shortName = archive.Count() > 0 ? archive.Items(0)->ShortName : "";
      SetProgressText("Копирование файлов подсистемы \"" + shortName + "\"",
                      "Copy files of subsystem \"" + shortName + "\"");
      TIDFSection* section = list.FindSection(name);
      if (!section) {
        section = list.AddSection(name);
        section->AddParam("UsesCount")->SetAsInteger(archive.Count());
        if (!Report()) return false;
        try {
          zip.SetZipName(name);
          zip.ReadArchive();
        } catch (const EFOpenError&) {
          ShowBilingualMessage("Не могу открыть архив " + name, "the open error of archive " + name,
                               SetupGlobals.MessageCaption, kErrorBox);
          return false;
        }
        std::vector<std::string> deferred;  // in use: replaced at the next restart
        zip.SkipTargets.clear();
        zip.OnlyTargets.clear();
        for (int e = 0; e < zip.EntryCount(); ++e) {
          // Listed where the reader will write it, and not at all when the reader skips it.
          const std::string fileName = zip.EntryFileName(e);
          const unzip::TTargetPlan plan = unzip::PlanTargetDirectory(
              zip.EntryDirectory(e), fileName, destDir, zip.RootDir(), true);
          if (plan.Unsafe) continue;
          if (journal_) journal_->WillCreateDirectories(plan.Directory);
          if ((zip.EntryAttributes(e) & os::kAttrDirectory) || fileName.empty()) continue;
          const std::string path = plan.Directory + fileName;
          // Nothing of a directory this run made can be held by another program.
          const bool ours = journal_ && journal_->InsideCreated(path);
          const TFileInUse inUse = ours ? TFileInUse::Write : ResolveFileInUse(path);
          if (inUse == TFileInUse::Keep) {
            // Not written, so not ours: a removal must not delete what another program
            // holds and the product never wrote.
            zip.SkipTargets.insert(path);
            WriteLog(" " + path + " not written, not listed");
            continue;
          }
          section->AddParam(path);
          WriteLog(" " + path);
          if (inUse == TFileInUse::Defer) {
            zip.SkipTargets.insert(path);
            deferred.push_back(path);
            continue;
          }
          if (journal_ && !journal_->WillWriteFile(path)) {
            throw EInOutError("Cannot keep a copy of " + path + ". " + os::LastErrorMessage());
          }
        }
        if (Terminated()) return false;
        zip.DoAll = true;
        zip.SetDestDir(destDir);
        zip.RetainAttributes = true;
        if (zip.FilesList.empty()) zip.FilesList.push_back("*.*");
        zip.ExtractFiles();
        zip.SkipTargets.clear();
        if (!deferred.empty() && !Terminated()) ExtractForRestart(zip, destDir, deferred);
      } else {
        if (TIDFParam* count = section->FindParam("UsesCount")) {
          count->SetAsInteger(count->AsInteger() + archive.Count());
        } else {
          PutUsesCountFirst(*section, archive.Count());
        }
        WriteLog(" increment uninstall file");
      }
    }
    if (journal_) journal_->WillWriteFile(listPath);
    if (!list.SaveToFile(listPath)) {
      throw EInOutError("Cannot write " + listPath + ". " + os::LastErrorMessage());
    }
    WriteLog(" OUT funtion EXTRACTCOMPONENTFILES");
    return true;
  } catch (const Exception& e) {
    if (!Terminated()) {
      ShowLoggedMessage(std::string(e.ClassName()) + " : " + e.Message(),
                        SetupGlobals.MessageCaption, kErrorBox);
    }
    return false;
  }
}
