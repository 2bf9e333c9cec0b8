#pragma once

#include <string>
#include <vector>

namespace devinstall {

// A command line that the platform's CommandLineToArgvW splits back into exactly these
// elements. Element 0, a program path, is only put in quotes: the platform reads it without
// backslash escapes, and a path holds no quote. Every later element is quoted with its
// quotes escaped and the backslashes before them, and before the closing quote, doubled.
std::wstring quotedCommandLine(const std::vector<std::wstring>& elements);

}  // namespace devinstall
