#include "data_exchange.h"

namespace gpucodec {

void CDataExchange::Control(int id, CTrackbarCtrl& control) {
  if (control.Handle() == nullptr) control.Attach(GetDlgItem(dialog_, id));
}

void CDataExchange::Text(int id, std::wstring& value) {
  HWND control = GetDlgItem(dialog_, id);
  if (!save_) {
    SetWindowTextW(control, value.c_str());
    return;
  }
  value.assign(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  value.resize(static_cast<size_t>(GetWindowTextW(control, value.data(), static_cast<int>(value.size()))));
}

void CDataExchange::Check(int id, int& value) {
  if (!save_) {
    CheckDlgButton(dialog_, id, value != 0 ? BST_CHECKED : BST_UNCHECKED);
    return;
  }
  value = IsDlgButtonChecked(dialog_, id) == BST_CHECKED ? 1 : 0;
}

}  // namespace gpucodec
