#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nvstandin {

struct DeviceEntry {
  std::string name;
  int major;
  int minor;
};

struct CallFailure {
  std::string call;  // the export or function-list entry, as the driver names it
  int32_t status;
  uint32_t nthCall;  // 0: every call
};

enum class SequencePayload { kValid, kOversize, kWithoutPps };

// What the tests ask of the stand-ins, from VEXTRA_NVIDIA_STANDIN; empty means the plain
// driver: one capable device, version 7.0, nothing failing. Items are separated by ';':
//   devices=NAME@MAJOR.MINOR,...   maxversion=MAJOR.MINOR   fail=CALL:STATUS[@NTH],...
//   needmoreinput=1   delay=MS   hang=N   tiny=1   sequence=oversize|nopps
struct StandinConfig {
  std::vector<DeviceEntry> devices{{"Vextra Stand-in GPU", 6, 1}};
  uint32_t maxVersion = 0x70;  // major * 16 + minor
  std::vector<CallFailure> failures;
  bool needMoreInput = false;
  uint32_t completionDelayMs = 2;
  uint32_t hangPicture = 0;  // asynchronous mode: the Nth picture of a session never finishes; 0 none
  bool tinyPictures = false;
  SequencePayload sequence = SequencePayload::kValid;

  // The status the nth call of call is to fail with, or 0.
  int32_t FailureFor(const char* call, uint32_t nth) const;
};

// Unknown items and malformed values are ignored; the defaults stand for them.
StandinConfig ParseStandinConfig(const std::string& text);

}  // namespace nvstandin
