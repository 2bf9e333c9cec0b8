#include "probe.h"

#include <cstring>
#include <stdexcept>

namespace nvstandin {

NvidiaProbe::NvidiaProbe() {
  mapping_ = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                sizeof(StandinRecord), StandinRecordName().c_str());
  if (mapping_ == nullptr) throw std::runtime_error("no stand-in record section");
  record_ = static_cast<StandinRecord*>(
      MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(StandinRecord)));
  if (record_ == nullptr) throw std::runtime_error("stand-in record section not mapped");
}

NvidiaProbe::~NvidiaProbe() {
  UnmapViewOfFile(record_);
  CloseHandle(mapping_);
}

void NvidiaProbe::Reset() { std::memset(record_, 0, sizeof(StandinRecord)); }

void NvidiaProbe::Configure(const std::string& text) {
  const std::wstring wide(text.begin(), text.end());
  SetEnvironmentVariableW(kStandinConfigVariable, text.empty() ? nullptr : wide.c_str());
}

}  // namespace nvstandin
