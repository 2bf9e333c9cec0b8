#include "command_line.h"

#include "install_command.h"
#include "status_command.h"

namespace devinstall {

int runCommandLine(const std::vector<std::wstring>& arguments, DeviceSystem& system) {
  if (arguments.size() < 3) return kExitMalformed;
  if (arguments[1].starts_with(L'-')) {
    if (arguments.size() < 4) return kExitMalformed;
    runStatus(system, arguments[2], arguments[3]);
  } else {
    runInstall(system, arguments[1], arguments[2]);
  }
  return kExitDone;
}

}  // namespace devinstall
