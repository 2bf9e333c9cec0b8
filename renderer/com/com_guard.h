#pragma once

#include <windows.h>

#include <new>
#include <system_error>

namespace pixora {

// Runs the body of a COM method so that no exception leaves it.
template <class Body>
HRESULT GuardCom(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::system_error& error) {
    return HRESULT_FROM_WIN32(static_cast<DWORD>(error.code().value()));
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace pixora
