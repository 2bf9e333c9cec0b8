#include "wildcard.h"

#include "text.h"

namespace devinstall {

namespace {

bool segmentAt(std::wstring_view text, std::size_t at, std::wstring_view segment) noexcept {
  return text.size() - at >= segment.size() &&
         equalsIgnoringCase(text.substr(at, segment.size()), segment);
}

}  // namespace

bool matchesWildcard(std::wstring_view pattern, std::wstring_view text) noexcept {
  std::size_t p = pattern.find(L'*');
  if (p == std::wstring_view::npos) return equalsIgnoringCase(pattern, text);
  if (!segmentAt(text, 0, pattern.substr(0, p))) return false;
  std::size_t t = p;

  for (;;) {
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    if (p == pattern.size()) return true;

    const std::size_t star = pattern.find(L'*', p);
    const std::wstring_view segment = pattern.substr(p, star == std::wstring_view::npos ? star : star - p);
    if (star == std::wstring_view::npos) {
      // The last segment ends the text, and may not reach back into what is already used.
      return text.size() - t >= segment.size() && segmentAt(text, text.size() - segment.size(), segment);
    }

    const wchar_t first = foldCase(segment.front());
    for (;; ++t) {
      while (t < text.size() && foldCase(text[t]) != first) ++t;
      if (t == text.size()) return false;
      if (segmentAt(text, t, segment)) break;
    }
    t += segment.size();
    p = star;
  }
}

}  // namespace devinstall
