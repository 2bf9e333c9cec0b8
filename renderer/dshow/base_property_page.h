// A property page shown by a property frame: the IPropertyPage plumbing around one dialog
// resource, which a derived page fills with its controls' behaviour.
//
// One thread: the frame's user-interface thread calls every method and runs the dialog;
// nothing is shared, so nothing is locked.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include "unknown.h"

namespace pixora::dshow {

class CBasePropertyPage : public CUnknown, public IPropertyPage {
 public:
  // dialogId: the page's dialog resource (a child, no caption) in this module; titleId:
  // the string resource of the tab's title.
  CBasePropertyPage(IUnknown* outer, int dialogId, int titleId);
  ~CBasePropertyPage() override;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    return Owner()->QueryInterface(riid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return Owner()->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return Owner()->Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** object) override;

  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  // The first object is the one the page edits; none disconnects.
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT command) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  // Pages built on this base act on their object at once: nothing waits for Apply.
  STDMETHODIMP IsPageDirty() override;
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR helpDirectory) override;
  STDMETHODIMP TranslateAccelerator(MSG* message) override;

 protected:
  virtual HRESULT OnConnect(IUnknown* object) = 0;
  virtual HRESULT OnDisconnect() = 0;
  // After the dialog is made / before it is destroyed.
  virtual HRESULT OnActivate() { return S_OK; }
  virtual HRESULT OnDeactivate() { return S_OK; }
  // Every message of the dialog, WM_INITDIALOG included; the result is the dialog
  // procedure's. The base handles none.
  virtual INT_PTR OnReceiveMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  HWND Dialog() const { return dialog_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void DestroyDialog();

  const int dialogId_;
  const int titleId_;
  Microsoft::WRL::ComPtr<IPropertyPageSite> site_;
  bool connected_ = false;
  HWND dialog_ = nullptr;
};

}  // namespace pixora::dshow
