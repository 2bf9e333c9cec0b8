#include "service_group.h"

#include <algorithm>

#include "irql.h"
#include "pool_object.h"

namespace kstandin {

NTSTATUS ServiceGroup::Create(PSERVICEGROUP* group) {
  ServiceGroup* created = NewInPool<ServiceGroup>(kServiceGroupTag);
  if (created == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  *group = created;
  return STATUS_SUCCESS;
}

ServiceGroup::~ServiceGroup() {
  if (delayedService_) {
    KeCancelTimer(&timer_);
    KeRemoveQueueDpc(&dpc_);
  }
  for (PSERVICESINK member : members_) member->Release();
}

NTSTATUS ServiceGroup::QueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IServiceSink) || IsEqualGUID(iid, IID_IServiceGroup)) {
    *object = static_cast<IServiceGroup*>(this);
    AddRef();
    return STATUS_SUCCESS;
  }
  *object = nullptr;
  return STATUS_INVALID_PARAMETER;
}

ULONG ServiceGroup::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG ServiceGroup::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) DeleteInPool(this, kServiceGroupTag);
  return static_cast<ULONG>(left);
}

void ServiceGroup::RequestService() {
  RequireIrqlAtMost(DISPATCH_LEVEL, "IServiceGroup::RequestService");
  std::vector<PSERVICESINK> members;
  {
    std::lock_guard guard(lock_);
    members = members_;
    for (PSERVICESINK member : members) member->AddRef();
  }
  for (PSERVICESINK member : members) {
    member->RequestService();
    member->Release();
  }
}

NTSTATUS ServiceGroup::AddMember(PSERVICESINK ServiceSink) {
  if (ServiceSink == nullptr) return STATUS_INVALID_PARAMETER;
  std::lock_guard guard(lock_);
  ServiceSink->AddRef();
  members_.push_back(ServiceSink);
  return STATUS_SUCCESS;
}

void ServiceGroup::RemoveMember(PSERVICESINK ServiceSink) {
  {
    std::lock_guard guard(lock_);
    const auto found = std::find(members_.begin(), members_.end(), ServiceSink);
    if (found == members_.end()) return;
    members_.erase(found);
  }
  ServiceSink->Release();
}

void ServiceGroup::SupportDelayedService() {
  std::lock_guard guard(lock_);
  if (delayedService_) return;
  KeInitializeTimerEx(&timer_, NotificationTimer);
  KeInitializeDpc(&dpc_, DelayedServiceDpc, this);
  delayedService_ = true;
}

void ServiceGroup::RequestDelayedService(ULONGLONG ullDelay) {
  if (!delayedService_) return;
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(ullDelay);
  KeSetTimerEx(&timer_, due, 0, &dpc_);
}

void ServiceGroup::CancelDelayedService() {
  if (delayedService_) KeCancelTimer(&timer_);
}

void ServiceGroup::DelayedServiceDpc(PKDPC, PVOID context, PVOID, PVOID) {
  static_cast<ServiceGroup*>(context)->RequestService();
}

}  // namespace kstandin
