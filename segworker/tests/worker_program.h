#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace mivra::foreground_detection::test {

// A worker program under the protocol tests; `engine` when it sets up the inference engine
// (and so can fail with exit codes 3 and 4).
struct WorkerProgram {
  std::string name;
  std::string path;
  bool engine;
};

#ifdef _WIN32
// A file of the build tree by its path relative to the test program's folder.
inline std::string besideTest(const std::string& relative) {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, n);
  return self.substr(0, self.find_last_of("\\/") + 1) + relative;
}
#endif

// Natively the shipped worker; on Windows segworker.exe and the build with the trivial
// segmenter.
inline std::vector<WorkerProgram> workerPrograms() {
#ifdef _WIN32
  return {{"segworker", besideTest("..\\segworker.exe"), true},
          {"test_segmenter", besideTest("segworker_test_segmenter.exe"), false}};
#else
  return {{"segworker", SEGWORKER_PROGRAM, true}};
#endif
}

}  // namespace mivra::foreground_detection::test
