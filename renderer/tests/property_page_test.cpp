// The property page on a virtual X display: made by the module's class factory, connected
// to a filter that found the camera stand-in, activated into a host window and driven with
// the messages a user's input sends; then shown in the system's property frame, whose
// screenshot lands beside this program.
//
// The page's code is linked into this program, so that its beep can be heard; its dialog
// and title are read from PixoraRenderer.ax itself, which also serves the frame.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlobj.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera_probe.h"
#include "class_table.h"
#include "dll_support.h"
#include "module_state.h"
#include "pixora_renderer.h"
#include "program_folder.h"
#include "property_page.h"
#include "property_page_ids.h"
#include "renderer_module.h"
#include "screenshot.h"
#include "snapshot.h"
#include "test_picture.h"
#include "test_window.h"
#include "window_finder.h"
#include "window_input.h"

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;
using win32_test::ClickButton;
using win32_test::ControlText;
using win32_test::IsButtonChecked;

// The page's beeps, heard through its seam.
std::vector<UINT> g_beeps;
BOOL WINAPI RecordBeep(UINT type) {
  g_beeps.push_back(type);
  return TRUE;
}

class StaThread : public ::testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kCom = ::testing::AddGlobalTestEnvironment(new StaThread);

constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Points the user's Pictures folder at a folder of the build tree for the suite's life: a
// fresh prefix links it to the home folder of whoever runs the tests.
class PicturesFolder {
 public:
  PicturesFolder() : path_(win32_test::ProgramFolder() + L"\\page-pictures") {
    CreateDirectoryW(path_.c_str(), nullptr);
    RegCreateKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                    nullptr, &key_, nullptr);
    wchar_t old[MAX_PATH];
    DWORD size = sizeof(old);
    DWORD type = 0;
    if (RegQueryValueExW(key_, L"My Pictures", nullptr, &type, reinterpret_cast<BYTE*>(old),
                         &size) == ERROR_SUCCESS) {
      old_.assign(old, size / sizeof(wchar_t));
      oldType_ = type;
    }
    Set(REG_EXPAND_SZ, path_);
  }
  ~PicturesFolder() {
    if (oldType_ != 0) {
      RegSetValueExW(key_, L"My Pictures", 0, oldType_, reinterpret_cast<const BYTE*>(old_.data()),
                     static_cast<DWORD>(old_.size() * sizeof(wchar_t)));
    } else {
      RegDeleteValueW(key_, L"My Pictures");
    }
    RegCloseKey(key_);
    // The shell keeps the resolved path beside the value; asking once renews it.
    wchar_t resolved[MAX_PATH];
    SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, resolved);
  }

  const std::wstring& Path() const { return path_; }

  std::vector<std::wstring> Files() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }

  void Empty() const {
    for (const std::wstring& name : Files()) DeleteFileW((path_ + L"\\" + name).c_str());
  }

 private:
  void Set(DWORD type, const std::wstring& value) {
    RegSetValueExW(key_, L"My Pictures", 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

  std::wstring path_;
  HKEY key_ = nullptr;
  std::wstring old_;
  DWORD oldType_ = 0;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// "YYYY-MM-DD HHMMSS.jpg"
bool IsSnapshotName(const std::wstring& name) {
  static constexpr wchar_t kShape[] = L"dddd-dd-dd dddddd.jpg";
  if (name.size() != std::size(kShape) - 1) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (kShape[i] == L'd' ? !std::iswdigit(name[i]) : name[i] != kShape[i]) return false;
  }
  return true;
}

class PropertyPageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(RegisterCameraDevices(), S_OK);
    module_ = new RendererModule;
    ASSERT_TRUE(module_->Loaded());
    // The page made here finds its dialog and title where the module keeps them.
    dshow::RecordModuleLoad(module_->Handle());
    previousBeep_ = ReplacePageBeep(&RecordBeep);
    pictures_ = new PicturesFolder;
  }
  static void TearDownTestSuite() {
    delete pictures_;
    ReplacePageBeep(previousBeep_);
    delete module_;
    UnregisterCameraDevices();
  }

  void SetUp() override {
    ASSERT_NE(host_.get(), nullptr);
    probe_.Reset();
    g_beeps.clear();
    filter_ = module_->CreateFilter();
    ASSERT_TRUE(filter_);
    ASSERT_EQ(filter_.As(&control_), S_OK);
    page_ = MakePage();
    ASSERT_TRUE(page_);
  }

  void TearDown() override {
    if (page_) {
      page_->Deactivate();
      page_->SetObjects(0, nullptr);
    }
  }

  // A page from the module's class factory.
  static ComPtr<IPropertyPage> MakePage() {
    ComPtr<IClassFactory> factory;
    ComPtr<IPropertyPage> page;
    if (FAILED(dshow::GetClassObject(ClassTable(), CLSID_PixoraRendererPropertyPage,
                                     IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&page)))) {
      return nullptr;
    }
    return page;
  }

  HRESULT Connect() {
    IUnknown* objects[] = {filter_.Get()};
    return page_->SetObjects(1, objects);
  }

  // Activates the page into the host window, as the frame does, and returns its dialog.
  HWND Activate() {
    const RECT area{10, 10, 600, 400};
    if (FAILED(page_->Activate(host_.get(), &area, TRUE)) || FAILED(page_->Show(SW_SHOW))) {
      return nullptr;
    }
    HWND dialog = GetWindow(host_.get(), GW_CHILD);
    return dialog != nullptr && GetDlgItem(dialog, IDC_APPLY) != nullptr ? dialog : nullptr;
  }

  HWND ConnectAndActivate() {
    EXPECT_EQ(Connect(), S_OK);
    return Activate();
  }

  static void Type(HWND dialog, int id, const wchar_t* text) { SetDlgItemTextW(dialog, id, text); }

  // What the combo box tells its dialog when the user picks an item.
  static void Pick(HWND dialog, int index) {
    const HWND combo = GetDlgItem(dialog, IDC_FILL_MODE);
    SendMessageW(combo, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_FILL_MODE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  }

  static std::wstring ComboItem(HWND dialog, int index) {
    wchar_t text[64] = {};
    SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
  }

  uint32_t SetCalls(ULONG id) { return probe_.Settings().calls[id].setAccepted; }

  uint32_t AllCalls() {
    const CameraSettings s = probe_.Settings();
    uint32_t total = 0;
    for (const PropertyCallCounts& c : s.calls) {
      total += c.setAccepted + c.setRefused + c.getAccepted + c.getRefused;
    }
    return total;
  }

  static inline RendererModule* module_ = nullptr;
  static inline PageBeepFunction previousBeep_ = nullptr;
  static inline PicturesFolder* pictures_ = nullptr;

  CameraProbe probe_;
  win32_test::TestWindow host_{L"Page host", RECT{20, 20, 660, 480}};
  ComPtr<IBaseFilter> filter_;
  ComPtr<IPixoraRenderer> control_;
  ComPtr<IPropertyPage> page_;
};

TEST_F(PropertyPageTest, InfoTitleAndSizeMatchTheActivatedDialog) {
  PROPPAGEINFO info{};
  ASSERT_EQ(page_->GetPageInfo(&info), S_OK);
  EXPECT_STREQ(info.pszTitle, L"Properties");
  CoTaskMemFree(info.pszTitle);
  const HWND dialog = ConnectAndActivate();
  ASSERT_NE(dialog, nullptr);
  // The size the frame makes room for is the dialog's, in its own font's units.
  RECT units{0, 0, 272, 141};
  MapDialogRect(dialog, &units);
  EXPECT_EQ(info.size.cx, units.right);
  EXPECT_EQ(info.size.cy, units.bottom);
  EXPECT_EQ(GetParent(dialog), host_.get());
  EXPECT_TRUE(IsWindowVisible(dialog));
  const RECT moved{5, 6, 5 + units.right, 6 + units.bottom};
  EXPECT_EQ(page_->Move(&moved), S_OK);
  RECT at{};
  GetWindowRect(dialog, &at);
  MapWindowPoints(nullptr, host_.get(), reinterpret_cast<POINT*>(&at), 2);
  EXPECT_EQ(at.left, 5);
  EXPECT_EQ(at.top, 6);
  EXPECT_EQ(page_->Activate(host_.get(), &moved, TRUE), E_UNEXPECTED);
  EXPECT_EQ(page_->Deactivate(), S_OK);
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(page_->Deactivate(), E_UNEXPECTED);
  EXPECT_EQ(page_->Show(SW_SHOW), E_UNEXPECTED);
}

TEST_F(PropertyPageTest, ShowsWhatTheDeviceHolds) {
  {
    // A fill mode out of range and a negative width, as only a device can report them.
    CProbeSection section;
    std::lock_guard lock(section);
    section.State().settings.fillMode = 5;
    section.State().settings.outputFormat = {-640, 480, 25};
  }
  ASSERT_EQ(control_->SetMirror(1), S_OK);
  const HWND dialog = ConnectAndActivate();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(ComboItem(dialog, 0), L"Aspect Fit");
  EXPECT_EQ(ComboItem(dialog, 1), L"Aspect Fill");
  EXPECT_EQ(ComboItem(dialog, 2), L"Stretch");
  EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(ControlText(dialog, IDC_OUTPUT_WIDTH), L"-640");
  EXPECT_EQ(ControlText(dialog, IDC_OUTPUT_HEIGHT), L"480");
  EXPECT_EQ(ControlText(dialog, IDC_OUTPUT_FPS), L"25");
  // Mirroring is on, but the device cannot say so.
  EXPECT_FALSE(IsButtonChecked(dialog, IDC_MIRROR));
  EXPECT_FALSE(IsButtonChecked(dialog, IDC_FLIP));
  EXPECT_FALSE(IsButtonChecked(dialog, IDC_ROTATE));
}

TEST_F(PropertyPageTest, ApplySendsOnlyFormatsInRange) {
  const HWND dialog = ConnectAndActivate();
  ASSERT_NE(dialog, nullptr);
  struct Case {
    const wchar_t* width;
    const wchar_t* height;
    const wchar_t* fps;
    bool sent;
  };
  const Case cases[] = {
      {L"4096", L"4096", L"1023", true}, {L"320", L"240", L"1", true},
      {L"4097", L"480", L"30", false},   {L"640", L"239", L"30", false},
      {L"640", L"480", L"0", false},     {L"640", L"480", L"1024", false},
      {L"abc", L"480", L"30", false},    {L"-640", L"480", L"30", false},
      {L"", L"480", L"30", false},       {L" 640", L"480", L"30", true},
      {L"640x", L"480", L"30", false},   {L"4294967936", L"480", L"30", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "\"" << Narrow(c.width) << "\" x \"" << Narrow(c.height)
                                      << "\" at \"" << Narrow(c.fps) << "\"");
    probe_.Reset();
    g_beeps.clear();
    Type(dialog, IDC_OUTPUT_WIDTH, c.width);
    Type(dialog, IDC_OUTPUT_HEIGHT, c.height);
    Type(dialog, IDC_OUTPUT_FPS, c.fps);
    ClickButton(dialog, IDC_APPLY);
    EXPECT_EQ(SetCalls(PIXORA_PROP_OUTPUT_FORMAT), c.sent ? 1u : 0u);
    EXPECT_EQ(g_beeps, c.sent ? std::vector<UINT>{} : std::vector<UINT>{0xFFFFFFFF});
    if (c.sent) {
      const OutputFormat f = probe_.Settings().outputFormat;
      EXPECT_EQ(f.width, _wtoi(c.width));
      EXPECT_EQ(f.height, _wtoi(c.height));
      EXPECT_EQ(f.fps, _wtoi(c.fps));
    }
  }
}

TEST_F(PropertyPageTest, EachControlSendsItsSetting) {
  const HWND dialog = ConnectAndActivate();
  ASSERT_NE(dialog, nullptr);
  for (const int mode : {1, 2, 0}) {
    Pick(dialog, mode);
    EXPECT_EQ(probe_.Settings().fillMode, mode);
  }
  EXPECT_EQ(SetCalls(PIXORA_PROP_FILL_MODE), 3u);

  ClickButton(dialog, IDC_MIRROR);
  EXPECT_TRUE(IsButtonChecked(dialog, IDC_MIRROR));
  EXPECT_EQ(probe_.Settings().mirror, 1);
  ClickButton(dialog, IDC_FLIP);
  EXPECT_EQ(probe_.Settings().flip, 1);
  ClickButton(dialog, IDC_MIRROR);
  EXPECT_EQ(probe_.Settings().mirror, 0);
  EXPECT_EQ(probe_.Settings().flip, 1);
  ClickButton(dialog, IDC_FLIP);
  EXPECT_EQ(probe_.Settings().flip, 0);

  // Rotation stays in the filter: the next frame shows it.
  const std::vector<uint8_t> frame(640 * 4 * 480);
  ClickButton(dialog, IDC_ROTATE);
  ASSERT_EQ(control_->SendFrameRGB32(frame.data(), 640, -480, 0), S_OK);
  FrameHeader turned = probe_.LastFrames(1).back().header;
  EXPECT_EQ(turned.width, 480);
  EXPECT_EQ(turned.height, -640);
  ClickButton(dialog, IDC_ROTATE);
  ASSERT_EQ(control_->SendFrameRGB32(frame.data(), 640, -480, 0), S_OK);
  turned = probe_.LastFrames(1).back().header;
  EXPECT_EQ(turned.width, 640);
  EXPECT_EQ(turned.height, -480);

  // The frame's own Apply has nothing to send, and the page never says it has.
  const uint32_t before = AllCalls();
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page_->Apply(), S_OK);
  EXPECT_EQ(page_->IsPageDirty(), S_FALSE);
  EXPECT_EQ(AllCalls(), before);
}

TEST_F(PropertyPageTest, SnapshotWritesTheNextFrameIntoPictures) {
  wchar_t folder[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, folder), S_OK);
  ASSERT_EQ(std::wstring(folder), pictures_->Path()) << "the Pictures folder is not the build tree's";
  pictures_->Empty();
  const HWND dialog = ConnectAndActivate();
  ASSERT_NE(dialog, nullptr);

  SYSTEMTIME before;
  GetLocalTime(&before);
  ClickButton(dialog, IDC_SNAPSHOT);
  EXPECT_TRUE(pictures_->Files().empty()) << "written before any frame";
  const testing::Picture picture = testing::QuadrantPicture(64, 48);
  const auto frame = testing::FrameOf(picture, kernels::PixelType::RGB24, false);
  ASSERT_EQ(control_->SendFrameRGB24(frame.data(), 64, -48, 0), S_OK);
  SYSTEMTIME after;
  GetLocalTime(&after);

  const std::vector<std::wstring> files = pictures_->Files();
  ASSERT_EQ(files.size(), 1u);
  const std::wstring& name = files[0];
  EXPECT_TRUE(IsSnapshotName(name));
  // Named for the moment of the click.
  EXPECT_GE(L"\\" + name, SnapshotFileName(before));
  EXPECT_LE(L"\\" + name, SnapshotFileName(after));
  const testing::Picture decoded = testing::DecodeImage(pictures_->Path() + L"\\" + name);
  ASSERT_EQ(decoded.width, 64);
  ASSERT_EQ(decoded.height, 48);
  EXPECT_GT(testing::Psnr(decoded, picture), 30.0);
}

TEST_F(PropertyPageTest, WithoutAFilterTheButtonsDoNothing) {
  pictures_->Empty();
  const HWND dialog = Activate();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_FILL_MODE, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(ControlText(dialog, IDC_OUTPUT_WIDTH), L"");
  Type(dialog, IDC_OUTPUT_WIDTH, L"abc");
  ClickButton(dialog, IDC_APPLY);
  Type(dialog, IDC_OUTPUT_WIDTH, L"640");
  Type(dialog, IDC_OUTPUT_HEIGHT, L"480");
  Type(dialog, IDC_OUTPUT_FPS, L"30");
  ClickButton(dialog, IDC_APPLY);
  ClickButton(dialog, IDC_MIRROR);
  ClickButton(dialog, IDC_SNAPSHOT);
  Pick(dialog, 2);
  const std::vector<uint8_t> frame(64 * 4 * 48);
  ASSERT_EQ(control_->SendFrameRGB32(frame.data(), 64, 48, 0), S_OK);
  EXPECT_TRUE(g_beeps.empty());
  EXPECT_EQ(AllCalls(), 1u);  // the frame alone
  EXPECT_TRUE(pictures_->Files().empty());
}

TEST_F(PropertyPageTest, RefusesAFilterWithoutDevice) {
  ASSERT_EQ(UnregisterCameraDevices(), S_OK);
  const ComPtr<IBaseFilter> lonely = module_->CreateFilter();
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
  ASSERT_TRUE(lonely);
  IUnknown* objects[] = {lonely.Get()};
  EXPECT_EQ(page_->SetObjects(1, objects), E_NOINTERFACE);
  EXPECT_EQ(page_->SetObjects(1, nullptr), E_POINTER);
  EXPECT_EQ(Connect(), S_OK);
  EXPECT_EQ(page_->SetObjects(0, nullptr), S_OK);
}

// One control of the page as tabled: id, window class, text, and its place in dialog units.
struct TabledControl {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  RECT units;  // x, y, width, height
};

const TabledControl kLayout[] = {
    {-1, L"Static", L"Fill Mode:", {7, 49, 54, 8}},
    {IDC_FILL_MODE, L"ComboBox", L"", {33, 64, 99, 65}},
    {IDC_SNAPSHOT, L"Button", L"Snapshot", {215, 120, 50, 14}},
    {IDC_MIRROR, L"Button", L"Mirror", {33, 90, 36, 10}},
    {IDC_FLIP, L"Button", L"Flip", {93, 90, 27, 10}},
    {IDC_ROTATE, L"Button", L"Rotate 90\u00B0", {144, 90, 51, 10}},
    {-1, L"Static", L"Output Format:", {7, 7, 54, 8}},
    {IDC_OUTPUT_WIDTH, L"Edit", nullptr, {33, 23, 40, 14}},
    {IDC_OUTPUT_HEIGHT, L"Edit", nullptr, {89, 23, 40, 14}},
    {-1, L"Static", L"x", {79, 25, 8, 8}},
    {IDC_OUTPUT_FPS, L"Edit", nullptr, {143, 23, 40, 14}},
    {-1, L"Static", L"FPS", {185, 26, 14, 8}},
    {IDC_APPLY, L"Button", L"Apply", {215, 22, 50, 14}},
};

// The page's controls in window order against the table; the combo box with its list.
void ExpectTabledLayout(HWND page) {
  HWND control = GetWindow(page, GW_CHILD);
  for (const TabledControl& row : kLayout) {
    ASSERT_NE(control, nullptr) << "fewer controls than tabled";
    SCOPED_TRACE(::testing::Message() << "control " << row.id << " at " << row.units.left << ", "
                                      << row.units.top);
    EXPECT_EQ(static_cast<int>(GetWindowLongPtrW(control, GWLP_ID)), row.id);
    wchar_t className[32] = {};
    GetClassNameW(control, className, 32);
    EXPECT_EQ(_wcsicmp(className, row.className), 0) << "class ";
    if (row.text != nullptr && row.id != IDC_FILL_MODE) {
      wchar_t text[64] = {};
      GetWindowTextW(control, text, 64);
      EXPECT_STREQ(text, row.text);
    }
    // The dialog manager converts position and size each on its own, as MapDialogRect
    // converts each field.
    RECT expected = row.units;
    MapDialogRect(page, &expected);
    RECT actual{};
    GetWindowRect(control, &actual);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.right - actual.left, expected.right);
    if (row.id == IDC_FILL_MODE) {
      // A drop-down list is as tall as its edit field; the tabled height is its list's reach.
      RECT dropped{};
      SendMessageW(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
      EXPECT_GT(dropped.bottom - dropped.top, actual.bottom - actual.top);
    } else {
      EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
    }
    const bool tabStop = (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0;
    EXPECT_EQ(tabStop, row.id != -1);
    control = GetWindow(control, GW_HWNDNEXT);
  }
  EXPECT_EQ(control, nullptr) << "more controls than tabled";
}

// The child dialog of `frame` that holds the page's controls.
HWND FindPageIn(HWND frame) {
  struct Search {
    HWND page = nullptr;
  } search;
  EnumChildWindows(
      frame,
      [](HWND child, LPARAM data) -> BOOL {
        if (GetDlgItem(child, IDC_APPLY) == nullptr || GetDlgItem(child, IDC_ROTATE) == nullptr) {
          return TRUE;
        }
        reinterpret_cast<Search*>(data)->page = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.page;
}

// A visible top-level window of that thread that shows the page, once one is up.
HWND WaitForFrameWithPage(DWORD threadId) {
  for (int tries = 0; tries < 750; ++tries) {
    HWND found = nullptr;
    EnumThreadWindows(
        threadId,
        [](HWND window, LPARAM data) -> BOOL {
          if (!IsWindowVisible(window)) return TRUE;
          *reinterpret_cast<HWND*>(data) = window;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found != nullptr && FindPageIn(found) != nullptr) return found;
    Sleep(20);
  }
  return nullptr;
}

// The page from the registered module, in the system's property frame on a thread of its
// own, as a host shows it; captured, checked against the table, then closed from here.
TEST_F(PropertyPageTest, InThePropertyFrameAsTabled) {
  ASSERT_EQ(module_->Register(), S_OK);
  struct Unregister {
    ~Unregister() { module_->Unregister(); }
  } unregister;
  {
    CProbeSection section;
    std::lock_guard lock(section);
    section.State().settings.fillMode = 1;
  }

  HRESULT shown = E_PENDING;
  DWORD threadId = 0;
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread frameThread([&] {
    threadId = GetCurrentThreadId();
    SetEvent(started);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IUnknown* objects[] = {filter_.Get()};
    CLSID pages[] = {CLSID_PixoraRendererPropertyPage};
    shown = OleCreatePropertyFrame(nullptr, 40, 40, L"Pixora Renderer", 1, objects, 1, pages,
                                   0, 0, nullptr);
    CoUninitialize();
  });
  WaitForSingleObject(started, INFINITE);
  CloseHandle(started);

  const HWND frame = WaitForFrameWithPage(threadId);
  HWND page = frame != nullptr ? FindPageIn(frame) : nullptr;
  if (page != nullptr) {
    const std::wstring path = win32_test::ProgramFolder() + L"\\renderer-property-page.png";
    EXPECT_EQ(win32_test::SavePng(win32_test::CaptureWindow(frame), path), S_OK);
    ExpectTabledLayout(page);
    EXPECT_EQ(SendDlgItemMessageW(page, IDC_FILL_MODE, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(ControlText(page, IDC_OUTPUT_WIDTH), L"1280");
  }
  if (frame != nullptr) PostMessageW(frame, WM_CLOSE, 0, 0);
  frameThread.join();
  ASSERT_NE(frame, nullptr) << "no property frame with the page came up";
  EXPECT_EQ(shown, S_OK);
}

}  // namespace
}  // namespace pixora::test
