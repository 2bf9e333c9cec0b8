#include "device_fixture.h"

#include <dshow.h>
#include <vfwmsgs.h>

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

TEST_F(CameraDeviceTest, FilterHasNoPins) {
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter_->EnumPins(&pins), S_OK);
  IPin* pin = nullptr;
  ULONG fetched = 5;
  EXPECT_EQ(pins->Next(1, &pin, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(pin, nullptr);
  EXPECT_EQ(filter_->FindPin(L"Capture", &pin), VFW_E_NOT_FOUND);
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(filter_->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_PixoraCamera);
}

TEST_F(CameraDeviceTest, FilterJoinsARealGraphAndFollowsItsState) {
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(&graph)),
            S_OK);
  ASSERT_EQ(graph->AddFilter(filter_.Get(), L"Pixora Camera"), S_OK);

  FILTER_INFO info = {};
  ASSERT_EQ(filter_->QueryFilterInfo(&info), S_OK);
  ComPtr<IFilterGraph> infoGraph;
  infoGraph.Attach(info.pGraph);
  EXPECT_STREQ(info.achName, L"Pixora Camera");
  ComPtr<IFilterGraph> expectedGraph;
  ASSERT_EQ(graph.As(&expectedGraph), S_OK);
  EXPECT_EQ(infoGraph.Get(), expectedGraph.Get());

  ComPtr<IMediaControl> control;
  ASSERT_EQ(graph.As(&control), S_OK);
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  FILTER_STATE state = State_Stopped;
  EXPECT_EQ(filter_->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  ASSERT_TRUE(SUCCEEDED(control->Stop()));
  EXPECT_EQ(filter_->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);

  ASSERT_EQ(graph->RemoveFilter(filter_.Get()), S_OK);
  ASSERT_EQ(filter_->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(info.pGraph, nullptr);
}

TEST_F(CameraDeviceTest, LiteFilterLacksThePropertySet) {
  ComPtr<IKsPropertySet> lite;
  ASSERT_EQ(CreateFilter(CLSID_PixoraCameraLite).As(&lite), S_OK);
  DWORD support = 0xFF;
  EXPECT_EQ(lite->QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, &support),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(support, 0u);
  const int32_t on = 1;
  EXPECT_EQ(lite->Set(PROPSETID_PixoraCamera, PIXORA_PROP_MIRROR, nullptr, 0,
                      const_cast<int32_t*>(&on), sizeof(on)),
            E_PROP_SET_UNSUPPORTED);
  // Lite never touches the probe: an injected failure waits for the real device.
  probe_.FailNextCall(E_ABORT);
  EXPECT_EQ(lite->QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, &support),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(properties_->QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, &support),
            E_ABORT);
  EXPECT_EQ(probe_.Settings().mirror, 0);
}

}  // namespace
}  // namespace pixora::test
