#include "modal_dialog.h"

namespace gpucodec {

CModalDialog::CModalDialog(HINSTANCE resources, WORD templateId, HWND parent)
    : resources_(resources), templateId_(templateId), parent_(parent) {}

INT_PTR CModalDialog::DoModal() {
  const INT_PTR result = DialogBoxParamW(resources_, MAKEINTRESOURCEW(templateId_), parent_,
                                         DialogProc, reinterpret_cast<LPARAM>(this));
  window_ = nullptr;
  return result;
}

void CModalDialog::UpdateData(bool save) {
  CDataExchange dx(window_, save);
  DoDataExchange(dx);
}

void CModalDialog::EndDialog(int result) { ::EndDialog(window_, result); }

void CModalDialog::DoDataExchange(CDataExchange&) {}

BOOL CModalDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CModalDialog::OnOK() {
  UpdateData(true);
  EndDialog(IDOK);
}

void CModalDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CModalDialog::OnMessage(UINT, WPARAM, LPARAM) { return false; }

INT_PTR CALLBACK CModalDialog::DialogProc(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CModalDialog*>(lparam);
    SetWindowLongPtrW(window, DWLP_USER, lparam);
    dialog->window_ = window;
    return dialog->OnInitDialog();
  }
  // Messages before WM_INITDIALOG (the font, the frame) find no dialog yet.
  auto* dialog = reinterpret_cast<CModalDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  return dialog != nullptr ? dialog->Dispatch(message, wparam, lparam) : FALSE;
}

INT_PTR CModalDialog::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
    switch (LOWORD(wparam)) {
      case IDOK:
        OnOK();
        return TRUE;
      case IDCANCEL:
        OnCancel();
        return TRUE;
    }
  }
  return OnMessage(message, wparam, lparam) ? TRUE : FALSE;
}

}  // namespace gpucodec
