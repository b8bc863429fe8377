// Helpers shared by the files of the subsystem tree; not part of its interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace instlist {

// Decimal text to a 32-bit number: leading blanks and a sign allowed, nothing after the
// digits. False when it is not such a number.
bool TryStrToInt(std::string_view text, std::int32_t& value);
// The same, raising EConvertError.
std::int32_t StrToInt(std::string_view text);

// The items of a list split at every `separator`; an empty text has no items.
std::vector<std::string> SplitList(std::string_view list, char separator);
// The trimmed items of a comma list of numbers, converted; EConvertError for an item that
// is not a number.
std::vector<std::int32_t> NumberItems(std::string_view list);

// Subsystems nested deeper than this are not loaded: it keeps every recursive walk of a
// loaded tree well within the stack.
constexpr int kMaxTreeDepth = 200;
// A description names tens of subsystems; beyond this many the rest is not loaded. The
// selection rules walk dependencies and view children recursively, and this keeps every
// such walk well within a thread's stack.
constexpr int kMaxSubsystems = 1000;

}  // namespace instlist
