// The matchers and parsers that read command-line and INF text: never a fault, and the
// wildcard matcher always agrees with a plain glob over the whole text (taking each middle
// segment at its first place loses no match when only the last segment is anchored).
//
// Input: UTF-16LE code units, "pattern\ntext".
#include "driver_version.h"
#include "hardware_id_pattern.h"
#include "text.h"
#include "wildcard.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace devinstall;

// Whole-text glob by dynamic programming: "*" is any run, other characters match ignoring
// case.
bool globMatches(std::wstring_view pattern, std::wstring_view text) {
  std::vector<char> row(text.size() + 1, 0);
  row[0] = 1;
  for (const wchar_t p : pattern) {
    std::vector<char> next(text.size() + 1, 0);
    if (p == L'*') {
      char any = 0;
      for (std::size_t t = 0; t <= text.size(); ++t) next[t] = any = static_cast<char>(any | row[t]);
    } else {
      for (std::size_t t = 1; t <= text.size(); ++t) {
        next[t] = static_cast<char>(row[t - 1] && foldCase(p) == foldCase(text[t - 1]));
      }
    }
    row = std::move(next);
  }
  return row[text.size()] != 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  const std::size_t split = units.find(L'\n');
  const std::wstring_view pattern = std::wstring_view(units).substr(0, split);
  const std::wstring_view text = split == std::wstring::npos ? std::wstring_view() : std::wstring_view(units).substr(split + 1);

  if (matchesWildcard(pattern, text) != globMatches(pattern, text)) std::abort();
  HardwareIdPattern::parse(pattern).matches(text);
  driverVerNumber(units);
  splitStringList(units);
  return 0;
}
