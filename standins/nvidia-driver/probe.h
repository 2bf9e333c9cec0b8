#pragma once

#include <windows.h>

#include <string>

#include "standin_record.h"

namespace nvstandin {

// A test's view of what the graphics-driver stand-ins received, and the way to configure
// them. Holding the probe keeps the record alive across unloads of the encode library.
class NvidiaProbe {
 public:
  NvidiaProbe();
  ~NvidiaProbe();
  NvidiaProbe(const NvidiaProbe&) = delete;
  NvidiaProbe& operator=(const NvidiaProbe&) = delete;

  const StandinRecord& Record() const { return *record_; }
  uint32_t Calls(Call call) const { return record_->calls[static_cast<size_t>(call)]; }
  // Zero counts and records; live counts too, so call it with nothing alive.
  void Reset();
  // The configuration both stand-ins read at their next cuInit or entry-point call; empty
  // for the plain driver.
  static void Configure(const std::string& text);

 private:
  HANDLE mapping_ = nullptr;
  StandinRecord* record_ = nullptr;
};

}  // namespace nvstandin
