#include "camera_probe.h"

#include "pixora_camera_dll_path.h"

#include <algorithm>
#include <memory>
#include <type_traits>
#include <mutex>

namespace pixora {
namespace {

HRESULT CallServerExport(const char* name) {
  using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, BOOL(WINAPI*)(HMODULE)>;
  const Module module(LoadLibraryW(CameraDllPath().c_str()), &FreeLibrary);
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  const auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
  if (!entry) return HRESULT_FROM_WIN32(GetLastError());
  return entry();
}

}  // namespace

CameraSettings CameraProbe::Settings() {
  std::lock_guard guard(section_);
  return section_.State().settings;
}

uint64_t CameraProbe::FrameCount() {
  std::lock_guard guard(section_);
  return section_.State().frameCount;
}

std::vector<FrameRecord> CameraProbe::LastFrames(size_t n) {
  std::lock_guard guard(section_);
  const ProbeState& state = section_.State();
  const uint64_t count = std::min<uint64_t>({n, kProbeRingSize, state.frameCount});
  std::vector<FrameRecord> records;
  records.reserve(static_cast<size_t>(count));
  for (uint64_t sequence = state.frameCount - count + 1; sequence <= state.frameCount; ++sequence) {
    records.push_back(state.ring[(sequence - 1) % kProbeRingSize]);
  }
  return records;
}

std::vector<uint8_t> CameraProbe::LastPacket() {
  std::lock_guard guard(section_);
  const uint8_t* packet = section_.Packet();
  return std::vector<uint8_t>(packet, packet + section_.State().lastPacketBytes);
}

void CameraProbe::FailNextCall(HRESULT hr) {
  std::lock_guard guard(section_);
  section_.State().failPending = 1;
  section_.State().failResult = hr;
}

void CameraProbe::RecordHeadersOnly(bool on) {
  std::lock_guard guard(section_);
  section_.State().headersOnly = on ? 1 : 0;
}

void CameraProbe::Reset() {
  std::lock_guard guard(section_);
  section_.ResetState();
}

std::wstring CameraDllPath() {
  // Wine maps the build machine's root to drive Z:.
  std::wstring path = L"Z:" PIXORA_CAMERA_DLL_UNIX_PATH;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

HRESULT RegisterCameraDevices() { return CallServerExport("DllRegisterServer"); }

HRESULT UnregisterCameraDevices() { return CallServerExport("DllUnregisterServer"); }

}  // namespace pixora
