// The program group: a folder of shell links in the Start menu's programs folder or on the
// desktop, made, emptied of links and removed; and the continuation link of a restart,
// which lives in the Startup folder the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TJournal;

enum TGroupJob : std::uint8_t {
  gjCreate = 0,        // make the group with its links
  gjDeleteGroup = 1,   // remove the group's folder with everything in it
  gjDeleteLinks = 2,   // delete the named links of the group
};

// Runs one job on the main thread (where COM and the shell links live) and waits for it;
// called on the main thread it runs the job at once. `links` holds link entries
// ("target|arguments|icon|name|description"); may be null. False with the first error's text.
// With a journal, the folders and links made and the links deleted are recorded in it.
bool DealProgramGroup(std::uint8_t job, const std::string& group,
                      const std::vector<std::string>* links, std::string& error, bool desktop,
                      TJournal* journal = nullptr);

// The Startup folder's own name (its last path component): the group, under the programs
// folder, that holds the continuation link.
std::string GetStartupGroupName();

// The entry of the continuation link: the installer started again with the saved state.
std::string ContinueLinkEntry(const std::string& program, const std::string& installDir);
// Deletes the continuation link; every error is ignored.
void RemoveContinueLink();

// Start-up and shutdown of the program's COM: initialises it for the calling (main) thread
// and makes and releases one shell-link object, so the shell's libraries are loaded before
// the first job; the destructor releases COM if it was initialised.
class TShellLinkModule {
 public:
  TShellLinkModule();
  ~TShellLinkModule();
  TShellLinkModule(const TShellLinkModule&) = delete;
  TShellLinkModule& operator=(const TShellLinkModule&) = delete;

 private:
  bool initialized_ = false;
};
