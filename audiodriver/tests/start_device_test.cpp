#include <optional>

#include "driver_test_support.h"
#include "mixer_state.h"
#include "start_device.h"
#include "topology_miniport.h"
#include "wave_miniport.h"

namespace {

using kstandin::Device;
using kstandin::PcCall;
using kstandin::PhysicalConnection;

const std::vector<PhysicalConnection> kConnections = {{u"Topology", 5, u"Wave", 1}, {u"Wave", 3, u"Topology", 0}};

TEST_F(StartedDeviceTest, RegistersTwoSubdevicesWiredTogether) {
  EXPECT_EQ(device_.SubdeviceNames(), (std::vector<std::u16string>{u"Topology", u"Wave"}));
  EXPECT_EQ(device_.PhysicalConnections(), kConnections);
  EXPECT_EQ(device_.MaxObjects(), 3u);
  EXPECT_NE(device_.FindWaveCyclicPort(u"Wave"), nullptr);
  EXPECT_EQ(adapter_->DeviceObject(), device_.FunctionalDeviceObject());
}

// Port Class holds each port once and the adapter holds the wave port; the miniports and the
// power registration hold the adapter.
TEST_F(StartedDeviceTest, ReferencesAfterStart) {
  EXPECT_EQ(topology_->References(), 1u);
  EXPECT_EQ(device_.FindSubdevice(u"Wave")->References(), 2u);
  EXPECT_EQ(References(static_cast<IAudioAdapter*>(adapter_)), 3u);
  EXPECT_EQ(References(topology_->MiniportUnknown()), 1u);
  EXPECT_EQ(References(device_.FindSubdevice(u"Wave")->MiniportUnknown()), 1u);
  ASSERT_NE(*adapter_->WavePortSlot(), nullptr);
  EXPECT_EQ(static_cast<PUNKNOWN>(*adapter_->WavePortSlot()), device_.FindSubdevice(u"Wave")->Unknown());
}

TEST_F(StartedDeviceTest, MixerDefaultsAfterTopologyInit) {
  for (ULONG node = 0; node < kMixerNodes; ++node) {
    EXPECT_EQ(adapter_->ReadMute(node), 0x01010101) << node;
    EXPECT_EQ(adapter_->ReadVolume(node, 0), -1) << node;
    EXPECT_EQ(adapter_->ReadVolume(node, 1), -1) << node;
  }
  EXPECT_EQ(adapter_->ReadMux(), 3u);
  EXPECT_EQ(adapter_->ReadSpecificFlag(), 0);
  EXPECT_EQ(adapter_->ReadSpecificInt(), 0);
  EXPECT_EQ(adapter_->ReadSpecificUint(), 0u);
  adapter_->ResetMixer();
  EXPECT_EQ(adapter_->ReadMux(), 2u);  // until a topology Init selects the microphone
}

TEST_F(StartedDeviceTest, MixerIgnoresNodesBeyondItsArrays) {
  adapter_->WriteVolume(25, 0, 1234);
  EXPECT_EQ(adapter_->ReadVolume(25, 0), 0);
  const MixerState before = *adapter_->Mixer();
  adapter_->WriteMute(20, 0);
  adapter_->WriteVolume(20, 0, 7);
  EXPECT_EQ(std::memcmp(&before, adapter_->Mixer(), sizeof before), 0);
  EXPECT_EQ(adapter_->ReadMute(20), 0);
  adapter_->WriteMute(19, 0);
  EXPECT_EQ(adapter_->ReadMute(19), 0);
}

TEST_F(StartedDeviceTest, PowerStatesBetweenD0AndD3AreRecorded) {
  IAdapterPowerManagement* power = device_.PowerManagement();
  EXPECT_EQ(adapter_->PowerState(), PowerDeviceD0);
  const struct {
    DEVICE_POWER_STATE request;
    DEVICE_POWER_STATE after;
  } cases[] = {{PowerDeviceMaximum, PowerDeviceD0},     {PowerDeviceD0, PowerDeviceD0},
               {PowerDeviceUnspecified, PowerDeviceD0}, {PowerDeviceD3, PowerDeviceD3},
               {PowerDeviceD3, PowerDeviceD3},          {static_cast<DEVICE_POWER_STATE>(-1), PowerDeviceD3},
               {PowerDeviceD1, PowerDeviceD1},          {PowerDeviceD0, PowerDeviceD0}};
  for (const auto& c : cases) {
    POWER_STATE state;
    state.DeviceState = c.request;
    power->PowerChangeState(state);
    EXPECT_EQ(adapter_->PowerState(), c.after) << c.request;
    EXPECT_EQ(power->QueryPowerChangeState(state), STATUS_SUCCESS);
  }
  EXPECT_EQ(power->QueryDeviceCapabilities(nullptr), STATUS_SUCCESS);
}

TEST_F(StartedDeviceTest, WaveServiceGroupIsHeldUntilReplaced) {
  PSERVICEGROUP first = nullptr;
  PSERVICEGROUP second = nullptr;
  ASSERT_EQ(PcNewServiceGroup(&first, nullptr), STATUS_SUCCESS);
  ASSERT_EQ(PcNewServiceGroup(&second, nullptr), STATUS_SUCCESS);
  adapter_->AttachWaveServiceGroup(first);
  EXPECT_EQ(References(first), 2u);
  adapter_->AttachWaveServiceGroup(first);  // the same group again must survive
  EXPECT_EQ(References(first), 2u);
  adapter_->AttachWaveServiceGroup(second);
  EXPECT_EQ(References(first), 1u);
  EXPECT_EQ(References(second), 2u);
  first->Release();
  second->Release();  // the adapter's reference goes with the adapter at removal
}

// Every object answers its own interfaces and refuses the rest with a null result.
TEST_F(StartedDeviceTest, InterfacesAnsweredAndRefused) {
  struct Object {
    const char* name;
    PUNKNOWN unknown;
    std::vector<const IID*> answers;
  };
  const Object objects[] = {
      {"adapter", static_cast<IAudioAdapter*>(adapter_), {&IID_IUnknown, &IID_IAudioAdapter, &IID_IAdapterPowerManagement}},
      {"topology miniport", topology_->MiniportUnknown(), {&IID_IUnknown, &IID_IMiniport, &IID_IMiniportTopology}},
      {"wave miniport",
       device_.FindSubdevice(u"Wave")->MiniportUnknown(),
       {&IID_IUnknown, &IID_IMiniport, &IID_IMiniportWaveCyclic}},
  };
  const IID* refused[] = {&IID_IPort, &IID_IMiniportWaveCyclicStream, &IID_IDmaChannel, &IID_IServiceSink, &GUID_NULL};
  for (const Object& object : objects) {
    const ULONG before = References(object.unknown);
    for (const IID* iid : object.answers) {
      PVOID answer = nullptr;
      EXPECT_EQ(Hex(object.unknown->QueryInterface(*iid, &answer)), Hex(STATUS_SUCCESS)) << object.name;
      ASSERT_NE(answer, nullptr) << object.name;
      static_cast<PUNKNOWN>(answer)->Release();
    }
    for (const IID* iid : refused) {
      PVOID answer = reinterpret_cast<PVOID>(1);
      EXPECT_EQ(Hex(object.unknown->QueryInterface(*iid, &answer)), Hex(STATUS_INVALID_PARAMETER)) << object.name;
      EXPECT_EQ(answer, nullptr) << object.name;
    }
    EXPECT_EQ(References(object.unknown), before) << object.name;
  }
  // The adapter's IUnknown is its primary interface.
  PVOID unknown = nullptr;
  ASSERT_EQ(adapter_->QueryInterface(IID_IUnknown, &unknown), STATUS_SUCCESS);
  EXPECT_EQ(unknown, static_cast<IAudioAdapter*>(adapter_));
  static_cast<PUNKNOWN>(unknown)->Release();
}

// Starts a device with one fault planned and checks what the failed start left behind and
// that removal cleans it up.
struct StartOutcome {
  NTSTATUS status;
  std::vector<std::u16string> subdevices;
  size_t connections;
  bool powerRegistered;
  kstandin::RemovalReport removal;
};

StartOutcome StartOnce() {
  Device device(DriverEntry);
  StartOutcome outcome;
  outcome.status = device.Start();
  kstandin::ClearPoolFaults();
  kstandin::ClearCallFaults();
  outcome.subdevices = device.SubdeviceNames();
  outcome.connections = device.PhysicalConnections().size();
  outcome.powerRegistered = device.PowerManagement() != nullptr;
  outcome.removal = device.Remove();
  return outcome;
}

const std::vector<std::u16string> kNone;
const std::vector<std::u16string> kTopologyOnly = {u"Topology"};
const std::vector<std::u16string> kBoth = {u"Topology", u"Wave"};

// The start's allocations in order; each failing alone fails the start with
// STATUS_INSUFFICIENT_RESOURCES, and a failure in the wave half leaves the topology registered.
TEST(StartDeviceFailures, EachAllocationFailingAlone) {
  const struct {
    const char* allocation;
    const std::vector<std::u16string>* registered;
  } cases[] = {
      {"adapter", &kNone},           {"mixer state", &kNone},         {"topology port", &kNone},
      {"topology miniport", &kNone}, {"wave port", &kTopologyOnly},   {"wave miniport", &kTopologyOnly},
      {"wave service group", &kTopologyOnly},
  };
  for (uint64_t n = 1; n <= std::size(cases); ++n) {
    SCOPED_TRACE(cases[n - 1].allocation);
    kstandin::FailNthAllocation(n);
    const StartOutcome outcome = StartOnce();
    EXPECT_EQ(Hex(outcome.status), Hex(STATUS_INSUFFICIENT_RESOURCES));
    EXPECT_EQ(outcome.subdevices, *cases[n - 1].registered);
    EXPECT_EQ(outcome.connections, 0u);
    EXPECT_TRUE(outcome.removal.Clean()) << outcome.removal.Text();
  }
  kstandin::FailNthAllocation(std::size(cases) + 1);  // beyond the last: the start succeeds
  const StartOutcome outcome = StartOnce();
  EXPECT_EQ(Hex(outcome.status), Hex(STATUS_SUCCESS));
  EXPECT_EQ(outcome.subdevices, kBoth);
  EXPECT_TRUE(outcome.removal.Clean()) << outcome.removal.Text();
}

TEST(StartDeviceFailures, EveryTaggedAllocationFailing) {
  for (const char* tag : {"PcCr", "MSVD", "Port", "SvGr"}) {
    SCOPED_TRACE(tag);
    char text[5] = {};
    std::memcpy(text, tag, 4);
    kstandin::FailAllocationsTagged(PoolTagFromText(text));
    const StartOutcome outcome = StartOnce();
    EXPECT_EQ(Hex(outcome.status), Hex(STATUS_INSUFFICIENT_RESOURCES));
    EXPECT_TRUE(outcome.removal.Clean()) << outcome.removal.Text();
  }
}

// Any other failing Port Class call: its status comes back and what was registered before
// it stays registered until removal.
TEST(StartDeviceFailures, EachPortClassCallFailing) {
  const NTSTATUS failure = static_cast<NTSTATUS>(0xC0000185u);  // STATUS_IO_DEVICE_ERROR
  const struct {
    const char* name;
    PcCall call;
    unsigned skip;
    const std::vector<std::u16string>* registered;
    size_t connections;
    bool powerRegistered;
  } cases[] = {
      {"PcInitializeAdapterDriver", PcCall::InitializeAdapterDriver, 0, &kNone, 0, false},
      {"PcAddAdapterDevice", PcCall::AddAdapterDevice, 0, &kNone, 0, false},
      {"PcRegisterAdapterPowerManagement", PcCall::RegisterAdapterPowerManagement, 0, &kNone, 0, false},
      {"PcNewPort (topology)", PcCall::NewPort, 0, &kNone, 0, true},
      {"PcNewPort (wave)", PcCall::NewPort, 1, &kTopologyOnly, 0, true},
      {"IPort::Init (topology)", PcCall::PortInit, 0, &kNone, 0, true},
      {"IPort::Init (wave)", PcCall::PortInit, 1, &kTopologyOnly, 0, true},
      {"PcNewServiceGroup (wave miniport)", PcCall::NewServiceGroup, 0, &kTopologyOnly, 0, true},
      {"PcRegisterSubdevice (topology)", PcCall::RegisterSubdevice, 0, &kNone, 0, true},
      {"PcRegisterSubdevice (wave)", PcCall::RegisterSubdevice, 1, &kTopologyOnly, 0, true},
      {"PcRegisterPhysicalConnection (capture)", PcCall::RegisterPhysicalConnection, 0, &kBoth, 0, true},
      {"PcRegisterPhysicalConnection (render)", PcCall::RegisterPhysicalConnection, 1, &kBoth, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    kstandin::FailCall(c.call, failure, c.skip);
    const StartOutcome outcome = StartOnce();
    EXPECT_EQ(Hex(outcome.status), Hex(failure));
    EXPECT_EQ(outcome.subdevices, *c.registered);
    EXPECT_EQ(outcome.connections, c.connections);
    EXPECT_EQ(outcome.powerRegistered, c.powerRegistered);
    EXPECT_TRUE(outcome.removal.Clean()) << outcome.removal.Text();
  }
}

TEST(InstallPortAndMiniport, WithoutCreateRoutineAsksPortClassForTheMiniport) {
  Device device(DriverEntry);
  // PcNewMiniport knows no miniport for these classes here, so the install fails cleanly.
  PUNKNOWN unknown = nullptr;
  EXPECT_EQ(Hex(InstallPortAndMiniport(device.FunctionalDeviceObject(), nullptr, u"Topology", CLSID_PortTopology,
                                       CLSID_PortTopology, nullptr, nullptr, nullptr, IID_IPortTopology, nullptr,
                                       &unknown)),
            Hex(STATUS_INVALID_PARAMETER));
  EXPECT_EQ(unknown, nullptr);
  EXPECT_TRUE(device.Remove().Clean());
}

// A miniport whose Init refuses the adapter leaves the port unbound and holds nothing.
TEST(TopologyMiniportInit, RefusesAnUnknownThatIsNoAdapter) {
  const uint64_t since = kstandin::AllocationSerial();
  PUNKNOWN miniport = nullptr;
  ASSERT_EQ(CreateTopologyMiniport(&miniport, CLSID_PortTopology, nullptr, NonPagedPoolNx), STATUS_SUCCESS);
  IMiniportTopology* topology = nullptr;
  ASSERT_EQ(miniport->QueryInterface(IID_IMiniportTopology, reinterpret_cast<PVOID*>(&topology)), STATUS_SUCCESS);
  PUNKNOWN other = nullptr;
  ASSERT_EQ(CreateWaveMiniport(&other, CLSID_PortWaveCyclic, nullptr, NonPagedPoolNx), STATUS_SUCCESS);
  EXPECT_EQ(Hex(topology->Init(other, nullptr, nullptr)), Hex(STATUS_INVALID_PARAMETER));
  EXPECT_EQ(static_cast<TopologyMiniport*>(topology)->Adapter(), nullptr);
  EXPECT_EQ(References(other), 1u);
  const PCFILTER_DESCRIPTOR* descriptor = reinterpret_cast<const PCFILTER_DESCRIPTOR*>(1);
  EXPECT_EQ(topology->GetDescription(&descriptor), STATUS_SUCCESS);
  EXPECT_EQ(descriptor, nullptr);
  PKSDATARANGE none = nullptr;
  EXPECT_EQ(Hex(topology->DataRangeIntersection(0, none, none, 0, nullptr, nullptr)), Hex(STATUS_NOT_IMPLEMENTED));
  other->Release();
  topology->Release();
  miniport->Release();
  EXPECT_TRUE(kstandin::OutstandingBlocks(since).empty()) << kstandin::DescribeBlocks(kstandin::OutstandingBlocks(since));
}

}  // namespace
