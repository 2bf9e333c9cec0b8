#pragma once

#include <mutex>
#include <vector>

#include "kernel_surface.h"

// PcNewServiceGroup's object: RequestService calls every member's RequestService, in the
// caller's context (a DPC, at DISPATCH_LEVEL, when the port's Notify brings it). Members
// change at PASSIVE_LEVEL; a member removed while a service runs may still see that service.
namespace kstandin {

class ServiceGroup final : public IServiceGroup {
 public:
  static NTSTATUS Create(PSERVICEGROUP* group);

  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  void RequestService() override;
  NTSTATUS AddMember(PSERVICESINK ServiceSink) override;
  void RemoveMember(PSERVICESINK ServiceSink) override;
  void SupportDelayedService() override;
  void RequestDelayedService(ULONGLONG ullDelay) override;
  void CancelDelayedService() override;

 private:
  template <typename T, typename... Args>
  friend T* NewInPool(ULONG tag, Args&&... args);
  template <typename T>
  friend void DeleteInPool(T* object, ULONG tag);
  ServiceGroup() = default;
  ~ServiceGroup();
  static void DelayedServiceDpc(PKDPC dpc, PVOID context, PVOID, PVOID);

  LONG volatile references_ = 1;
  std::mutex lock_;
  std::vector<PSERVICESINK> members_;  // each referenced
  bool delayedService_ = false;
  KTIMER timer_;
  KDPC dpc_;
};

}  // namespace kstandin
