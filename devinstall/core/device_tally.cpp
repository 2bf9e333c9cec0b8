#include "device_tally.h"

#include "installed_driver.h"

namespace devinstall {

namespace {

enum class StatusRead { kRead, kNodeMissing, kFailed };

StatusRead readStatus(const NodeStatus& status) noexcept {
  if (status.result == cm::kSuccess) return StatusRead::kRead;
  if (status.result == cm::kNoSuchDevnode || status.result == cm::kNoSuchValue) return StatusRead::kNodeMissing;
  return StatusRead::kFailed;
}

bool hasProblem(const NodeStatus& status) noexcept {
  return (status.flags & (cm::kHasProblem | cm::kPrivateProblem)) != 0;
}

bool isDisabled(const NodeStatus& status) noexcept {
  return (status.flags & cm::kHasProblem) != 0 && status.problem == cm::kProblemDisabled;
}

bool driverLoaded(const NodeStatus& status) noexcept { return (status.flags & cm::kDriverLoaded) != 0; }

}  // namespace

void classifyForInstall(DeviceSet& set, std::size_t device, std::uint64_t infVersion, DeviceTally& tally) {
  const NodeStatus status = set.status(device);
  switch (readStatus(status)) {
    case StatusRead::kNodeMissing:
      tally.count(DeviceTally::kProblem);
      return;
    case StatusRead::kFailed:
      return;
    case StatusRead::kRead:
      break;
  }
  if (isDisabled(status)) {
    tally.count(DeviceTally::kProblem);
    return;
  }
  if (hasProblem(status)) tally.bits |= DeviceTally::kProblem;

  if (!driverLoaded(status)) {
    tally.count(DeviceTally::kProblem);
    return;
  }
  // A loaded driver that cannot be identified leaves the device uncounted.
  const auto installed = installedDriverVersion(set, device);
  if (installed) tally.count(infVersion > *installed ? DeviceTally::kInfIsNewer : 0);
}

void classifyForStatus(DeviceSet& set, std::size_t device, DeviceTally& tally) {
  const NodeStatus status = set.status(device);
  switch (readStatus(status)) {
    case StatusRead::kNodeMissing:
      tally.count(DeviceTally::kProblem);
      return;
    case StatusRead::kFailed:
      return;
    case StatusRead::kRead:
      break;
  }
  unsigned seen = 0;
  if (isDisabled(status) || hasProblem(status) || !driverLoaded(status)) seen |= DeviceTally::kProblem;
  if (driverLoaded(status)) seen |= DeviceTally::kDriverLoaded;
  tally.count(seen);
}

}  // namespace devinstall
