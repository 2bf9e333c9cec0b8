#pragma once

#include <windows.h>

#include "data_exchange.h"

namespace gpucodec {

// A modal dialog from a template in a module's resources, with the hooks a settings dialog
// needs. Constructed, run and destroyed on one thread; every handler runs on it, inside
// DoModal.
class CModalDialog {
 public:
  CModalDialog(HINSTANCE resources, WORD templateId, HWND parent);
  virtual ~CModalDialog() = default;
  CModalDialog(const CModalDialog&) = delete;
  CModalDialog& operator=(const CModalDialog&) = delete;

  // Shows the dialog owned by the parent's window, which stays disabled until the dialog
  // ends. Answers the code it ended with (IDOK, IDCANCEL), or -1 when it could not be made.
  INT_PTR DoModal();

 protected:
  HWND Handle() const { return window_; }

  // Transfers the members to the controls, or back when saving.
  void UpdateData(bool save);
  void EndDialog(int result);

  virtual void DoDataExchange(CDataExchange& dx);
  // Transfers the members to the controls; TRUE puts the focus on the first control.
  virtual BOOL OnInitDialog();
  // Transfers the controls to the members and ends with IDOK.
  virtual void OnOK();
  // Ends with IDCANCEL (Cancel, Esc and the close box all come here).
  virtual void OnCancel();
  // Every other message; true when handled. Here none is: the system's dialog handling
  // takes them.
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Dispatch(UINT message, WPARAM wparam, LPARAM lparam);

  HINSTANCE resources_;
  WORD templateId_;
  HWND parent_;
  HWND window_ = nullptr;
};

}  // namespace gpucodec
