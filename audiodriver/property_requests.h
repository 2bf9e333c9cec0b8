#pragma once

#include "kernel_surface.h"

// Property-request routines shared by the miniports' handlers. PASSIVE_LEVEL, no lock.
// Request buffers carry no alignment promise, so values and instances are copied in and
// out whole, and only after their sizes have been checked.

// Answers whether the request may read or write a value of `valueSize` bytes with an instance
// of at least `instanceSize` bytes: STATUS_SUCCESS, or the failure to return (a size query
// answered with the size needed, or a refusal with the value size cleared).
NTSTATUS ValidatePropertyValue(PPCPROPERTY_REQUEST request, ULONG valueSize, ULONG instanceSize);

// Answers a KSPROPERTY_TYPE_BASICSUPPORT request with `accessFlags` and a value of type
// `valueType` (a variant type code; VT_EMPTY for none).
NTSTATUS DescribeBasicSupport(PPCPROPERTY_REQUEST request, ULONG accessFlags, ULONG valueType);

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
