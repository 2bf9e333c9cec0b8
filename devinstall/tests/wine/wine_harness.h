#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

// What the integration tests need of the machine they run on (a fresh Wine prefix): runs of
// devinstall.exe with their output captured, an independent SetupAPI view of the devices,
// devices and INF files made by the test, and registry reads. Failures throw
// std::runtime_error naming the call.
namespace devinstall::wine {

// {4d36e97d-e325-11ce-bfc1-08002be10318}, the "System" setup class.
inline constexpr GUID kSystemClass = {0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct ProgramRun {
  DWORD exitCode = 0;
  std::string output;  // everything written to standard output and standard error
};

// Runs a program with this exact command line (element 0 included) in `directory` (the
// test's own when empty), and waits for it.
ProgramRun runProgram(const std::wstring& program, const std::wstring& commandLine, const std::wstring& directory = {});

// Runs a program with these arguments, quoted so that they split back whole.
ProgramRun runWithArguments(const std::wstring& program, const std::vector<std::wstring>& arguments,
                            const std::wstring& directory = {});

std::wstring testProgramDirectory();
// This build's devinstall program, beside the test program.
std::wstring devinstallPath();

// The present devices, as SetupAPI lists them.
struct ListedDevice {
  std::wstring instanceId;
  std::vector<std::wstring> hardwareIds;
  std::vector<std::wstring> compatibleIds;
  GUID classGuid{};
  std::wstring friendlyName;
  std::wstring service;
};
std::vector<ListedDevice> presentDevices();
// The present devices with this hardware ID, compared ignoring case.
std::vector<ListedDevice> presentDevicesWithHardwareId(const std::wstring& hardwareId);

// Creates and registers a root device of the "System" class; returns its instance ID.
std::wstring createRootDevice(const std::vector<std::wstring>& hardwareIds,
                              const std::vector<std::wstring>& compatibleIds = {});
void setFriendlyName(const std::wstring& instanceId, const std::wstring& name);
// A text value of the device's driver key; empty when there is none.
std::wstring driverKeyText(const std::wstring& instanceId, const std::wstring& name);

// An INF for a root device of the "System" class: DriverVer 01/02/2024,version; with a
// service of that name when `service` is not empty (its binary need not exist); copying a
// file of that name, written beside the INF, into the system's "drivers" folder when
// `driverFile` is not empty.
struct TestInf {
  std::wstring hardwareId = L"ROOT\\VextraTest";
  std::wstring version = L"1.0.0.6";
  std::wstring service;
  std::wstring driverFile;
};
// Writes the INF into a directory of the test's own; returns its full path.
std::wstring writeInf(const std::wstring& fileName, const TestInf& inf);
// Writes the INF at this full path, making its directories.
void writeInfAt(const std::wstring& path, const TestInf& inf);
std::wstring scratchDirectory();
void writeFile(const std::wstring& path, const std::string& bytes);
bool fileExists(const std::wstring& path);
// The "drivers" folder of the system directory as 64-bit and as 32-bit programs see it
// (System32 and SysWOW64); the second is empty on a system without WOW64.
std::wstring nativeDriversFolder();
std::wstring wow64DriversFolder();

// Registry: HKEY_CURRENT_USER keys and values, HKEY_LOCAL_MACHINE key presence.
void createUserKey(const std::wstring& subkey);
bool userKeyExists(const std::wstring& subkey);
// The names of the values under the key, sorted.
std::vector<std::wstring> userValueNames(const std::wstring& subkey);
// Whether the value, read back with RegQueryValueExW, is REG_SZ holding an empty text.
bool userValueIsEmptyText(const std::wstring& subkey, const std::wstring& name);
void setUserText(const std::wstring& subkey, const std::wstring& name, const std::wstring& value);
bool machineKeyExists(const std::wstring& subkey);
std::wstring machineText(const std::wstring& subkey, const std::wstring& name);

// A Unix path from the environment as a Windows path under Wine's Z: drive.
std::wstring fromUnixPath(const std::string& path);

}  // namespace devinstall::wine
