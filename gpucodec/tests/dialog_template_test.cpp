// The settings dialog's template as compiled into a plug-in image, control by control.
// The image is loaded as a data file, so a 64-bit run can check the shipped 32-bit plug-in:
//   gpucodec_dialog_template_test [--dll=PATH]   (default: gpucodec.dll beside this program)

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace gpucodec_test {
namespace {

std::wstring g_dllPath;

constexpr WORD kTemplateId = 2152;

// What the template is read into. Class and text are names, or "#n" for an ordinal.
struct Control {
  DWORD style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::wstring className;
  std::wstring text;
};

struct Template {
  DWORD style = 0;
  short cx = 0, cy = 0;
  std::wstring caption;
  WORD pointSize = 0;
  std::wstring typeface;
  std::vector<Control> controls;
};

// Reads the extended template (DIALOGEX) layout, refusing to read past the resource.
class TemplateReader {
 public:
  TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Failed() const { return failed_; }

  template <class T>
  T Get() {
    T value{};
    if (offset_ + sizeof(T) > size_) {
      failed_ = true;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }

  std::wstring String() {
    std::wstring text;
    for (WORD c = Get<WORD>(); c != 0 && !failed_; c = Get<WORD>()) text.push_back(static_cast<wchar_t>(c));
    return text;
  }

  // A name, an ordinal (0xFFFF then the number, given as "#n") or nothing.
  std::wstring NameOrOrdinal() {
    if (offset_ + 2 <= size_ && data_[offset_] == 0xFF && data_[offset_ + 1] == 0xFF) {
      offset_ += 2;
      return L"#" + std::to_wstring(Get<WORD>());
    }
    return String();
  }

  void AlignTo4() { offset_ = (offset_ + 3) & ~size_t{3}; }
  void Skip(size_t bytes) {
    if (offset_ + bytes > size_) failed_ = true;
    offset_ += bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
  bool failed_ = false;
};

std::optional<Template> ReadTemplate(const uint8_t* data, size_t size) {
  TemplateReader in(data, size);
  Template t;
  if (in.Get<WORD>() != 1 || in.Get<WORD>() != 0xFFFF) return std::nullopt;  // not DIALOGEX
  in.Get<DWORD>();  // help id
  in.Get<DWORD>();  // extended style
  t.style = in.Get<DWORD>();
  const WORD count = in.Get<WORD>();
  in.Get<short>();
  in.Get<short>();
  t.cx = in.Get<short>();
  t.cy = in.Get<short>();
  in.NameOrOrdinal();  // menu
  in.NameOrOrdinal();  // class
  t.caption = in.String();
  if (t.style & (DS_SETFONT | DS_SHELLFONT)) {
    t.pointSize = in.Get<WORD>();
    in.Get<WORD>();   // weight
    in.Get<BYTE>();   // italic
    in.Get<BYTE>();   // character set
    t.typeface = in.String();
  }
  for (WORD i = 0; i < count && !in.Failed(); ++i) {
    in.AlignTo4();
    Control c;
    in.Get<DWORD>();  // help id
    in.Get<DWORD>();  // extended style
    c.style = in.Get<DWORD>();
    c.x = in.Get<short>();
    c.y = in.Get<short>();
    c.cx = in.Get<short>();
    c.cy = in.Get<short>();
    c.id = static_cast<int>(in.Get<DWORD>());
    c.className = in.NameOrOrdinal();
    c.text = in.NameOrOrdinal();
    in.Skip(in.Get<WORD>());  // creation data
    t.controls.push_back(c);
  }
  if (in.Failed()) return std::nullopt;
  return t;
}

// The kinds of control the dialog has: the class, and the style bits that make the kind.
// Every kind is a visible, enabled child.
struct Kind {
  const wchar_t* className;  // "#n": a predefined class by ordinal
  DWORD mask;
  DWORD value;
};
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_DISABLED;
constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
constexpr Kind kDefaultPushButton{L"#128", kChild | BS_TYPEMASK | WS_TABSTOP, kShown | BS_DEFPUSHBUTTON | WS_TABSTOP};
constexpr Kind kPushButton{L"#128", kChild | BS_TYPEMASK | WS_TABSTOP, kShown | BS_PUSHBUTTON | WS_TABSTOP};
constexpr Kind kAutoCheckBox{L"#128", kChild | BS_TYPEMASK | WS_TABSTOP, kShown | BS_AUTOCHECKBOX | WS_TABSTOP};
constexpr Kind kStaticLeft{L"#130", kChild | SS_TYPEMASK, kShown | SS_LEFT};
constexpr Kind kStaticCentre{L"#130", kChild | SS_TYPEMASK, kShown | SS_CENTER};
constexpr Kind kStaticRight{L"#130", kChild | SS_TYPEMASK, kShown | SS_RIGHT};
// Horizontal, thumb pointing nowhere, no tick marks.
constexpr Kind kTrackbar{L"msctls_trackbar32",
                         kChild | WS_TABSTOP | TBS_AUTOTICKS | TBS_VERT | TBS_TOP | TBS_BOTH | TBS_NOTICKS,
                         kShown | WS_TABSTOP | TBS_BOTH | TBS_NOTICKS};

struct Expected {
  int id;
  Kind kind;
  short x, y, cx, cy;
  const wchar_t* text;
};

// In template order, which is also the tab order.
const Expected kControls[] = {
    {1, kDefaultPushButton, 90, 130, 50, 15, L"OK"},
    {2, kPushButton, 145, 130, 50, 15, L"Cancel"},
    {-1, kStaticLeft, 5, 5, 190, 8, L"Preset"},
    {1001, kTrackbar, 5, 20, 190, 15, L""},
    {-1, kStaticLeft, 5, 45, 45, 8, L"Speed"},
    {-1, kStaticCentre, 78, 45, 45, 8, L"Balanced"},
    {-1, kStaticRight, 150, 45, 45, 8, L"Quality"},
    {1002, kStaticLeft, 5, 60, 190, 8, L"Target bitrate"},
    {1004, kTrackbar, 5, 75, 190, 15, L""},
    {-1, kStaticLeft, 5, 100, 45, 8, L"1 Mbps"},
    {-1, kStaticRight, 150, 100, 45, 8, L"130 Mbps"},
    {1003, kAutoCheckBox, 5, 115, 190, 10, L"Low-latency encoding"},
};

class DialogTemplate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExW(g_dllPath.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
  }

  std::optional<Template> Load() const {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(kTemplateId), MAKEINTRESOURCEW(5));  // RT_DIALOG
    if (!found) return std::nullopt;
    HGLOBAL loaded = LoadResource(module_, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) return std::nullopt;
    return ReadTemplate(static_cast<const uint8_t*>(data), SizeofResource(module_, found));
  }

  static HMODULE module_;
};
HMODULE DialogTemplate::module_ = nullptr;

TEST_F(DialogTemplate, FrameCaptionFontAndSize) {
  ASSERT_NE(module_, nullptr) << "cannot load " << testing::PrintToString(g_dllPath);
  const std::optional<Template> t = Load();
  ASSERT_TRUE(t) << "no readable extended dialog template 2152";
  const DWORD frame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
  EXPECT_EQ(t->style & frame, frame) << std::hex << t->style;
  EXPECT_EQ(t->style & (WS_CHILD | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0u) << std::hex << t->style;
  EXPECT_EQ(t->caption, L"NVIDIA GPUCODEC encoder");
  EXPECT_EQ(t->cx, 200);
  EXPECT_EQ(t->cy, 150);
  EXPECT_EQ(t->typeface, L"MS Shell Dlg");
  EXPECT_EQ(t->pointSize, 8);
}

TEST_F(DialogTemplate, EveryControlAsTabled) {
  ASSERT_NE(module_, nullptr) << "cannot load " << testing::PrintToString(g_dllPath);
  const std::optional<Template> t = Load();
  ASSERT_TRUE(t) << "no readable extended dialog template 2152";
  ASSERT_EQ(t->controls.size(), std::size(kControls));
  for (size_t i = 0; i < std::size(kControls); ++i) {
    const Expected& e = kControls[i];
    const Control& c = t->controls[i];
    SCOPED_TRACE(testing::Message() << "control " << i << " (" << testing::PrintToString(std::wstring(e.text)) << ")");
    EXPECT_EQ(c.id, e.id);  // -1 is stored as 0xFFFFFFFF
    // Window classes are matched without regard to case (the resource compiler upper-cases
    // the names it is given).
    EXPECT_EQ(_wcsicmp(c.className.c_str(), e.kind.className), 0) << testing::PrintToString(c.className);
    EXPECT_EQ(c.style & e.kind.mask, e.kind.value) << std::hex << c.style;
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.cx, e.cx);
    EXPECT_EQ(c.cy, e.cy);
    EXPECT_EQ(c.text, e.text);
  }
}

}  // namespace
}  // namespace gpucodec_test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self);
  gpucodec_test::g_dllPath = path.substr(0, path.find_last_of(L"\\/") + 1) + L"gpucodec.dll";
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; args != nullptr && i < count; ++i) {
    if (std::wcsncmp(args[i], L"--dll=", 6) == 0) gpucodec_test::g_dllPath = args[i] + 6;
  }
  LocalFree(args);
  return RUN_ALL_TESTS();
}
