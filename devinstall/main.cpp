#include "command_line.h"
#include "win32_device_system.h"
#include "win32_handles.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// A program of the GUI subsystem that opens no window: the host runs it without a console
// flashing up, and it answers only through its exit code and the registry.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    int count = 0;
    const devinstall::win32::LocalMemory split(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!split) return devinstall::kExitMalformed;
    const auto* argv = static_cast<const wchar_t* const*>(split.get());
    const std::vector<std::wstring> arguments(argv, argv + count);

    devinstall::win32::Win32DeviceSystem system;
    return devinstall::runCommandLine(arguments, system);
  } catch (...) {
    // Whatever the outcome, a well-formed command line ends with 0, and nothing is shown.
    return devinstall::kExitDone;
  }
}
