// The settings dialog as a host shows it through Configure, driven from a second thread as
// a user would, on a virtual X display. A screenshot of it lands beside this program.
// The plug-in is loaded by file name, as hosts do, once this program's windows are set up
// for a display without a window manager.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "dialog_ids.h"
#include "gpucodec.h"
#include "modal_driver.h"
#include "program_folder.h"
#include "screenshot.h"
#include "test_window.h"
#include "window_input.h"

namespace gpucodec_test {
namespace {

using win32_test::ModalRun;
using win32_test::ProgramFolder;

constexpr wchar_t kCaption[] = L"NVIDIA GPUCODEC encoder";

std::wstring Label(int megabits) { return L"Target bitrate : " + std::to_wstring(megabits) + L" Mbps"; }

struct Shown {
  int preset;
  int bitrate;
  std::wstring label;
  bool lowLatency;
};

Shown ReadShown(HWND dialog) {
  return {win32_test::TrackbarPosition(dialog, IDC_PRESET_SLIDER),
          win32_test::TrackbarPosition(dialog, IDC_BITRATE_SLIDER),
          win32_test::ControlText(dialog, IDC_BITRATE_LABEL),
          win32_test::IsButtonChecked(dialog, IDC_LOW_LATENCY)};
}

std::optional<std::string> FileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

std::wstring ReadKey(const std::wstring& path, const wchar_t* key) {
  wchar_t value[64] = {};
  GetPrivateProfileStringW(L"AVC", key, L"(missing)", value, 64, path.c_str());
  return value;
}

// Splits a list of zero-terminated strings that ends with an empty one.
std::vector<std::wstring> Strings(const wchar_t* list) {
  std::vector<std::wstring> strings;
  for (const wchar_t* s = list; *s != L'\0'; s += strings.back().size() + 1) strings.emplace_back(s);
  return strings;
}

// Every section with its lines, as the profile reader sees the file.
using Profile = std::vector<std::pair<std::wstring, std::vector<std::wstring>>>;
Profile ReadProfile(const std::wstring& path) {
  std::vector<wchar_t> buffer(8192);
  GetPrivateProfileSectionNamesW(buffer.data(), static_cast<DWORD>(buffer.size()), path.c_str());
  Profile profile;
  for (const std::wstring& section : Strings(buffer.data())) {
    std::vector<wchar_t> lines(8192);
    GetPrivateProfileSectionW(section.c_str(), lines.data(), static_cast<DWORD>(lines.size()), path.c_str());
    profile.emplace_back(section, Strings(lines.data()));
  }
  return profile;
}

// The two exports the dialog needs, from the plug-in loaded by file name.
struct Plugin {
  HMODULE module = nullptr;
  decltype(&::Init) init = nullptr;
  decltype(&::Configure) configure = nullptr;
};
Plugin g_plugin;

class SettingsDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_plugin.module = LoadLibraryW((ProgramFolder() + L"\\gpucodec.dll").c_str());
    if (!g_plugin.module) return;
    g_plugin.init = reinterpret_cast<decltype(&::Init)>(GetProcAddress(g_plugin.module, "Init"));
    g_plugin.configure =
        reinterpret_cast<decltype(&::Configure)>(GetProcAddress(g_plugin.module, "Configure"));
  }

  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = test->name();
    path_ = ProgramFolder() + L"\\settings-dialog-" + std::wstring(name.begin(), name.end()) + L".ini";
    ASSERT_TRUE(g_plugin.init && g_plugin.configure) << "gpucodec.dll or its exports not found";
    DeleteFileW(path_.c_str());
    const int32_t init = g_plugin.init(path_.c_str());
    ASSERT_TRUE(init == 0 || init == 1);
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }

  // Shows the dialog over the host's window and lets driver act on it; it must close.
  ModalRun Show(const std::function<void(HWND)>& driver) {
    HRESULT result = E_FAIL;
    const ModalRun run =
        win32_test::DriveModal(kCaption, [&] { result = g_plugin.configure(0, owner_.get()); }, driver);
    EXPECT_EQ(result, S_OK);
    EXPECT_NE(run.window, nullptr) << "no dialog came up";
    EXPECT_FALSE(run.forcedClose) << "the dialog was still open after its driver";
    return run;
  }

  win32_test::TestWindow owner_{L"Recording host", RECT{40, 40, 680, 520}};
  std::wstring path_;
};

TEST_F(SettingsDialog, ModalOverTheHostWindowAsTabled) {
  ASSERT_NE(owner_.get(), nullptr);
  Show([&](HWND dialog) {
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_.get());
    EXPECT_FALSE(IsWindowEnabled(owner_.get())) << "the host's window takes input under the dialog";
    wchar_t className[64] = {};
    GetClassNameW(dialog, className, 64);
    EXPECT_STREQ(className, L"#32770");
    RECT client{};
    GetClientRect(dialog, &client);
    RECT units{0, 0, 200, 150};
    MapDialogRect(dialog, &units);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);

    const win32_test::Screenshot picture = win32_test::CaptureWindow(dialog);
    EXPECT_EQ(win32_test::SavePng(picture, ProgramFolder() + L"\\gpucodec_settings_dialog.png"), S_OK);
    win32_test::ClickButton(dialog, IDCANCEL);
  });
  EXPECT_TRUE(IsWindowEnabled(owner_.get()));
}

TEST_F(SettingsDialog, IndexOtherThanZeroShowsNothing) {
  HRESULT result = S_OK;
  const ModalRun run = win32_test::DriveModal(
      kCaption, [&] { result = g_plugin.configure(1, owner_.get()); }, [](HWND) {});
  EXPECT_EQ(result, E_INVALIDARG);
  EXPECT_EQ(run.window, nullptr);
}

TEST_F(SettingsDialog, OpensOnTheStoredValuesAndOkSavesThem) {
  struct Case {
    const char* file;  // null: no settings file
    Shown shown;
    const wchar_t* preset;
    const wchar_t* targetBitrate;
    const wchar_t* lowLatency;
  };
  const Case cases[] = {
      {nullptr, {1, 5, Label(5), true}, L"1", L"5000", L"1"},
      {"[AVC]\r\n", {1, 5, Label(5), true}, L"1", L"5000", L"1"},
      {"[AVC]\r\nTargetBitrate=5500\r\n", {1, 5, Label(5), true}, L"1", L"5000", L"1"},
      {"[AVC]\r\nTargetBitrate=500\r\n", {1, 1, Label(1), true}, L"1", L"1000", L"1"},
      {"[AVC]\r\nTargetBitrate=200000\r\n", {1, 130, Label(130), true}, L"1", L"130000", L"1"},
      {"[AVC]\r\nPreset=7\r\n", {2, 5, Label(5), true}, L"2", L"5000", L"1"},
      {"[AVC]\r\nPreset=0\r\nTargetBitrate=42999\r\nLowLatency=0\r\n", {0, 42, Label(42), false},
       L"0", L"42000", L"0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no settings file");
    DeleteFileW(path_.c_str());
    if (c.file) WriteFileBytes(path_, c.file);
    Show([&](HWND dialog) {
      const Shown shown = ReadShown(dialog);
      EXPECT_EQ(shown.preset, c.shown.preset);
      EXPECT_EQ(shown.bitrate, c.shown.bitrate);
      EXPECT_EQ(shown.label, c.shown.label);
      EXPECT_EQ(shown.lowLatency, c.shown.lowLatency);
      win32_test::ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(ReadKey(path_, L"Preset"), c.preset);
    EXPECT_EQ(ReadKey(path_, L"TargetBitrate"), c.targetBitrate);
    EXPECT_EQ(ReadKey(path_, L"LowLatency"), c.lowLatency);
  }
}

TEST_F(SettingsDialog, OkWritesTheThreeKeysAndKeepsEverythingElse) {
  WriteFileBytes(path_,
                 "; the host's notes\r\n"
                 "[AVC]\r\nDevice=1\r\nPreset=1\r\nProfile=77\r\nTargetBitrate=5000\r\nAsyncMode=0\r\n"
                 "LowLatency=1\r\nNote=kept\r\n"
                 "[Host]\r\nPreset=9\r\n");
  Show([](HWND dialog) {
    win32_test::DragTrackbar(dialog, IDC_PRESET_SLIDER, 0);
    win32_test::DragTrackbar(dialog, IDC_BITRATE_SLIDER, 42);
    win32_test::ClickButton(dialog, IDC_LOW_LATENCY);
    win32_test::ClickButton(dialog, IDOK);
  });
  const Profile expected = {
      {L"AVC",
       {L"Device=1", L"Preset=0", L"Profile=77", L"TargetBitrate=42000", L"AsyncMode=0",
        L"LowLatency=0", L"Note=kept"}},
      {L"Host", {L"Preset=9"}},
  };
  EXPECT_EQ(ReadProfile(path_), expected);
  EXPECT_NE(FileBytes(path_).value_or("").find("; the host's notes"), std::string::npos);
}

TEST_F(SettingsDialog, CancelEscAndTheCloseBoxWriteNothing) {
  const std::string stored = "[AVC]\r\nDevice=1\r\nPreset=2\r\nTargetBitrate=8000\r\nLowLatency=1\r\n";
  struct Case {
    const char* how;
    bool fileBefore;
    std::function<void(HWND)> close;
  };
  const Case cases[] = {
      {"Cancel", true, [](HWND d) { win32_test::ClickButton(d, IDCANCEL); }},
      {"Esc", true, [](HWND d) { win32_test::PressKey(d, VK_ESCAPE); }},
      {"close box", true, [](HWND d) { win32_test::ChooseCloseBox(d); }},
      {"Cancel, no settings file", false, [](HWND d) { win32_test::ClickButton(d, IDCANCEL); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    DeleteFileW(path_.c_str());
    if (c.fileBefore) WriteFileBytes(path_, stored);
    Show([&](HWND dialog) {
      win32_test::DragTrackbar(dialog, IDC_BITRATE_SLIDER, 42);
      EXPECT_EQ(win32_test::ControlText(dialog, IDC_BITRATE_LABEL), Label(42));
      win32_test::DragTrackbar(dialog, IDC_PRESET_SLIDER, 0);
      win32_test::ClickButton(dialog, IDC_LOW_LATENCY);
      c.close(dialog);
    });
    EXPECT_EQ(FileBytes(path_), c.fileBefore ? std::optional<std::string>(stored) : std::nullopt);
  }
}

// The label refresh must not put the check box back to what was read at start.
TEST_F(SettingsDialog, BitrateSliderKeepsTheBoxAsTheUserSetIt) {
  struct Case {
    const char* file;
    bool ticked;  // after the user's click
    const wchar_t* saved;
  };
  const Case cases[] = {
      {"[AVC]\r\nLowLatency=1\r\n", false, L"0"},
      {"[AVC]\r\nLowLatency=0\r\n", true, L"1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    WriteFileBytes(path_, c.file);
    Show([&](HWND dialog) {
      win32_test::ClickButton(dialog, IDC_LOW_LATENCY);
      win32_test::DragTrackbar(dialog, IDC_BITRATE_SLIDER, 20);
      EXPECT_EQ(win32_test::ControlText(dialog, IDC_BITRATE_LABEL), Label(20));
      EXPECT_EQ(win32_test::IsButtonChecked(dialog, IDC_LOW_LATENCY), c.ticked);
      win32_test::ClickButton(dialog, IDOK);
    });
    EXPECT_EQ(ReadKey(path_, L"LowLatency"), c.saved);
    EXPECT_EQ(ReadKey(path_, L"TargetBitrate"), L"20000");
  }
}

}  // namespace
}  // namespace gpucodec_test
