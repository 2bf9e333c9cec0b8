#include "quoted_command_line.h"

#include <cstddef>

namespace devinstall {

namespace {

void appendQuoted(std::wstring& line, const std::wstring& argument) {
  line.push_back(L'"');
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote.
    line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line.push_back(c);
  }
  line.append(2 * backslashes, L'\\');
  line.push_back(L'"');
}

}  // namespace

std::wstring quotedCommandLine(const std::vector<std::wstring>& elements) {
  std::wstring line;
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (i == 0) {
      line = L"\"" + elements[0] + L"\"";
    } else {
      line.push_back(L' ');
      appendQuoted(line, elements[i]);
    }
  }
  return line;
}

}  // namespace devinstall
