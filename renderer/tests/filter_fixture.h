// The camera stand-in registered, a renderer made by the module of this build, a graph of
// the system's, and a push source of the tests' own: what the filter's tests stand on.
#pragma once

#include <gtest/gtest.h>
#include <objbase.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

#include "camera_probe.h"
#include "com_thread.h"
#include "fnv1a.h"
#include "filter_graph.h"
#include "pixora_renderer.h"
#include "push_source.h"
#include "renderer_module.h"

namespace pixora::test {

using Bytes = std::vector<uint8_t>;

inline Bytes Pattern(size_t n, uint8_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 131 + seed + (i >> 11));
  return b;
}

class RendererFilterTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(RegisterCameraDevices(), S_OK); }
  static void TearDownTestSuite() { UnregisterCameraDevices(); }

  void SetUp() override {
    ASSERT_TRUE(module_.Loaded());
    probe_.Reset();
    renderer_ = module_.CreateFilter();
    ASSERT_TRUE(renderer_);
    ASSERT_TRUE(graph_.builder);
    ASSERT_EQ(graph_.Add(renderer_.Get(), L"Pixora Renderer"), S_OK);
  }

  void TearDown() override {
    if (graph_.control) graph_.control->Stop();
  }

  // A push source offering `type` joins the graph and connects straight to the renderer.
  HRESULT ConnectSource(const AM_MEDIA_TYPE& type, long bufferBytes) {
    return CPushSource::Connect(graph_, renderer_.Get(), type, bufferBytes, &sourceFilter_,
                                &source_);
  }

  Microsoft::WRL::ComPtr<IPixoraRenderer> Control() {
    Microsoft::WRL::ComPtr<IPixoraRenderer> control;
    EXPECT_EQ(renderer_.As(&control), S_OK);
    return control;
  }

  FrameRecord LastRecord() {
    const auto records = probe_.LastFrames(1);
    return records.empty() ? FrameRecord{} : records.back();
  }

  Bytes LastPixels() {
    const Bytes packet = probe_.LastPacket();
    return packet.size() < sizeof(FrameHeader)
               ? Bytes{}
               : Bytes(packet.begin() + sizeof(FrameHeader), packet.end());
  }

  // Declared first: the module stays loaded until every object of it is gone.
  RendererModule module_;
  CameraProbe probe_;
  FilterGraph graph_;
  Microsoft::WRL::ComPtr<IBaseFilter> renderer_;
  Microsoft::WRL::ComPtr<IBaseFilter> sourceFilter_;
  CPushSource* source_ = nullptr;
};

// Stops a graph when it goes out of scope; declared after a future that pushes, it frees a
// sample the renderer holds, so that a failing test ends instead of waiting for ever.
struct StopOnExit {
  IMediaControl* control;
  ~StopOnExit() { control->Stop(); }
};

inline bool SameHeader(const FrameHeader& a, const FrameHeader& b) {
  return static_cast<int32_t>(a.format) == static_cast<int32_t>(b.format) && a.width == b.width &&
         a.height == b.height && a.stride == b.stride;
}

inline std::ostream& operator<<(std::ostream& out, const FrameHeader& h) {
  return out << "(" << static_cast<int32_t>(h.format) << ", " << h.width << ", " << h.height << ", "
             << h.stride << ")";
}

}  // namespace pixora::test
