#include "text.h"

#include <algorithm>

namespace devinstall {

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return foldCase(x) == foldCase(y);
         });
}

std::vector<std::wstring> splitStringList(std::wstring_view list) {
  std::vector<std::wstring> strings;
  while (!list.empty()) {
    const std::size_t end = list.find(L'\0');
    const std::wstring_view item = list.substr(0, end);
    if (item.empty()) break;
    strings.emplace_back(item);
    if (end == std::wstring_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return strings;
}

}  // namespace devinstall
