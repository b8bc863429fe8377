// A test directory for the journal's file tests: paths below it in the form the engine
// builds them ("\\" inside), read and written through the program's own file functions,
// which take that form natively too.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/osfile.h"
#include "common/testsupport.h"

class JournalDirectoryTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return root.Path() + "\\" + name; }
  static void WriteFileBytes(const std::string& path, const std::string& bytes) {
    os::File file = os::OpenFile(path, os::OpenMode::Create, true);
    ASSERT_TRUE(file.IsOpen()) << path;
    file.Write(bytes.data(), bytes.size());
  }
  static std::string ReadFileBytes(const std::string& path) {
    os::File file = os::OpenFile(path, os::OpenMode::Read, false);
    std::string bytes;
    char buffer[4096];
    for (std::size_t n; file.IsOpen() && (n = file.Read(buffer, sizeof buffer)) > 0;) bytes.append(buffer, n);
    return bytes;
  }
  TempDir root;
};
