#include <optional>

#include "driver_test_support.h"
#include "property_requests.h"

// The shared request routines, row by row of their steps.
namespace {

struct Request {
  ULONG valueSize;
  bool valueBuffer;
  ULONG instanceSize;
};

PCPROPERTY_REQUEST Make(const Request& r, std::vector<unsigned char>& value, std::vector<unsigned char>& instance) {
  value.assign(r.valueSize, 0xEE);
  instance.assign(r.instanceSize, 0);
  return {nullptr, nullptr, KSFILTER_NODE, nullptr, KSPROPERTY_TYPE_GET, r.instanceSize,
          r.instanceSize ? instance.data() : nullptr, r.valueSize,
          r.valueBuffer && r.valueSize ? value.data() : nullptr, nullptr};
}

TEST(ValidatePropertyValue, EveryStep) {
  EXPECT_EQ(Hex(ValidatePropertyValue(nullptr, 4, 0)), Hex(STATUS_INVALID_PARAMETER));
  const struct {
    const char* what;
    Request request;
    ULONG needed;
    ULONG instanceNeeded;
    NTSTATUS status;
    ULONG sizeAfter;
  } cases[] = {
      {"size query", {0, false, 0}, 4, 0, STATUS_BUFFER_OVERFLOW, 4},
      {"size query with a short instance", {0, false, 0}, 72, 4, STATUS_BUFFER_OVERFLOW, 72},
      {"value too small", {3, true, 4}, 4, 4, STATUS_BUFFER_TOO_SMALL, 0},
      {"instance too small", {4, true, 3}, 4, 4, STATUS_BUFFER_TOO_SMALL, 0},
      {"exact", {4, true, 4}, 4, 4, STATUS_SUCCESS, 4},
      {"exact, larger instance", {4, true, 8}, 4, 4, STATUS_SUCCESS, 4},
      {"exact, no instance needed", {72, true, 0}, 72, 0, STATUS_SUCCESS, 72},
      {"value larger", {8, true, 4}, 4, 4, STATUS_UNSUCCESSFUL, 0},
      {"no value buffer", {4, false, 4}, 4, 4, STATUS_UNSUCCESSFUL, 0},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> value, instance;
    PCPROPERTY_REQUEST request = Make(c.request, value, instance);
    EXPECT_EQ(Hex(ValidatePropertyValue(&request, c.needed, c.instanceNeeded)), Hex(c.status)) << c.what;
    EXPECT_EQ(request.ValueSize, c.sizeAfter) << c.what;
    EXPECT_EQ(value, std::vector<unsigned char>(c.request.valueSize, 0xEE)) << c.what << ": value written";
  }
}

TEST(DescribeBasicSupport, EveryStep) {
  EXPECT_EQ(Hex(DescribeBasicSupport(nullptr, 0x201, VT_EMPTY)), Hex(STATUS_INVALID_PARAMETER));
  const auto description = [](ULONG access, const GUID& set, ULONG type) {
    return Bytes(KSPROPERTY_DESCRIPTION{access, 40, {set, type, 0}, 0, 0});
  };
  const struct {
    const char* what;
    Request request;
    ULONG access;
    ULONG type;
    NTSTATUS status;
    ULONG sizeAfter;
    std::vector<unsigned char> value;
  } cases[] = {
      {"40 bytes, VT_I4", {40, true, 0}, 0x203, VT_I4, STATUS_SUCCESS, 40, description(0x203, KSPROPTYPESETID_General, VT_I4)},
      {"64 bytes, VT_BOOL", {64, true, 0}, 0x202, VT_BOOL, STATUS_SUCCESS, 40, description(0x202, KSPROPTYPESETID_General, VT_BOOL)},
      {"40 bytes, VT_UI4", {40, true, 0}, 0x201, VT_UI4, STATUS_SUCCESS, 40, description(0x201, KSPROPTYPESETID_General, VT_UI4)},
      {"40 bytes, no type", {40, true, 0}, 0x201, VT_EMPTY, STATUS_SUCCESS, 40, description(0x201, GUID_NULL, 0)},
      {"39 bytes", {39, true, 0}, 0x203, VT_I4, STATUS_SUCCESS, 4, Bytes(ULONG{0x203})},
      {"4 bytes", {4, true, 0}, 0x202, VT_EMPTY, STATUS_SUCCESS, 4, Bytes(ULONG{0x202})},
      {"3 bytes", {3, true, 0}, 0x203, VT_I4, STATUS_BUFFER_TOO_SMALL, 0, {}},
      {"no buffer", {0, false, 0}, 0x203, VT_I4, STATUS_BUFFER_TOO_SMALL, 0, {}},
      {"a size without a buffer", {40, false, 0}, 0x203, VT_I4, STATUS_BUFFER_TOO_SMALL, 0, {}},
  };
  for (const auto& c : cases) {
    std::vector<unsigned char> value, instance;
    PCPROPERTY_REQUEST request = Make(c.request, value, instance);
    EXPECT_EQ(Hex(DescribeBasicSupport(&request, c.access, c.type)), Hex(c.status)) << c.what;
    EXPECT_EQ(request.ValueSize, c.sizeAfter) << c.what;
    EXPECT_EQ(std::vector<unsigned char>(value.begin(), value.begin() + c.value.size()), c.value) << c.what;
    for (size_t i = c.value.size(); i < value.size(); ++i) ASSERT_EQ(value[i], 0xEE) << c.what << ": byte " << i;
  }
}

}  // namespace
