#include "record_section.h"

#include <cstdlib>

namespace nvstandin {
namespace {

HANDLE g_mapping = nullptr;
StandinRecord* g_record = nullptr;

}  // namespace

StandinRecord& Record() {
  if (g_record == nullptr) {
    g_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                   sizeof(StandinRecord), StandinRecordName().c_str());
    if (g_mapping != nullptr) {
      g_record = static_cast<StandinRecord*>(
          MapViewOfFile(g_mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(StandinRecord)));
    }
    // Without a section the stand-in still works; what it records goes nowhere.
    if (g_record == nullptr) g_record = new StandinRecord{};
  }
  return *g_record;
}

void UnmapRecord() {
  if (g_mapping == nullptr) return;
  UnmapViewOfFile(g_record);
  CloseHandle(g_mapping);
  g_mapping = nullptr;
  g_record = nullptr;
}

int32_t EnterCall(Call call, const StandinConfig& config) {
  const uint32_t nth = ++Record().calls[static_cast<size_t>(call)];
  return config.FailureFor(kCallNames[static_cast<size_t>(call)], nth);
}

StandinConfig ReadConfigFromEnvironment() {
  wchar_t text[4096];
  const DWORD length = GetEnvironmentVariableW(kStandinConfigVariable, text, 4096);
  if (length == 0 || length >= 4096) return {};
  std::string narrow;
  for (DWORD i = 0; i < length; ++i) narrow.push_back(static_cast<char>(text[i]));
  return ParseStandinConfig(narrow);
}

}  // namespace nvstandin
