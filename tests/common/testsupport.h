// Helpers shared by the test programs.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "setup/Messages.h"

// Path of a file of the shared test corpus, e.g. TestDataPath("zip/manifest.tsv"), in the
// form the program under test opens (a drive path under Wine).
std::string TestDataPath(const std::string& relative);

// A fresh, empty directory for one test (removed again by the destructor).
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }  // without a trailing separator
  std::string File(const std::string& name) const;   // Path() + separator + name
 private:
  std::string path_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);

// Scripts the message boxes of a test: each expected box is answered in order; a box that
// was not expected fails the test (and is answered with OK). The destructor checks that
// every expected box was shown and restores the previous handler.
class ScriptedMessages {
 public:
  struct Box {
    std::string text, caption;
    unsigned flags = 0;
  };
  ScriptedMessages();
  ~ScriptedMessages();
  // The next box shown is answered with `answer`.
  void Expect(int answer);
  const std::vector<Box>& Shown() const { return shown_; }

 private:
  std::deque<int> answers_;
  std::vector<Box> shown_;
  MessageBoxHandler previous_;
};
