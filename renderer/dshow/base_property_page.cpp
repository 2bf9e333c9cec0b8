#include "base_property_page.h"

#include <objbase.h>

#include <cstring>

#include "com_guard.h"
#include "dialog_template_size.h"
#include "module_state.h"

namespace pixora::dshow {
namespace {

// A copy in task memory, as PROPPAGEINFO's strings are handed to the frame.
wchar_t* TaskString(const wchar_t* text, size_t length) {
  auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text, length * sizeof(wchar_t));
  copy[length] = L'\0';
  return copy;
}

}  // namespace

CBasePropertyPage::CBasePropertyPage(IUnknown* outer, int dialogId, int titleId)
    : CUnknown(outer), dialogId_(dialogId), titleId_(titleId) {}

CBasePropertyPage::~CBasePropertyPage() { DestroyDialog(); }

STDMETHODIMP CBasePropertyPage::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

STDMETHODIMP CBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
  return GuardCom([&]() -> HRESULT {
    if (site != nullptr && site_) return E_UNEXPECTED;
    site_ = site;
    return S_OK;
  });
}

STDMETHODIMP CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  return GuardCom([&]() -> HRESULT {
    if (rect == nullptr) return E_POINTER;
    if (dialog_ != nullptr) return E_UNEXPECTED;
    const HWND made = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(dialogId_), parent,
                                         &DialogProc, reinterpret_cast<LPARAM>(this));
    if (made == nullptr) {
      const DWORD error = GetLastError();
      return error != 0 ? HRESULT_FROM_WIN32(error) : E_OUTOFMEMORY;
    }
    dialog_ = made;
    const HRESULT activated = OnActivate();
    if (FAILED(activated)) {
      DestroyDialog();
      return activated;
    }
    return Move(rect);
  });
}

STDMETHODIMP CBasePropertyPage::Deactivate() {
  return GuardCom([&]() -> HRESULT {
    if (dialog_ == nullptr) return E_UNEXPECTED;
    const HRESULT result = OnDeactivate();
    DestroyDialog();
    return result;
  });
}

STDMETHODIMP CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  return GuardCom([&]() -> HRESULT {
    if (info == nullptr) return E_POINTER;
    SIZE size{};
    const HRESULT sized = DialogTemplateSize(ModuleInstance(), dialogId_, &size);
    if (FAILED(sized)) return sized;
    const wchar_t* title = nullptr;
    const int length = LoadStringW(ModuleInstance(), static_cast<UINT>(titleId_),
                                   reinterpret_cast<LPWSTR>(&title), 0);
    wchar_t* copy = TaskString(length > 0 ? title : L"", length > 0 ? length : 0);
    if (copy == nullptr) return E_OUTOFMEMORY;
    *info = PROPPAGEINFO{};
    info->cb = sizeof(*info);
    info->pszTitle = copy;
    info->size = size;
    return S_OK;
  });
}

STDMETHODIMP CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  return GuardCom([&]() -> HRESULT {
    if (count == 0) {
      if (!connected_) return S_OK;
      connected_ = false;
      return OnDisconnect();
    }
    if (objects == nullptr || objects[0] == nullptr) return E_POINTER;
    if (connected_) {
      connected_ = false;
      OnDisconnect();
    }
    const HRESULT result = OnConnect(objects[0]);
    connected_ = SUCCEEDED(result);
    return result;
  });
}

STDMETHODIMP CBasePropertyPage::Show(UINT command) {
  if (dialog_ == nullptr) return E_UNEXPECTED;
  if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE) {
    return E_INVALIDARG;
  }
  ShowWindow(dialog_, static_cast<int>(command));
  InvalidateRect(dialog_, nullptr, TRUE);
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::Move(LPCRECT rect) {
  if (rect == nullptr) return E_POINTER;
  if (dialog_ == nullptr) return E_UNEXPECTED;
  MoveWindow(dialog_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
             TRUE);
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::IsPageDirty() { return S_FALSE; }

STDMETHODIMP CBasePropertyPage::Apply() { return S_OK; }

STDMETHODIMP CBasePropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP CBasePropertyPage::TranslateAccelerator(MSG* message) {
  if (message == nullptr) return E_POINTER;
  if (dialog_ == nullptr) return E_UNEXPECTED;
  return IsDialogMessageW(dialog_, message) ? S_OK : S_FALSE;
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CALLBACK CBasePropertyPage::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                               LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    // Activate learns the window only when creation returns; the page's handlers need it
    // from the first message on.
    reinterpret_cast<CBasePropertyPage*>(lParam)->dialog_ = dialog;
  }
  auto* page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (page == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    // Destroyed with its parent, without Deactivate: the page must not keep the handle.
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    page->dialog_ = nullptr;
  }
  // A window procedure is a boundary of its own: nothing may be thrown through it.
  try {
    return page->OnReceiveMessage(dialog, message, wParam, lParam);
  } catch (...) {
    return FALSE;
  }
}

void CBasePropertyPage::DestroyDialog() {
  const HWND dialog = dialog_;
  dialog_ = nullptr;
  if (dialog == nullptr) return;
  // Messages sent while the window goes must not reach a page that is being destroyed.
  SetWindowLongPtrW(dialog, DWLP_USER, 0);
  DestroyWindow(dialog);
}

}  // namespace pixora::dshow
