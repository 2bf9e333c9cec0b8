#include "command_line.h"

#include "install_command.h"
#include "status_command.h"

namespace devinstall {

int runCommandLine(const std::vector<std::wstring>& arguments, DeviceSystem& system) {
  if (arguments.size() < 3) return kExitMalformed;
  const bool status = arguments[1].starts_with(L'-');
  if (status && arguments.size() < 4) return kExitMalformed;

  // The platform refuses device installation to a 32-bit process on a 64-bit system
  // (ERROR_IN_WOW64). The 64-bit build beside this program then does all the work, the status
  // too, so that both commands see the devices alike; without it, this one does what it can.
  if (system.underWow64()) {
    if (const auto exitCode = system.runNativeCompanion(arguments)) return static_cast<int>(*exitCode);
  }
  if (status) {
    runStatus(system, arguments[2], arguments[3]);
  } else {
    runInstall(system, arguments[1], arguments[2]);
  }
  return kExitDone;
}

}  // namespace devinstall
