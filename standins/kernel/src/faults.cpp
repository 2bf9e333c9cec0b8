#include "faults.h"

#include <map>
#include <mutex>

namespace kstandin {
namespace {

struct Planned {
  NTSTATUS status;
  unsigned skip;
};

struct Faults {
  std::mutex lock;
  std::map<PcCall, Planned> planned;
};

Faults& Instance() {
  static Faults faults;
  return faults;
}

}  // namespace

void FailCall(PcCall call, NTSTATUS status, unsigned skip) {
  Faults& faults = Instance();
  std::lock_guard guard(faults.lock);
  faults.planned[call] = {status, skip};
}

void ClearCallFaults() {
  Faults& faults = Instance();
  std::lock_guard guard(faults.lock);
  faults.planned.clear();
}

std::optional<NTSTATUS> TakeFault(PcCall call) {
  Faults& faults = Instance();
  std::lock_guard guard(faults.lock);
  const auto found = faults.planned.find(call);
  if (found == faults.planned.end()) return std::nullopt;
  if (found->second.skip > 0) {
    --found->second.skip;
    return std::nullopt;
  }
  const NTSTATUS status = found->second.status;
  faults.planned.erase(found);
  return status;
}

}  // namespace kstandin
