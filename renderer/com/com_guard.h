// The one guard of every COM method, in the renderer and in anything that serves its
// interfaces: no exception crosses a COM boundary.
#pragma once

#include <windows.h>

#include <new>
#include <system_error>

namespace pixora {

// Runs the body of a COM method (returning an HRESULT) so that no exception leaves it:
// memory exhaustion answers E_OUTOFMEMORY, a Windows error its HRESULT, anything else
// E_UNEXPECTED.
template <class Body>
HRESULT GuardCom(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::system_error& error) {
    if (error.code().category() != std::system_category()) return E_FAIL;
    return HRESULT_FROM_WIN32(static_cast<DWORD>(error.code().value()));
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace pixora
