#include "status_command.h"

#include "device_enumeration.h"
#include "device_tally.h"
#include "hardware_id_pattern.h"

namespace devinstall {

std::vector<std::wstring> statusValueNames(bool enumerated, unsigned devices, unsigned bits) {
  if (!enumerated) return {L"Error"};
  if (devices == 0) return {L"NotFound"};
  std::vector<std::wstring> names;
  if (bits & DeviceTally::kProblem) names.emplace_back(L"FoundProblem");
  if (bits & DeviceTally::kDriverLoaded) names.emplace_back(L"FoundOK");
  return names;
}

void runStatus(DeviceSystem& system, const std::wstring& pattern, const std::wstring& subkey) {
  // An empty subkey names HKEY_CURRENT_USER itself: no answer is left at the hive's root.
  if (subkey.empty()) return;
  DeviceTally tally;
  const Enumeration found = enumerateDevices(system, HardwareIdPattern::parse(pattern),
                                             [&](DeviceSet& set, std::size_t device) {
                                               classifyForStatus(set, device, tally);
                                             });
  system.writeEmptyValues(subkey, statusValueNames(found == Enumeration::kCompleted, tally.devices, tally.bits));
}

}  // namespace devinstall
