#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace devinstall {

// The seven numbers of a DriverVer value (month, day, year, then the four version parts),
// each the next run of digits after skipping anything else; missing numbers are 0, a run too
// long for 64 bits holds the largest value.
std::array<std::uint64_t, 7> parseDriverVer(std::wstring_view value) noexcept;

// ((a * 65536 + b) * 65536 + c) * 65536 + d in 64-bit arithmetic: for parts below 65536 the
// form in which the platform reports a driver node's version.
std::uint64_t versionNumber(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) noexcept;

// The version number of a DriverVer value.
std::uint64_t driverVerNumber(std::wstring_view value) noexcept;

}  // namespace devinstall
