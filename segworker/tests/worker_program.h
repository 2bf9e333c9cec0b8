#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace mivra::foreground_detection::test {

// The worker under test: natively the shipped one, on Windows the build with the trivial
// segmenter, which lies beside the test program.
inline std::string workerProgram() {
#ifdef _WIN32
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, n);
  return self.substr(0, self.find_last_of("\\/") + 1) + "segworker_test_segmenter.exe";
#else
  return SEGWORKER_PROGRAM;
#endif
}

}  // namespace mivra::foreground_detection::test
