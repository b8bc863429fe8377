// TWizardModel, the installation wizard without its window: the run's working state, the
// step table, and what Next and Back do on each step. The wizard form (InstDlg_win32.h)
// shows it and feeds it what the person types and clicks; the unattended run drives it
// directly. Every question goes through the message-box seam (setup/Messages.h).
//
// Steps and their pages:
//
//   1 pgFirst     2 pgLicense   3 pgTypeInst   4 pgSelComp (custom installation)
//   5 pgProgGrp   6 pgAction    7 pgSelComp (add/delete)   8 pgLast   9 the engine runs
//
//   new installation      1 -> 2 -> 3 -> (4 when custom) -> 5 -> 8 -> 9
//   adding / removing     1 -> 6 -> 7 -> 8 -> 9
//   removing the product  1 -> 6 -> 9
//   continuation run      9 at once
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "description/InstList.h"
#include "description/TreeInterfaces.h"
#include "engine/EngineInterfaces.h"

class TProgressThread;

// The pages of the wizard's notebook, in the order of their names.
enum TWizardPage { pgFirst, pgLicense, pgTypeInst, pgSelComp, pgProgGrp, pgAction, pgLast, pgNone };

// Why the last Next kept the wizard where it was.
enum class TWizardRefusal {
  None,
  NetworkDrive,      // started from a network path without a drive letter (the run ends)
  NoTree,            // the description does not build into a subsystem tree
  NoDirectory,       // the directory text is empty
  DirectoryRefused,  // an existing directory, not accepted
  DiskRootRefused,   // the directory is probably a disk root, not accepted
  NotEnoughSpace,
  GroupDeclined,     // the program group exists and the person did not want it changed
};

class TWizardModel : public TWizardState {
 public:
  TWizardModel();
  ~TWizardModel();
  TWizardModel(const TWizardModel&) = delete;
  TWizardModel& operator=(const TWizardModel&) = delete;

  // ---- creation ----
  // FormCreate without the widgets: built-in texts, the "Params" section of the
  // description, the defaults, and the first step (9 in a continuation run, which starts
  // the engine at once). `currentDirectory` tells whether the run started on a drive letter.
  void ReadParams(const std::string& currentDirectory);

  // ---- navigation ----
  // Next and Back of the current step; true when the step changed. LastRefusal says why a
  // Next stayed.
  bool Next();
  bool Back();
  void SetStep(int step);
  int Step = 1;
  TWizardRefusal LastRefusal = TWizardRefusal::None;

  // What the current step shows (set by SetStep from the step table).
  TWizardPage Page = pgFirst;
  std::string Caption;
  std::string NextText;   // BtnNext
  bool BackVisible = false;

  // ---- widget values the rules read and write ----
  bool DefaultLevel = true;       // CheckBox1
  int ActionIndex = 0;            // ActRadioGroup: 0 add/delete, 1 uninstall
  bool ActionVisible = true;      // ActRadioGroup shown, else UninstallLabel
  std::string DirectoryText;      // EditSelDir
  std::string GroupText;          // edFolder
  std::vector<std::string> Folders;  // FoldersListBox, sorted
  std::string Label1, Label8, Label14, Label15;
  std::string FullTypeCaption;
  std::string TypeItems[2];       // TypeInstRadioGroup's items (the first with its size)
  std::vector<std::string> LicenceLines;
  std::vector<std::string> SummaryLines;  // LastMemo
  std::string CompanyName, CompanyUrl;    // Label9/10 and Label11/12
  bool CompanyVisible = true, UrlVisible = true;
  std::string LogoFile;  // the description's side picture, full path; empty: "LEFTLOGO"

  // The handlers of the widgets, without the widgets.
  void TypeInstRadioGroupClick(int index);
  void ActRadioGroupClick(int index);
  // EditSelDirExit: false (after the message) when the text is empty.
  bool EditSelDirExit(const std::string& text);
  // A directory chosen by the browse dialog.
  void DirectoryChosen(const std::string& directory);
  void edFolderChange(const std::string& text);
  void FoldersListBoxClick(int index);
  // Ticks or unticks a subsystem as a click on its picture does, then recomputes Label15.
  void ToggleNode(TSysNode* node);
  // The picture of a subsystem in the tree: 0 all chosen, 1 partly chosen, 2 not chosen.
  static int ImageIndex(const TSysNode& node);
  // The address Label12Click opens for a label's text: "http://" put before an address
  // without a scheme. Empty: nothing to open (no text, or a scheme other than a web or
  // mail address's).
  static std::string CompanyUrlTarget(const std::string& labelText);

  // ---- the rules ----
  bool LoadLicence();
  bool SearchRegistrySettings();
  std::vector<std::string> ReadInstalledSubsystems();
  bool CheckInstallDir(const std::string& directory);
  // The existing program group question; false when the person declined.
  bool CheckProgramGroup();
  void FillProgramGroups();
  void AddSubfolders(const std::string& path);
  bool FillComponentTree();
  void PrepareInstall();
  std::int64_t RequiredK() const;
  std::string RequiredSpaceK() const { return std::to_string(RequiredK()); }
  std::int64_t FreeSpaceK() const;
  // Shows the message and answers false when the required space is not below the free one.
  bool CheckSpace();

  // ---- the engine ----
  void StartInstallThread();
  void InstallThreadTerminated();
  void ShowFinalMessage();

  // ---- owned state ----
  std::unique_ptr<TArchiveSize> ArchiveSizes;
  std::unique_ptr<TSysTree> SourceTree;
  std::unique_ptr<TSysTree> InstalledCopy;
  std::unique_ptr<TProgressThread> InstallThread;
  bool FullInstall = true;
  std::int64_t InstalledSizeK = 0;
  bool OnlyNewDir = false;
  bool NoDriveLetter = false;  // the current directory at creation was a network path

  // ---- what the model reaches ----
  // The tree view of the subsystem page; without one the model fills a tree in memory.
  ITreeViewItems* TreeView = nullptr;
  std::function<void()> ClearTreeView;  // empties the real tree view
  IProgressView* ProgressView = nullptr;
  // Replaces the start of the real engine (tests); the model has set InstallThread to none.
  std::function<void(TWizardModel&)> StartEngine;

  // ---- what the form reacts to ----
  std::function<void(int step)> OnStepShown;
  std::function<void()> OnClose;
  std::function<void()> OnSizesChanged;

 private:
  void UpdateStepTexts();
  bool NextFirst();
  bool NextLicence();
  bool NextTypeInst();
  bool NextSelComp();
  bool NextProgGrp();
  bool NextAction();
  bool NextAddDelete();
  void NextLast();
  bool BuildSourceTree();
  void EmptyComponentTree();
  void SetInstallTree(std::unique_ptr<TSysTree> tree);
  void SetDeleteTree(std::unique_ptr<TSysTree> tree);
  std::unique_ptr<TSysTree> CopySelected() const;
  const char* Lang(const char* russian, const char* english) const;

  std::unique_ptr<TSysTree> installTree_;
  std::unique_ptr<TSysTree> deleteTree_;
  TMemoryTreeView memoryTree_;
};

// The drive part of a path ("C:" of "C:\Quorvalen", "\\server\share" of a UNC path).
std::string ExtractFileDrive(const std::string& path);
// The path without one trailing "\".
std::string WithoutTrailingBackslash(const std::string& path);
