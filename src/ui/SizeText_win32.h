// The disk sizes the wizard shows: kilobytes with the file system's slack, whole megabytes for
// the full install type, and both with their digits grouped in threes.
#pragma once

#include <cstdint>
#include <string>

namespace sizetext {

// The kilobytes a product of `bytes` unpacked bytes needs, ten per cent for the file system's
// slack included. Rounded up: a product that is not empty never needs 0 K.
std::int64_t RequiredKilobytes(std::int64_t bytes);
// Whole megabytes of `kilobytes`, rounded up for the same reason.
std::int64_t Megabytes(std::int64_t kilobytes);

// `value` in decimal, its digits grouped in threes by a no-break space ("65 362 988"): one
// form in both languages, and a number that a line never breaks inside.
std::string GroupDigits(std::int64_t value);
// "65 362 988 K" (Label14, Label15).
std::string KilobytesText(std::int64_t kilobytes);
// "37M", after the full install type's caption.
std::string MegabytesText(std::int64_t kilobytes);

}  // namespace sizetext
