#pragma once

#include "kernel_surface.h"

// The non-delegating unknown of every object of the driver: an atomic reference count and the
// owner's own interface lookup. Any IRQL.
template <typename Owner>
class NonDelegatingUnknown final : public IUnknown {
 public:
  explicit NonDelegatingUnknown(Owner* owner) : owner_(owner) {}

  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override {
    return owner_->NonDelegatingQueryInterface(iid, object);
  }
  ULONG AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) Owner::Destroy(owner_);
    return static_cast<ULONG>(left);
  }

 private:
  Owner* const owner_;
  LONG volatile references_ = 0;
};

// An object of the driver implementing `Interfaces`: each interface's IUnknown methods go to
// the outer unknown, which is the object's own non-delegating unknown unless it was created
// aggregated. Any IRQL.
template <typename Owner, typename... Interfaces>
class UnknownObject : public Interfaces... {
 public:
  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override { return outer_->QueryInterface(iid, object); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

 protected:
  UnknownObject(Owner* owner, PUNKNOWN outer) : unknown_(owner), outer_(outer != nullptr ? outer : &unknown_) {}
  ~UnknownObject() = default;

  NonDelegatingUnknown<Owner> unknown_;
  PUNKNOWN const outer_;
};

// What a create routine hands out: the non-delegating unknown to an aggregating outer
// object, the object's primary interface to everyone else.
inline PUNKNOWN CreatedUnknown(PUNKNOWN outer, PUNKNOWN inner, PUNKNOWN primary) {
  return outer != nullptr ? inner : primary;
}
