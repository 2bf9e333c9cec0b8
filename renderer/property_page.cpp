#include "property_page.h"

#include <oleauto.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "property_page_ids.h"
#include "snapshot.h"

namespace pixora {
namespace {

PageBeepFunction g_beep = &MessageBeep;

constexpr const wchar_t* kFillModeNames[] = {L"Aspect Fit", L"Aspect Fill", L"Stretch"};

// An edit box read as an unsigned decimal number the way the platform documents it:
// leading blanks skipped, then digits to the end; any other text, or a number beyond
// 32 bits, reads 0. Wine's GetDlgItemInt takes "640x" as 640, so the page reads the text
// itself and answers the same on both.
UINT ReadUnsigned(HWND dialog, int id) {
  const HWND box = GetDlgItem(dialog, id);
  std::wstring text(static_cast<size_t>(std::max(GetWindowTextLengthW(box), 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  size_t at = text.find_first_not_of(L' ');
  if (at == std::wstring::npos) return 0;
  unsigned long long value = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < L'0' || text[at] > L'9') return 0;
    value = value * 10 + static_cast<unsigned>(text[at] - L'0');
    if (value > 0xFFFFFFFFull) return 0;
  }
  return static_cast<UINT>(value);
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

}  // namespace

PageBeepFunction ReplacePageBeep(PageBeepFunction beep) { return std::exchange(g_beep, beep); }

dshow::INonDelegatingUnknown* CRenderPropertyPage::CreateInstance(IUnknown* outer,
                                                                  HRESULT* result) {
  auto* page = new (std::nothrow) CRenderPropertyPage(outer);
  *result = page != nullptr ? S_OK : E_OUTOFMEMORY;
  return page;
}

CRenderPropertyPage::CRenderPropertyPage(IUnknown* outer)
    : CBasePropertyPage(outer, IDD_PIXORA_PAGE, IDS_PIXORA_PAGE_TITLE) {}

HRESULT CRenderPropertyPage::OnConnect(IUnknown* object) {
  renderer_.Reset();
  active_ = false;
  if (FAILED(object->QueryInterface(IID_IPixoraRenderer, &renderer_))) {
    renderer_.Reset();
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT CRenderPropertyPage::OnDisconnect() {
  renderer_.Reset();
  return S_OK;
}

HRESULT CRenderPropertyPage::OnActivate() {
  active_ = true;
  return S_OK;
}

HRESULT CRenderPropertyPage::OnDeactivate() {
  active_ = false;
  return S_OK;
}

INT_PTR CRenderPropertyPage::OnReceiveMessage(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitDialog(dialog);
  } else if (message == WM_COMMAND && renderer_) {
    Command(dialog, LOWORD(wParam), HIWORD(wParam));
  }
  return CBasePropertyPage::OnReceiveMessage(dialog, message, wParam, lParam);
}

void CRenderPropertyPage::InitDialog(HWND dialog) {
  for (const wchar_t* name : kFillModeNames) {
    SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
  if (!renderer_) return;
  LONG mode = 0;
  if (FAILED(renderer_->GetFillMode(&mode))) mode = 0;
  SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_SETCURSEL, std::clamp<LONG>(mode, 0, 2), 0);
  LONG width = 0, height = 0, fps = 0;
  if (FAILED(renderer_->GetOutputFormat(&width, &height, &fps))) width = height = fps = 0;
  SetDlgItemInt(dialog, IDC_OUTPUT_WIDTH, static_cast<UINT>(width), TRUE);
  SetDlgItemInt(dialog, IDC_OUTPUT_HEIGHT, static_cast<UINT>(height), TRUE);
  SetDlgItemInt(dialog, IDC_OUTPUT_FPS, static_cast<UINT>(fps), TRUE);
}

void CRenderPropertyPage::Command(HWND dialog, int id, int notification) {
  switch (id) {
    case IDC_APPLY:
      if (notification == BN_CLICKED) ApplyOutputFormat(dialog);
      break;
    case IDC_FILL_MODE:
      if (notification == CBN_SELCHANGE) {
        const LRESULT selected = SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_GETCURSEL, 0, 0);
        if (selected != CB_ERR) {
          renderer_->SetFillMode(static_cast<LONG>(std::clamp<LRESULT>(selected, 0, 2)));
        }
      }
      break;
    case IDC_MIRROR:
      if (notification == BN_CLICKED) renderer_->SetMirror(IsChecked(dialog, IDC_MIRROR) ? 1 : 0);
      break;
    case IDC_FLIP:
      if (notification == BN_CLICKED) renderer_->SetFlip(IsChecked(dialog, IDC_FLIP) ? 1 : 0);
      break;
    case IDC_ROTATE:
      if (notification == BN_CLICKED) renderer_->SetRotate(IsChecked(dialog, IDC_ROTATE) ? 1 : 0);
      break;
    case IDC_SNAPSHOT:
      if (notification == BN_CLICKED) TakeSnapshot();
      break;
    default:
      break;
  }
}

void CRenderPropertyPage::ApplyOutputFormat(HWND dialog) {
  const UINT width = ReadUnsigned(dialog, IDC_OUTPUT_WIDTH);
  const UINT height = ReadUnsigned(dialog, IDC_OUTPUT_HEIGHT);
  const UINT fps = ReadUnsigned(dialog, IDC_OUTPUT_FPS);
  if (width < 320 || width > 4096 || height < 240 || height > 4096 || fps < 1 || fps > 1023) {
    g_beep(0xFFFFFFFF);
    return;
  }
  renderer_->SetOutputFormat(static_cast<LONG>(width), static_cast<LONG>(height),
                             static_cast<LONG>(fps));
}

void CRenderPropertyPage::TakeSnapshot() {
  const std::wstring path = PicturesSnapshotPath();
  if (path.empty()) return;
  BSTR name = SysAllocStringLen(path.data(), static_cast<UINT>(path.size()));
  if (name == nullptr) return;
  renderer_->Snapshot(name);
  SysFreeString(name);
}

}  // namespace pixora
