#pragma once

#include "kernel_surface.h"

// Property-request routines shared by the miniports' handlers. PASSIVE_LEVEL, no lock.
// Request buffers carry no alignment promise, so values and instances are copied in and
// out whole, and only after their sizes have been checked.

// Access flags of property items and basic-support answers.
inline constexpr ULONG kGetSupport = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_BASICSUPPORT;
inline constexpr ULONG kSetSupport = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_BASICSUPPORT;
inline constexpr ULONG kGetSetSupport = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_BASICSUPPORT;

inline bool Has(const PCPROPERTY_REQUEST& request, ULONG verb) { return (request.Verb & verb) != 0; }

// Answers whether the request may read or write a value of `valueSize` bytes with an instance
// of at least `instanceSize` bytes: STATUS_SUCCESS, or the failure to return (a size query
// answered with the size needed, or a refusal with the value size cleared).
NTSTATUS ValidatePropertyValue(PPCPROPERTY_REQUEST request, ULONG valueSize, ULONG instanceSize);

// Answers a KSPROPERTY_TYPE_BASICSUPPORT request with `accessFlags` and a value of type
// `valueType` (a variant type code; VT_EMPTY for none).
NTSTATUS DescribeBasicSupport(PPCPROPERTY_REQUEST request, ULONG accessFlags, ULONG valueType);

// Answers basic support with as much as the value holds: all `size` bytes of `support` (a
// KSPROPERTY_DESCRIPTION and what follows it), or `description` alone, or its access flags
// alone; with less than those, STATUS_BUFFER_TOO_SMALL.
NTSTATUS WriteBasicSupport(PCPROPERTY_REQUEST& request, const void* support, ULONG size,
                           const KSPROPERTY_DESCRIPTION& description);

// The property-type identifier of a value type: KSPROPTYPESETID_General with the type as its
// identifier, or GUID_NULL and 0 for none.
KSIDENTIFIER PropertyType(ULONG valueType);

template <typename T>
T ReadInstance(const PCPROPERTY_REQUEST& request) {
  T value;
  RtlCopyMemory(&value, request.Instance, sizeof value);
  return value;
}

template <typename T>
T ReadValue(const PCPROPERTY_REQUEST& request) {
  T value;
  RtlCopyMemory(&value, request.Value, sizeof value);
  return value;
}

// Writes the first `size` bytes of `value` and reports that size.
template <typename T>
void WriteValue(PCPROPERTY_REQUEST& request, const T& value, ULONG size = sizeof(T)) {
  RtlCopyMemory(request.Value, &value, size);
  request.ValueSize = size;
}

// Value bytes the request can hold: none without a buffer.
inline ULONG ValueRoom(const PCPROPERTY_REQUEST& request) {
  return request.Value != nullptr ? request.ValueSize : 0;
}
