#include "property_requests.h"

NTSTATUS ValidatePropertyValue(PPCPROPERTY_REQUEST request, ULONG valueSize, ULONG instanceSize) {
  if (request == nullptr) return STATUS_INVALID_PARAMETER;
  if (request->ValueSize == 0) {
    request->ValueSize = valueSize;
    return STATUS_BUFFER_OVERFLOW;
  }
  NTSTATUS status = STATUS_UNSUCCESSFUL;
  if (request->ValueSize < valueSize || request->InstanceSize < instanceSize ||
      (instanceSize > 0 && request->Instance == nullptr))
    status = STATUS_BUFFER_TOO_SMALL;
  else if (request->ValueSize == valueSize && request->Value != nullptr)
    return STATUS_SUCCESS;
  request->ValueSize = 0;
  return status;
}

KSIDENTIFIER PropertyType(ULONG valueType) {
  if (valueType == VT_EMPTY) return {GUID_NULL, 0, 0};
  return {KSPROPTYPESETID_General, valueType, 0};
}

NTSTATUS DescribeBasicSupport(PPCPROPERTY_REQUEST request, ULONG accessFlags, ULONG valueType) {
  if (request == nullptr) return STATUS_INVALID_PARAMETER;
  const KSPROPERTY_DESCRIPTION description{accessFlags, sizeof(KSPROPERTY_DESCRIPTION), PropertyType(valueType), 0, 0};
  return WriteBasicSupport(*request, &description, sizeof description, description);
}

NTSTATUS WriteBasicSupport(PCPROPERTY_REQUEST& request, const void* support, ULONG size,
                           const KSPROPERTY_DESCRIPTION& description) {
  const ULONG room = ValueRoom(request);
  if (room >= size) {
    RtlCopyMemory(request.Value, support, size);
    request.ValueSize = size;
  } else if (room >= sizeof description) {
    WriteValue(request, description);
  } else if (room >= sizeof(ULONG)) {
    WriteValue(request, description.AccessFlags);
  } else {
    request.ValueSize = 0;
    return STATUS_BUFFER_TOO_SMALL;
  }
  return STATUS_SUCCESS;
}
