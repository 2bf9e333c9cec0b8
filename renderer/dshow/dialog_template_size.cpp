#include "dialog_template_size.h"

#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace pixora::dshow {
namespace {

// What the size depends on: the template's extent and its font, if it names one.
struct TemplateHead {
  short cx = 0;
  short cy = 0;
  bool hasFont = false;
  WORD pointSize = 0;
  WORD weight = FW_DONTCARE;
  BYTE italic = FALSE;
  BYTE charset = DEFAULT_CHARSET;
  std::wstring face;
};

// Reads the template's header fields in order, refusing to read past the resource.
class Reader {
 public:
  Reader(const BYTE* data, DWORD size) : data_(data), size_(size) {}

  bool Failed() const { return failed_; }

  template <class T>
  T Get() {
    T value{};
    if (failed_ || size_ - offset_ < sizeof(T)) {
      failed_ = true;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }

  std::wstring String() {
    std::wstring text;
    for (wchar_t c = Get<wchar_t>(); !failed_ && c != L'\0'; c = Get<wchar_t>()) text += c;
    return text;
  }

  // A menu or class field: nothing, an ordinal, or a name.
  void SkipNameOrOrdinal() {
    const WORD first = Get<WORD>();
    if (first == 0xFFFF) {
      Get<WORD>();
    } else if (first != 0) {
      String();
    }
  }

 private:
  const BYTE* data_;
  DWORD size_;
  DWORD offset_ = 0;
  bool failed_ = false;
};

bool ReadHead(const BYTE* data, DWORD size, TemplateHead* head) {
  Reader in(data, size);
  const WORD version = in.Get<WORD>();
  const WORD signature = in.Get<WORD>();
  const bool extended = version == 1 && signature == 0xFFFF;
  DWORD style = 0;
  if (extended) {
    in.Get<DWORD>();  // help id
    in.Get<DWORD>();  // extended style
    style = in.Get<DWORD>();
  } else {
    style = MAKELONG(version, signature);
    in.Get<DWORD>();  // extended style
  }
  in.Get<WORD>();  // control count
  in.Get<short>();
  in.Get<short>();
  head->cx = in.Get<short>();
  head->cy = in.Get<short>();
  in.SkipNameOrOrdinal();
  in.SkipNameOrOrdinal();
  in.String();  // caption
  head->hasFont = (style & DS_SETFONT) != 0;
  if (head->hasFont) {
    head->pointSize = in.Get<WORD>();
    if (extended) {
      head->weight = in.Get<WORD>();
      head->italic = in.Get<BYTE>();
      head->charset = in.Get<BYTE>();
    }
    head->face = in.String();
  }
  return !in.Failed();
}

struct DcRelease {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct GdiDelete {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};

SIZE SystemBaseUnits() {
  const LONG units = GetDialogBaseUnits();
  return {LOWORD(units), HIWORD(units)};
}

// Dialog base units of the template's font: the average width of the 52 Latin letters
// and the font's height, measured on the screen.
SIZE FontBaseUnits(const TemplateHead& head) {
  SIZE units = SystemBaseUnits();
  const std::unique_ptr<std::remove_pointer_t<HDC>, DcRelease> dc(GetDC(nullptr));
  if (!dc) return units;
  const int height = -MulDiv(head.pointSize, GetDeviceCaps(dc.get(), LOGPIXELSY), 72);
  const std::unique_ptr<std::remove_pointer_t<HFONT>, GdiDelete> font(
      CreateFontW(height, 0, 0, 0, head.weight, head.italic, FALSE, FALSE, head.charset,
                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE,
                  head.face.c_str()));
  if (!font) return units;
  const HGDIOBJ previous = SelectObject(dc.get(), font.get());
  static constexpr wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  TEXTMETRICW metrics{};
  SIZE extent{};
  if (GetTextMetricsW(dc.get(), &metrics) &&
      GetTextExtentPoint32W(dc.get(), kLetters, 52, &extent)) {
    units = {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
  }
  SelectObject(dc.get(), previous);
  return units;
}

}  // namespace

HRESULT DialogTemplateSize(HINSTANCE module, int id, SIZE* pixels) {
  if (pixels == nullptr) return E_POINTER;
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
  const HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const auto* data = static_cast<const BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
  if (data == nullptr) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  TemplateHead head;
  if (!ReadHead(data, SizeofResource(module, found), &head)) return E_FAIL;
  const SIZE units = head.hasFont ? FontBaseUnits(head) : SystemBaseUnits();
  pixels->cx = MulDiv(head.cx, units.cx, 4);
  pixels->cy = MulDiv(head.cy, units.cy, 8);
  return S_OK;
}

}  // namespace pixora::dshow
