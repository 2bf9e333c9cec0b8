#include "driver_version.h"

#include <limits>

namespace devinstall {

namespace {

bool isDigit(wchar_t c) noexcept { return c >= L'0' && c <= L'9'; }

}  // namespace

std::array<std::uint64_t, 7> parseDriverVer(std::wstring_view value) noexcept {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::array<std::uint64_t, 7> numbers{};
  std::size_t at = 0;
  for (std::uint64_t& number : numbers) {
    while (at < value.size() && !isDigit(value[at])) ++at;
    for (; at < value.size() && isDigit(value[at]); ++at) {
      const auto digit = static_cast<std::uint64_t>(value[at] - L'0');
      number = number > (kMax - digit) / 10 ? kMax : number * 10 + digit;
    }
  }
  return numbers;
}

std::uint64_t versionNumber(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) noexcept {
  return ((a * 65536 + b) * 65536 + c) * 65536 + d;
}

std::uint64_t driverVerNumber(std::wstring_view value) noexcept {
  const auto n = parseDriverVer(value);
  return versionNumber(n[3], n[4], n[5], n[6]);
}

}  // namespace devinstall
