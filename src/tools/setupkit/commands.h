// The commands of setupkit. Each takes the arguments after its name and returns the exit
// status; output is UTF-8 on standard output, errors go to standard error.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunDumpIdf(const Args& args);       // dump-idf FILE [--codepage N]
int RunTree(const Args& args);          // tree FILE [--select N | --deselect N]... [--codepage N]
int RunUnzipList(const Args& args);     // unzip --list ARCHIVE ...   (args after --list)
int RunUnzipTest(const Args& args);     // unzip --test ARCHIVE ...   (args after --test)
int RunUnzipExtract(const Args& args);  // unzip --extract DIR ARCHIVE ... (args after --extract)
int RunCheck(const Args& args);         // check DIST [--json] [--codepage N]

// Reads "--codepage N" out of args (removing it) and sets the ANSI code page; false and a
// message on standard error for a code page that cannot be converted.
bool TakeCodePageOption(Args& args);
