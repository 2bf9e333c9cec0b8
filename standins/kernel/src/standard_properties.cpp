// The pin and topology properties that Port Class answers from the miniport's descriptor.

#include <cstring>
#include <vector>

#include "descriptor_access.h"
#include "kernel_standin/subdevice.h"

namespace kstandin {
namespace {

// Size query, too small, or the value: the convention of every answer below.
PropertyResult Answer(const void* data, ULONG size, unsigned char* value, ULONG valueSize) {
  if (valueSize == 0) return {STATUS_BUFFER_OVERFLOW, size};
  if (valueSize < size) return {STATUS_BUFFER_TOO_SMALL, 0};
  std::memcpy(value, data, size);
  return {STATUS_SUCCESS, size};
}

template <typename T>
PropertyResult AnswerValue(const T& data, unsigned char* value, ULONG valueSize) {
  return Answer(&data, sizeof data, value, valueSize);
}

// A KSMULTIPLE_ITEM header and `count` items of `itemSize` bytes, each at an 8-byte boundary
// when `aligned`.
class MultipleItem {
 public:
  void Add(const void* item, ULONG size, bool aligned) {
    if (aligned) bytes_.resize((bytes_.size() + 7) & ~size_t{7});
    const size_t at = bytes_.size();
    bytes_.resize(at + size);
    std::memcpy(bytes_.data() + at, item, size);
    ++count_;
  }
  PropertyResult Answer(unsigned char* value, ULONG valueSize) const {
    const KSMULTIPLE_ITEM header{static_cast<ULONG>(sizeof(KSMULTIPLE_ITEM) + bytes_.size()), count_};
    std::vector<unsigned char> all(sizeof header + bytes_.size());
    std::memcpy(all.data(), &header, sizeof header);
    if (!bytes_.empty()) std::memcpy(all.data() + sizeof header, bytes_.data(), bytes_.size());
    return kstandin::Answer(all.data(), header.Size, value, valueSize);
  }

 private:
  std::vector<unsigned char> bytes_;
  ULONG count_ = 0;
};

}  // namespace

bool Subdevice::AnswerStandard(const KSPROPERTY& property, ULONG verb, const unsigned char* instance,
                               ULONG instanceSize, unsigned char* value, ULONG valueSize,
                               PropertyResult* result) const {
  const bool pinSet = IsEqualGUID(property.Set, KSPROPSETID_Pin);
  const bool topologySet = IsEqualGUID(property.Set, KSPROPSETID_Topology);
  if (!pinSet && !topologySet) return false;
  const PCFILTER_DESCRIPTOR& filter = *Descriptor();
  *result = {STATUS_NOT_FOUND, 0};

  if (verb == KSPROPERTY_TYPE_SETSUPPORT) {
    *result = {STATUS_SUCCESS, 0};
    return true;
  }
  if (verb == KSPROPERTY_TYPE_BASICSUPPORT) {
    const ULONG access = KSPROPERTY_TYPE_GET;
    *result = AnswerValue(access, value, valueSize);
    return true;
  }
  if (verb != KSPROPERTY_TYPE_GET) {
    *result = {STATUS_INVALID_DEVICE_REQUEST, 0};
    return true;
  }

  if (topologySet) {
    MultipleItem items;
    switch (property.Id) {
      case KSPROPERTY_TOPOLOGY_CATEGORIES:
        for (ULONG i = 0; i < filter.CategoryCount; ++i) items.Add(&filter.Categories[i], sizeof(GUID), false);
        break;
      case KSPROPERTY_TOPOLOGY_NODES:
        for (ULONG i = 0; i < filter.NodeCount; ++i) {
          const GUID* type = NodeAt(filter, i).Type;
          items.Add(type != nullptr ? type : &GUID_NULL, sizeof(GUID), false);
        }
        break;
      case KSPROPERTY_TOPOLOGY_CONNECTIONS:
        for (ULONG i = 0; i < filter.ConnectionCount; ++i) {
          const PCCONNECTION_DESCRIPTOR& c = filter.Connections[i];
          const KSTOPOLOGY_CONNECTION connection{c.FromNode, c.FromNodePin, c.ToNode, c.ToNodePin};
          items.Add(&connection, sizeof connection, false);
        }
        break;
      default:
        return true;
    }
    *result = items.Answer(value, valueSize);
    return true;
  }

  if (property.Id == KSPROPERTY_PIN_CTYPES) {
    *result = AnswerValue(filter.PinCount, value, valueSize);
    return true;
  }
  // Every other pin property names its pin: a KSP_PIN.
  if (instanceSize < sizeof(KSP_PIN) - sizeof(KSPROPERTY)) {
    *result = {STATUS_INVALID_BUFFER_SIZE, 0};
    return true;
  }
  ULONG pinId;
  std::memcpy(&pinId, instance, sizeof pinId);
  if (pinId >= filter.PinCount) {
    *result = {STATUS_INVALID_PARAMETER, 0};
    return true;
  }
  const PCPIN_DESCRIPTOR& pin = PinAt(filter, pinId);
  const KSPIN_DESCRIPTOR& ks = pin.KsPinDescriptor;
  switch (property.Id) {
    case KSPROPERTY_PIN_CINSTANCES:
      *result = AnswerValue(KSPIN_CINSTANCES{pin.MaxFilterInstanceCount, OpenInstances(pinId)}, value, valueSize);
      break;
    case KSPROPERTY_PIN_GLOBALCINSTANCES:
      *result = AnswerValue(KSPIN_CINSTANCES{pin.MaxGlobalInstanceCount, OpenInstances(pinId)}, value, valueSize);
      break;
    case KSPROPERTY_PIN_NECESSARYINSTANCES:
      *result = AnswerValue(pin.MinFilterInstanceCount, value, valueSize);
      break;
    case KSPROPERTY_PIN_DATAFLOW:
      *result = AnswerValue(ks.DataFlow, value, valueSize);
      break;
    case KSPROPERTY_PIN_COMMUNICATION:
      *result = AnswerValue(ks.Communication, value, valueSize);
      break;
    case KSPROPERTY_PIN_CATEGORY:
      if (ks.Category != nullptr) *result = AnswerValue(*ks.Category, value, valueSize);
      break;
    case KSPROPERTY_PIN_DATARANGES: {
      MultipleItem ranges;
      for (ULONG i = 0; i < ks.DataRangesCount; ++i) {
        const KSDATARANGE* range = ks.DataRanges[i];
        ranges.Add(range, range->FormatSize, true);
      }
      *result = ranges.Answer(value, valueSize);
      break;
    }
    default:
      break;
  }
  return true;
}

}  // namespace kstandin
