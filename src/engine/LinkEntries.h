// Link entries of the program group ("target|arguments|icon|name|description") and the
// names a group and a link may have, as pure text.
#pragma once

#include <string>
#include <string_view>

struct TLinkEntry {
  std::string Target, Arguments, Icon, Name, Description;  // missing fields are empty
};
TLinkEntry ParseLinkEntry(std::string_view entry);

// A link's file is name + ".lnk" in the group's folder: a name that holds a character a
// file name cannot hold (or a separator) would land elsewhere or nowhere, so it is refused.
bool IsSafeLinkName(std::string_view name);
// A group may be nested ("Vendor\Product"), but it never leaves the folder it is made in:
// no empty, "." or ".." component, no drive, no rooted or network form.
bool IsSafeGroupName(std::string_view group);

// The folder part of a path with its trailing "\" ("" without one).
std::string FolderOf(std::string_view path);
// Everything after the last "\" (the whole text without one).
std::string LastPathComponent(std::string_view path);
