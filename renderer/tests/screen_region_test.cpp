// Runs under Xvfb: a window of known colours is drawn on the screen, and its area must
// reach the device as a bottom-up 24-bit packet, and a pending snapshot as an upright JPEG.
#include <gtest/gtest.h>
#include <objbase.h>

#include <array>
#include <cstring>
#include <vector>

#include "camera_link.h"
#include "camera_probe.h"
#include "test_picture.h"

namespace pixora {
namespace {

constexpr int kWidth = 100;
constexpr int kHeight = 50;
// Top-left, top-right, bottom-left, bottom-right, as R, G, B.
constexpr std::array<COLORREF, 4> kQuadrants = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255),
                                                RGB(255, 255, 255)};

LRESULT CALLBACK PaintQuadrants(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_PAINT) return DefWindowProcW(window, message, wparam, lparam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  for (int q = 0; q < 4; ++q) {
    const int x = (q % 2) * kWidth / 2;
    const int y = (q / 2) * kHeight / 2;
    const RECT r{x, y, x + kWidth / 2, y + kHeight / 2};
    HBRUSH brush = CreateSolidBrush(kQuadrants[q]);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }
  EndPaint(window, &paint);
  return 0;
}

bool ScreenShowsQuadrants() {
  HDC screen = GetDC(nullptr);
  bool shown = screen != nullptr;
  for (int q = 0; q < 4 && shown; ++q) {
    const int x = (q % 2) * kWidth / 2 + kWidth / 4;
    const int y = (q / 2) * kHeight / 2 + kHeight / 4;
    shown = GetPixel(screen, x, y) == kQuadrants[q];
  }
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return shown;
}

// Wine hands the paint to the X server a moment later, with no fixed delay on a loaded
// machine: pumps until the screen shows it, within a bound.
bool PumpUntilShown() {
  constexpr DWORD kBoundMs = 10000;
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (ScreenShowsQuadrants()) return true;
    Sleep(10);
  } while (GetTickCount() - start < kBoundMs);
  return false;
}

TEST(ScreenRegion, CapturedAreaArrivesAsBottomUpRgb24) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  ASSERT_EQ(RegisterCameraDevices(), S_OK);
  {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PaintQuadrants;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VextraScreenRegionTest";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
                                  0, 0, kWidth, kHeight, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);
    ASSERT_TRUE(PumpUntilShown()) << "the window's paint never reached the screen";

    CameraProbe probe;
    probe.Reset();
    CCameraLink link;
    ASSERT_EQ(link.DeliverScreenRegion(0, 0, kWidth, kHeight), S_OK);
    const std::vector<uint8_t> packet = probe.LastPacket();
    ASSERT_EQ(packet.size(), 16u + 300 * kHeight);
    FrameHeader header;
    std::memcpy(&header, packet.data(), sizeof(header));
    EXPECT_EQ(header.format, kernels::PixelType::RGB24);
    EXPECT_EQ(header.width, kWidth);
    EXPECT_EQ(header.height, kHeight);
    EXPECT_EQ(header.stride, 300);
    for (int q = 0; q < 4; ++q) {
      const int x = (q % 2) * kWidth / 2 + kWidth / 4;
      const int y = (q / 2) * kHeight / 2 + kHeight / 4;
      const uint8_t* px = packet.data() + 16 + (kHeight - 1 - y) * 300 + 3 * x;  // bottom-up
      EXPECT_EQ(px[0], GetBValue(kQuadrants[q])) << "quadrant " << q;
      EXPECT_EQ(px[1], GetGValue(kQuadrants[q])) << "quadrant " << q;
      EXPECT_EQ(px[2], GetRValue(kQuadrants[q])) << "quadrant " << q;
    }

    // A pending snapshot is served by the screen area too, upright.
    testing::TempPath snapshot(L"vextra-screen-region.jpg");
    ASSERT_EQ(link.RequestSnapshot(snapshot.str().c_str()), S_OK);
    ASSERT_EQ(link.DeliverScreenRegion(0, 0, kWidth, kHeight), S_OK);
    const testing::Picture decoded = testing::DecodeImage(snapshot.str());
    ASSERT_EQ(decoded.width, kWidth);
    ASSERT_EQ(decoded.height, kHeight);
    for (int q = 0; q < 4; ++q) {
      const uint8_t* px =
          decoded.At((q % 2) * kWidth / 2 + kWidth / 4, (q / 2) * kHeight / 2 + kHeight / 4);
      EXPECT_NEAR(px[0], GetBValue(kQuadrants[q]), 24) << "quadrant " << q;
      EXPECT_NEAR(px[1], GetGValue(kQuadrants[q]), 24) << "quadrant " << q;
      EXPECT_NEAR(px[2], GetRValue(kQuadrants[q]), 24) << "quadrant " << q;
    }
    probe.Reset();
    DestroyWindow(window);
  }
  UnregisterCameraDevices();
  CoUninitialize();
}

}  // namespace
}  // namespace pixora
