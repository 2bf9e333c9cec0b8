#include "standin_config.h"

#include <cstdlib>

namespace nvstandin {
namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(separator, begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) parts.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

bool ParseVersion(const std::string& text, int& major, int& minor) {
  const size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 >= text.size()) return false;
  char* end = nullptr;
  major = static_cast<int>(std::strtol(text.c_str(), &end, 10));
  if (end != text.c_str() + dot) return false;
  minor = static_cast<int>(std::strtol(text.c_str() + dot + 1, &end, 10));
  return *end == '\0';
}

}  // namespace

int32_t StandinConfig::FailureFor(const char* call, uint32_t nth) const {
  for (const CallFailure& failure : failures) {
    if (failure.call == call && (failure.nthCall == 0 || failure.nthCall == nth)) {
      return failure.status;
    }
  }
  return 0;
}

StandinConfig ParseStandinConfig(const std::string& text) {
  StandinConfig config;
  for (const std::string& item : Split(text, ';')) {
    const size_t equals = item.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = item.substr(0, equals);
    const std::string value = item.substr(equals + 1);
    if (key == "devices") {
      config.devices.clear();
      for (const std::string& entry : Split(value, ',')) {
        const size_t at = entry.rfind('@');
        int major = 0;
        int minor = 0;
        if (at == std::string::npos || !ParseVersion(entry.substr(at + 1), major, minor)) continue;
        config.devices.push_back({entry.substr(0, at), major, minor});
      }
    } else if (key == "maxversion") {
      int major = 0;
      int minor = 0;
      if (ParseVersion(value, major, minor)) config.maxVersion = static_cast<uint32_t>(major * 16 + minor);
    } else if (key == "fail") {
      for (const std::string& entry : Split(value, ',')) {
        const size_t colon = entry.find(':');
        if (colon == std::string::npos) continue;
        CallFailure failure{entry.substr(0, colon), 0, 0};
        const std::string rest = entry.substr(colon + 1);
        const size_t at = rest.find('@');
        failure.status = static_cast<int32_t>(std::strtol(rest.substr(0, at).c_str(), nullptr, 0));
        if (at != std::string::npos) {
          failure.nthCall = static_cast<uint32_t>(std::strtoul(rest.c_str() + at + 1, nullptr, 10));
        }
        config.failures.push_back(failure);
      }
    } else if (key == "needmoreinput") {
      config.needMoreInput = value != "0";
    } else if (key == "delay") {
      config.completionDelayMs = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (key == "hang") {
      config.hangPicture = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (key == "tiny") {
      config.tinyPictures = value != "0";
    } else if (key == "sequence") {
      if (value == "oversize") config.sequence = SequencePayload::kOversize;
      if (value == "nopps") config.sequence = SequencePayload::kWithoutPps;
    }
  }
  return config;
}

}  // namespace nvstandin
