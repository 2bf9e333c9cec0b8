#pragma once

#include <string>
#include <string_view>
#include <vector>

// Text rules shared by the matchers: device and hardware IDs are ASCII, so case is folded
// for ASCII letters only, the same on every platform.
namespace devinstall {

constexpr wchar_t foldCase(wchar_t c) noexcept {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b) noexcept;

// The strings of a platform string list (each ends with a zero, the list with an empty
// string). Tolerates a missing final zero: the text after the last zero is one more string.
std::vector<std::wstring> splitStringList(std::wstring_view list);

}  // namespace devinstall
