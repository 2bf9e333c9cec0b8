// The renderer's property page: output size and rate, fill mode, mirror, flip, rotation
// and a snapshot, each acting at once through IPixoraRenderer of the connected filter.
//
// One thread: the property frame's user-interface thread; the calls reach the filter
// without any lock of the page's.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include "base_property_page.h"
#include "pixora_renderer.h"

namespace pixora {

// How the page beeps at entries out of range. Tests replace it to hear the beep; the
// module keeps MessageBeep. Set before any page runs.
using PageBeepFunction = BOOL(WINAPI*)(UINT type);
PageBeepFunction ReplacePageBeep(PageBeepFunction beep);  // returns the one before

class CRenderPropertyPage final : public dshow::CBasePropertyPage {
 public:
  // The class table's creation function.
  static dshow::INonDelegatingUnknown* CreateInstance(IUnknown* outer, HRESULT* result);

 private:
  explicit CRenderPropertyPage(IUnknown* outer);

  // E_NOINTERFACE for an object without IPixoraRenderer (a filter without a device).
  HRESULT OnConnect(IUnknown* object) override;
  HRESULT OnDisconnect() override;
  HRESULT OnActivate() override;
  HRESULT OnDeactivate() override;
  INT_PTR OnReceiveMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;

  void InitDialog(HWND dialog);
  void Command(HWND dialog, int id, int notification);
  void ApplyOutputFormat(HWND dialog);
  void TakeSnapshot();

  Microsoft::WRL::ComPtr<IPixoraRenderer> renderer_;
  bool active_ = false;
};

}  // namespace pixora
