#pragma once

#include <string>

namespace win32_test {

// The folder of the running program, without a trailing separator: where a test's
// screenshots and scratch files go, inside the build tree.
std::wstring ProgramFolder();

}  // namespace win32_test
