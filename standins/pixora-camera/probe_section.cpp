#include "probe_section.h"

#include <cstring>
#include <mutex>
#include <system_error>

namespace pixora {
namespace {

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

}  // namespace

CProbeSection::CProbeSection() {
  mutex_.reset(CreateMutexW(nullptr, FALSE, kProbeMutexName));
  if (!mutex_) ThrowLastError("CreateMutexW");
  std::lock_guard guard(*this);
  constexpr auto size = static_cast<unsigned long long>(kProbeSectionSize);
  mapping_.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                    static_cast<DWORD>(size >> 32), static_cast<DWORD>(size),
                                    kProbeSectionName));
  if (!mapping_) ThrowLastError("CreateFileMappingW");
  view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, kProbeSectionSize));
  if (!view_) ThrowLastError("MapViewOfFile");
  // Whoever comes first initialises; the check runs under the mutex so no one reads a
  // half-written section.
  if (State().magic != kProbeMagic || State().layoutSize != sizeof(ProbeState)) ResetState();
}

void CProbeSection::lock() {
  const DWORD wait = WaitForSingleObject(mutex_.get(), INFINITE);
  // An abandoned mutex still hands over ownership; the section stays usable.
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) ThrowLastError("WaitForSingleObject");
}

void CProbeSection::unlock() { ReleaseMutex(mutex_.get()); }

void CProbeSection::ResetState() {
  ProbeState& state = State();
  std::memset(&state, 0, sizeof(state));
  state.magic = kProbeMagic;
  state.layoutSize = sizeof(ProbeState);
  state.settings.outputFormat = {1280, 720, 30};
  state.settings.fillMode = PIXORA_FILL_ASPECT_FIT;
}

}  // namespace pixora
