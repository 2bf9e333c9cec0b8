#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kernel_standin/device.h"
#include "kernel_standin/property_input.h"
#include "kernel_surface.h"

// The topology port's Init and property dispatch, and the Port Class registrations, with a
// probe miniport that records what its handler is given.
namespace {

using kstandin::PropertyInput;
using kstandin::PropertyResult;

const GUID kProbeSet = {0x1A2B3C4D, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
const GUID kOtherSet = {0x1A2B3C4D, 0x0001, 0x0002, {8, 7, 6, 5, 4, 3, 2, 1}};

struct Seen {
  int calls = 0;
  PCPROPERTY_REQUEST request{};
  std::vector<unsigned char> instance;
  NTSTATUS answer = STATUS_SUCCESS;
  ULONG answerSize = 4;
};
Seen seen;

NTSTATUS Record(PPCPROPERTY_REQUEST request) {
  ++seen.calls;
  seen.request = *request;
  const auto* instance = static_cast<const unsigned char*>(request->Instance);
  seen.instance.assign(instance, instance + request->InstanceSize);
  if (request->ValueSize > 0) std::memset(request->Value, 0x5A, request->ValueSize);  // every byte it was given
  request->ValueSize = seen.answerSize;
  return seen.answer;
}

const PCPROPERTY_ITEM kNodeItems[] = {{&kProbeSet, 1, KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET, Record}};
const PCPROPERTY_ITEM kFilterItems[] = {{&kProbeSet, 2, KSPROPERTY_TYPE_GET, Record},
                                        {&kProbeSet, 3, KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_BASICSUPPORT, nullptr}};
const PCAUTOMATION_TABLE kNodeTable = {sizeof(PCPROPERTY_ITEM), 1, kNodeItems, 0, 0, nullptr, 0, 0, nullptr, 0};
const PCAUTOMATION_TABLE kFilterTable = {sizeof(PCPROPERTY_ITEM), 2, kFilterItems, 0, 0, nullptr, 0, 0, nullptr, 0};
const PCNODE_DESCRIPTOR kNodes[] = {{0, &kNodeTable, &KSNODETYPE_VOLUME, nullptr}, {0, nullptr, &KSNODETYPE_SUM, nullptr}};
const PCFILTER_DESCRIPTOR kDescriptor = {0, &kFilterTable, sizeof(PCPIN_DESCRIPTOR), 0, nullptr,
                                         sizeof(PCNODE_DESCRIPTOR), 2, kNodes, 0, nullptr, 0, nullptr};

class ProbeMiniport final : public IMiniportTopology {
 public:
  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMiniport) || IsEqualGUID(iid, IID_IMiniportTopology)) {
      *object = static_cast<IMiniportTopology*>(this);
      AddRef();
      return STATUS_SUCCESS;
    }
    *object = nullptr;
    return STATUS_INVALID_PARAMETER;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  NTSTATUS GetDescription(const PCFILTER_DESCRIPTOR** description) override {
    *description = descriptor;
    return STATUS_SUCCESS;
  }
  NTSTATUS DataRangeIntersection(ULONG, PKSDATARANGE, PKSDATARANGE, ULONG, PVOID, PULONG) override {
    return STATUS_NOT_IMPLEMENTED;
  }
  NTSTATUS Init(PUNKNOWN, PRESOURCELIST, PPORTTOPOLOGY) override { return initStatus; }

  ULONG references = 1;  // the creator's; never freed, it lives on the stack
  NTSTATUS initStatus = STATUS_SUCCESS;
  const PCFILTER_DESCRIPTOR* descriptor = &kDescriptor;
};

kstandin::Subdevice* SubdeviceOf(IPort* port) {
  kstandin::Subdevice* subdevice = nullptr;
  if (!NT_SUCCESS(port->QueryInterface(kstandin::IID_IStandinSubdevice, reinterpret_cast<PVOID*>(&subdevice))))
    return nullptr;
  port->Release();
  return subdevice;
}

class TopologyPort : public ::testing::Test {
 protected:
  void SetUp() override {
    seen = Seen{};
    ASSERT_EQ(PcNewPort(&port_, CLSID_PortTopology), STATUS_SUCCESS);
    ASSERT_EQ(port_->Init(nullptr, nullptr, &miniport_, nullptr, nullptr), STATUS_SUCCESS);
    filter_ = SubdeviceOf(port_);
  }
  void TearDown() override {
    port_->Release();
    EXPECT_EQ(miniport_.references, 1u);
  }

  PropertyResult Send(const PropertyInput& input, std::vector<unsigned char>& value) {
    return filter_->Property(input.data(), input.size(), value.empty() ? nullptr : value.data(),
                             static_cast<ULONG>(value.size()));
  }

  ProbeMiniport miniport_;
  PPORT port_ = nullptr;
  kstandin::Subdevice* filter_ = nullptr;
};

TEST_F(TopologyPort, BindsTheMiniportAndItsDescriptor) {
  EXPECT_EQ(miniport_.references, 2u);
  EXPECT_EQ(filter_->Descriptor(), &kDescriptor);
  EXPECT_EQ(filter_->MiniportUnknown(), &miniport_);
  EXPECT_EQ(port_->Init(nullptr, nullptr, &miniport_, nullptr, nullptr), STATUS_INVALID_DEVICE_REQUEST);
  filter_->ReleaseChildren();
  EXPECT_EQ(miniport_.references, 1u);
  EXPECT_EQ(filter_->Descriptor(), nullptr);
}

TEST_F(TopologyPort, HandlerGetsExactCopiesOfInstanceAndValue) {
  const PropertyInput node = PropertyInput::Node(kProbeSet, 1, KSPROPERTY_TYPE_SET, 0).With(LONG{-7}).With(ULONG{9});
  std::vector<unsigned char> value(6, 0x11);
  const PropertyResult result = Send(node, value);
  ASSERT_EQ(seen.calls, 1);
  EXPECT_EQ(result.status, STATUS_SUCCESS);
  EXPECT_EQ(result.valueSize, 4u);
  EXPECT_EQ(seen.request.MajorTarget, &miniport_);
  EXPECT_EQ(seen.request.MinorTarget, nullptr);
  EXPECT_EQ(seen.request.Node, 0u);
  EXPECT_EQ(seen.request.Verb, KSPROPERTY_TYPE_SET);
  EXPECT_EQ(seen.request.PropertyItem, &kNodeItems[0]);
  EXPECT_EQ(seen.request.ValueSize, 6u);
  EXPECT_NE(seen.request.Value, value.data());  // a system copy
  ASSERT_EQ(seen.instance.size(), 8u);
  LONG channel;
  std::memcpy(&channel, seen.instance.data(), sizeof channel);
  EXPECT_EQ(channel, -7);
  // Only the bytes the handler reported come back.
  EXPECT_EQ(value, (std::vector<unsigned char>{0x5A, 0x5A, 0x5A, 0x5A, 0x11, 0x11}));

  seen.answer = STATUS_INVALID_PARAMETER;
  value.assign(4, 0x11);
  const PropertyResult failed = Send(PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_GET).With(ULONG{3}), value);
  EXPECT_EQ(failed.status, STATUS_INVALID_PARAMETER);
  EXPECT_EQ(seen.request.Node, KSFILTER_NODE);
  EXPECT_EQ(seen.instance.size(), 4u);
  EXPECT_EQ(value, std::vector<unsigned char>(4, 0x11));  // a failed request returns nothing

  std::vector<unsigned char> none;
  seen.answerSize = 0;
  seen.answer = STATUS_SUCCESS;
  Send(PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_GET), none);
  EXPECT_EQ(seen.request.Value, nullptr);
  EXPECT_EQ(seen.request.Instance, nullptr);
}

TEST_F(TopologyPort, RequestsTheTablesDoNotCover) {
  const struct {
    const char* what;
    PropertyInput input;
    ULONG valueSize;
    NTSTATUS status;
    ULONG size;
  } cases[] = {
      {"unknown set", PropertyInput::Filter(kOtherSet, 2, KSPROPERTY_TYPE_GET), 4, STATUS_PROPSET_NOT_FOUND, 0},
      {"unknown id", PropertyInput::Filter(kProbeSet, 9, KSPROPERTY_TYPE_GET), 4, STATUS_NOT_FOUND, 0},
      {"node item on the filter", PropertyInput::Filter(kProbeSet, 1, KSPROPERTY_TYPE_GET), 4, STATUS_NOT_FOUND, 0},
      {"verb the item lacks", PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_SET), 4, STATUS_INVALID_DEVICE_REQUEST, 0},
      {"basic support the item lacks: the port answers", PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_BASICSUPPORT), 4,
       STATUS_SUCCESS, 4},
      {"  and asks for the size", PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_BASICSUPPORT), 0,
       STATUS_BUFFER_OVERFLOW, 4},
      {"item without a handler", PropertyInput::Filter(kProbeSet, 3, KSPROPERTY_TYPE_GET), 4, STATUS_INVALID_DEVICE_REQUEST, 0},
      {"two verbs", PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET), 4,
       STATUS_INVALID_PARAMETER, 0},
      {"set support", PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_SETSUPPORT), 0, STATUS_SUCCESS, 0},
      {"node without a table", PropertyInput::Node(kProbeSet, 1, KSPROPERTY_TYPE_GET, 1), 4, STATUS_PROPSET_NOT_FOUND, 0},
      {"node beyond the filter", PropertyInput::Node(kProbeSet, 1, KSPROPERTY_TYPE_GET, 2), 4,
       STATUS_INVALID_DEVICE_REQUEST, 0},
      {"short property", PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_GET).Truncate(20), 4,
       STATUS_INVALID_BUFFER_SIZE, 0},
      {"node property without its node id", PropertyInput::Node(kProbeSet, 1, KSPROPERTY_TYPE_GET, 0).Truncate(28), 4,
       STATUS_INVALID_BUFFER_SIZE, 0},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> value(c.valueSize);
    const PropertyResult result = Send(c.input, value);
    EXPECT_EQ(result.status, c.status) << c.what;
    EXPECT_EQ(result.valueSize, c.size) << c.what;
  }
  EXPECT_EQ(seen.calls, 0);
}

TEST_F(TopologyPort, HandlerClaimingMoreThanTheBufferStopsTheMachine) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  seen.answerSize = 5;
  std::vector<unsigned char> value(4);
  EXPECT_DEATH(Send(PropertyInput::Filter(kProbeSet, 2, KSPROPERTY_TYPE_GET), value), "more bytes than its value buffer");
}

TEST(TopologyPortInit, FailuresLeaveTheMiniportUnbound) {
  ProbeMiniport refusing;
  refusing.initStatus = STATUS_UNSUCCESSFUL;
  ProbeMiniport undescribed;
  undescribed.descriptor = nullptr;
  PCFILTER_DESCRIPTOR unwalkable = kDescriptor;
  unwalkable.NodeSize = 8;
  ProbeMiniport crooked;
  crooked.descriptor = &unwalkable;
  for (ProbeMiniport* miniport : {&refusing, &undescribed, &crooked}) {
    PPORT port = nullptr;
    ASSERT_EQ(PcNewPort(&port, CLSID_PortTopology), STATUS_SUCCESS);
    EXPECT_FALSE(NT_SUCCESS(port->Init(nullptr, nullptr, miniport, nullptr, nullptr)));
    EXPECT_EQ(miniport->references, 1u);
    EXPECT_EQ(port->Release(), 0u);
  }
  PPORT port = reinterpret_cast<PPORT>(1);
  EXPECT_EQ(PcNewPort(&port, IID_IPort), STATUS_INVALID_PARAMETER);
  EXPECT_EQ(port, nullptr);
}

// A driver of a few lines whose start registers the probe as subdevices by plan.
struct Plan {
  std::vector<const char16_t*> names;
  std::vector<NTSTATUS> results;
  bool leakPortReference = false;
  bool connectUnregistered = false;
  NTSTATUS connection = STATUS_SUCCESS;
};
Plan plan;
ProbeMiniport probe;

NTSTATUS ProbeStart(PDEVICE_OBJECT device, PIRP irp, PRESOURCELIST) {
  PPORT port = nullptr;
  NTSTATUS status = PcNewPort(&port, CLSID_PortTopology);
  if (!NT_SUCCESS(status)) return status;
  status = port->Init(device, irp, &probe, nullptr, nullptr);
  for (const char16_t* name : plan.names) plan.results.push_back(PcRegisterSubdevice(device, name, port));
  PPORT stranger = nullptr;
  PcNewPort(&stranger, CLSID_PortTopology);
  plan.connection = PcRegisterPhysicalConnection(device, port, 0, plan.connectUnregistered ? stranger : port, 1);
  stranger->Release();
  if (plan.leakPortReference) port->AddRef();
  port->Release();
  return status;
}
NTSTATUS ProbeAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT device) {
  return PcAddAdapterDevice(driver, device, ProbeStart, 1, 0);
}
NTSTATUS ProbeEntry(PDRIVER_OBJECT driver, PUNICODE_STRING path) {
  return PcInitializeAdapterDriver(driver, path, ProbeAddDevice);
}

TEST(Registrations, SubdevicesAreLimitedAndUnique) {
  plan = Plan{};
  plan.names = {u"Probe", u"Probe", u"Second"};
  kstandin::Device device(ProbeEntry);
  ASSERT_EQ(device.Start(), STATUS_SUCCESS);
  EXPECT_EQ(plan.results, (std::vector<NTSTATUS>{STATUS_SUCCESS, STATUS_INVALID_PARAMETER, STATUS_INSUFFICIENT_RESOURCES}));
  EXPECT_EQ(device.SubdeviceNames(), std::vector<std::u16string>{u"Probe"});
  EXPECT_EQ(plan.connection, STATUS_SUCCESS);
  EXPECT_EQ(device.PhysicalConnections(), (std::vector<kstandin::PhysicalConnection>{{u"Probe", 0, u"Probe", 1}}));
  EXPECT_EQ(probe.references, 2u);
  const kstandin::RemovalReport report = device.Remove();
  EXPECT_TRUE(report.Clean()) << report.Text();
  EXPECT_EQ(probe.references, 1u);
}

TEST(Registrations, ConnectionsNeedRegisteredSubdevices) {
  plan = Plan{};
  plan.names = {u"Probe"};
  plan.connectUnregistered = true;
  kstandin::Device device(ProbeEntry);
  ASSERT_EQ(device.Start(), STATUS_SUCCESS);
  EXPECT_EQ(plan.connection, STATUS_INVALID_PARAMETER);
  EXPECT_TRUE(device.PhysicalConnections().empty());
  EXPECT_TRUE(device.Remove().Clean());
}

TEST(Registrations, RemovalReportsAReferenceLeft) {
  plan = Plan{};
  plan.names = {u"Probe"};
  plan.leakPortReference = true;
  kstandin::Device device(ProbeEntry);
  ASSERT_EQ(device.Start(), STATUS_SUCCESS);
  const kstandin::RemovalReport report = device.Remove();
  EXPECT_FALSE(report.Clean());
  ASSERT_EQ(report.liveObjects.size(), 1u);
  EXPECT_EQ(report.liveObjects[0], "port \"Probe\" still has 1 references after removal");
  ASSERT_EQ(report.leaks.size(), 1u);
  EXPECT_NE(report.Text().find("pool block \"Port\""), std::string::npos) << report.Text();
  // Let go of it, as the leaking driver should have.
  reinterpret_cast<IUnknown*>(const_cast<void*>(report.leaks[0].address))->Release();
}

}  // namespace
