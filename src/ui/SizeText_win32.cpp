#include "ui/SizeText_win32.h"

namespace sizetext {

std::int64_t RequiredKilobytes(std::int64_t bytes) {
  if (bytes <= 0) return 0;
  // bytes * 1.1 / 1024 = bytes * 11 / 10240, split so that no product overflows.
  constexpr std::int64_t kDivisor = 10240;
  const std::int64_t whole = bytes / kDivisor, rest = bytes % kDivisor;
  return whole * 11 + (rest * 11 + kDivisor - 1) / kDivisor;
}

std::int64_t Megabytes(std::int64_t kilobytes) {
  if (kilobytes <= 0) return 0;
  return kilobytes / 1024 + (kilobytes % 1024 != 0 ? 1 : 0);
}

std::string GroupDigits(std::int64_t value) {
  const bool negative = value < 0;
  // Through the unsigned type: the lowest value has no positive counterpart.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += "\xC2\xA0";  // U+00A0
    grouped += digits[i];
  }
  return negative ? "-" + grouped : grouped;
}

std::string KilobytesText(std::int64_t kilobytes) { return GroupDigits(kilobytes) + " K"; }

std::string MegabytesText(std::int64_t kilobytes) { return GroupDigits(Megabytes(kilobytes)) + "M"; }

}  // namespace sizetext
