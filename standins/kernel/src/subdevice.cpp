#include "kernel_standin/subdevice.h"

#include <cstring>
#include <memory>

#include "bugcheck.h"
#include "descriptor_access.h"
#include "irql.h"
#include "kernel_objects.h"

namespace kstandin {
namespace {

bool TableIsWalkable(const PCAUTOMATION_TABLE* table) {
  if (table == nullptr || table->PropertyCount == 0) return true;
  return table->Properties != nullptr && table->PropertyItemSize >= sizeof(PCPROPERTY_ITEM);
}

// Kernel streaming hands drivers system copies of the caller's buffers, of exactly the sizes
// the caller gave; so do we, which keeps every overrun visible to the address sanitizer.
std::unique_ptr<unsigned char[]> SystemCopy(const void* source, ULONG size) {
  if (size == 0) return nullptr;
  std::unique_ptr<unsigned char[]> copy(new unsigned char[size]);
  if (source != nullptr)
    std::memcpy(copy.get(), source, size);
  else
    std::memset(copy.get(), 0, size);
  return copy;
}

PropertyResult AnswerAccessFlags(ULONG access, unsigned char* value, ULONG valueSize) {
  if (valueSize == 0) return {STATUS_BUFFER_OVERFLOW, sizeof(ULONG)};
  if (valueSize < sizeof(ULONG)) return {STATUS_BUFFER_TOO_SMALL, 0};
  std::memcpy(value, &access, sizeof access);
  return {STATUS_SUCCESS, sizeof(ULONG)};
}

}  // namespace

bool DescriptorIsWalkable(const PCFILTER_DESCRIPTOR& filter) {
  if (filter.PinCount > 0 && (filter.Pins == nullptr || filter.PinSize < sizeof(PCPIN_DESCRIPTOR))) return false;
  if (filter.NodeCount > 0 && (filter.Nodes == nullptr || filter.NodeSize < sizeof(PCNODE_DESCRIPTOR))) return false;
  if (filter.ConnectionCount > 0 && filter.Connections == nullptr) return false;
  if (filter.CategoryCount > 0 && filter.Categories == nullptr) return false;
  if (!TableIsWalkable(filter.AutomationTable)) return false;
  for (ULONG pin = 0; pin < filter.PinCount; ++pin)
    if (!TableIsWalkable(PinAt(filter, pin).AutomationTable)) return false;
  for (ULONG node = 0; node < filter.NodeCount; ++node)
    if (!TableIsWalkable(NodeAt(filter, node).AutomationTable)) return false;
  return true;
}

Subdevice::~Subdevice() {
  if (miniport_ != nullptr) miniport_->Release();
}

NTSTATUS Subdevice::Bind(IMiniport* miniport, PUNKNOWN miniportUnknown) {
  const PCFILTER_DESCRIPTOR* descriptor = nullptr;
  const NTSTATUS status = miniport->GetDescription(&descriptor);
  if (!NT_SUCCESS(status)) return status;
  if (descriptor == nullptr || !DescriptorIsWalkable(*descriptor)) return STATUS_INVALID_PARAMETER;
  miniport_ = miniport;
  miniportUnknown_ = miniportUnknown;
  descriptor_ = descriptor;
  return STATUS_SUCCESS;
}

void Subdevice::ReleaseChildren() {
  IMiniport* miniport = miniport_;
  miniport_ = nullptr;
  miniportUnknown_ = nullptr;
  descriptor_ = nullptr;
  if (miniport != nullptr) miniport->Release();
}

PropertyResult Subdevice::Property(const void* input, ULONG inputSize, void* value, ULONG valueSize) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "a property request");
  if (descriptor_ == nullptr) return {STATUS_INVALID_DEVICE_REQUEST, 0};
  if (input == nullptr || inputSize < sizeof(KSPROPERTY)) return {STATUS_INVALID_BUFFER_SIZE, 0};
  const auto* bytes = static_cast<const unsigned char*>(input);
  KSPROPERTY property;
  std::memcpy(&property, bytes, sizeof property);

  ULONG node = KSFILTER_NODE;
  ULONG header = sizeof(KSPROPERTY);
  const PCAUTOMATION_TABLE* table = descriptor_->AutomationTable;
  if ((property.Flags & KSPROPERTY_TYPE_TOPOLOGY) != 0) {
    if (inputSize < sizeof(KSNODEPROPERTY)) return {STATUS_INVALID_BUFFER_SIZE, 0};
    std::memcpy(&node, bytes + offsetof(KSNODEPROPERTY, NodeId), sizeof node);
    if (node >= descriptor_->NodeCount) return {STATUS_INVALID_DEVICE_REQUEST, 0};
    table = NodeAt(*descriptor_, node).AutomationTable;
    header = sizeof(KSNODEPROPERTY);
  }

  const ULONG instanceSize = inputSize - header;
  const auto instance = SystemCopy(bytes + header, instanceSize);
  const auto systemValue = SystemCopy(value, valueSize);
  const PropertyResult result =
      Dispatch(property, node, table, instance.get(), instanceSize, systemValue.get(), valueSize);
  if (NT_SUCCESS(result.status)) {
    if (result.valueSize > valueSize)
      BugCheck(PORT_CONTRACT_BROKEN, "a property request succeeded with more bytes than its value buffer holds",
               result.valueSize, valueSize);
    if (result.valueSize > 0) std::memcpy(value, systemValue.get(), result.valueSize);
  }
  return result;
}

PropertyResult Subdevice::Dispatch(const KSPROPERTY& property, ULONG node, const PCAUTOMATION_TABLE* table,
                                   unsigned char* instance, ULONG instanceSize, unsigned char* value,
                                   ULONG valueSize) {
  const ULONG verb = property.Flags & ~KSPROPERTY_TYPE_TOPOLOGY;
  if (verb != KSPROPERTY_TYPE_GET && verb != KSPROPERTY_TYPE_SET && verb != KSPROPERTY_TYPE_BASICSUPPORT &&
      verb != KSPROPERTY_TYPE_SETSUPPORT)
    return {STATUS_INVALID_PARAMETER, 0};

  const PCPROPERTY_ITEM* item = nullptr;
  bool setKnown = false;
  for (ULONG i = 0; table != nullptr && i < table->PropertyCount; ++i) {
    const PCPROPERTY_ITEM& candidate = PropertyAt(*table, i);
    if (candidate.Set == nullptr || !IsEqualGUID(*candidate.Set, property.Set)) continue;
    setKnown = true;
    if (candidate.Id == property.Id) {
      item = &candidate;
      break;
    }
  }

  if (item == nullptr) {
    PropertyResult standard;
    if (node == KSFILTER_NODE && AnswerStandard(property, verb, instance, instanceSize, value, valueSize, &standard))
      return standard;
    return {setKnown ? STATUS_NOT_FOUND : STATUS_PROPSET_NOT_FOUND, 0};
  }
  if (verb == KSPROPERTY_TYPE_SETSUPPORT) return {STATUS_SUCCESS, 0};
  if ((item->Flags & verb) == 0) {
    // Port Class answers basic support itself for items that leave it out.
    if (verb == KSPROPERTY_TYPE_BASICSUPPORT)
      return AnswerAccessFlags(item->Flags & (KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET), value, valueSize);
    return {STATUS_INVALID_DEVICE_REQUEST, 0};
  }
  if (item->Handler == nullptr) return {STATUS_INVALID_DEVICE_REQUEST, 0};

  IRP irp{};
  PCPROPERTY_REQUEST request{miniportUnknown_, nullptr, node,       item,  verb,
                             instanceSize,     instance, valueSize, value, &irp};
  const NTSTATUS status = item->Handler(&request);
  return {status, request.ValueSize};
}

}  // namespace kstandin
