#include "kernel_standin/pool.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "bugcheck.h"
#include "irql.h"
#include "scheduler.h"

namespace kstandin {
namespace {

// Fresh blocks are filled with this, so that reading memory the driver never wrote shows.
constexpr unsigned char kFreshFill = 0xA5;

struct Tracker {
  std::mutex lock;
  std::map<const void*, PoolBlock> blocks;
  uint64_t serial = 0;
  uint64_t failAt = 0;  // serial of the attempt to fail, 0 for none
  std::set<ULONG> failTags;
  uint64_t hookAt = 0;  // serial of the attempt to run the hook at, 0 for none
  std::function<void()> allocationHook;  // hooks are taken out and run without the lock: they allocate
  std::map<const void*, std::function<void()>> freeHooks;
};

Tracker& Pool() {
  static Tracker tracker;
  return tracker;
}

}  // namespace

std::string TagText(ULONG tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '.';
  }
  return text;
}

std::vector<PoolBlock> OutstandingBlocks(uint64_t sinceSerial) {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  std::vector<PoolBlock> blocks;
  for (const auto& [address, block] : pool.blocks)
    if (block.serial > sinceSerial) blocks.push_back(block);
  std::sort(blocks.begin(), blocks.end(), [](const PoolBlock& a, const PoolBlock& b) { return a.serial < b.serial; });
  return blocks;
}

std::string DescribeBlocks(const std::vector<PoolBlock>& blocks) {
  std::string text;
  for (const PoolBlock& block : blocks) {
    char line[128];
    std::snprintf(line, sizeof line, "pool block \"%s\" of %zu bytes at %p (allocation %llu)\n", TagText(block.tag).c_str(),
                  block.size, block.address, static_cast<unsigned long long>(block.serial));
    text += line;
  }
  return text;
}

bool IsLiveBlock(const void* address) {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  return pool.blocks.count(address) != 0;
}

uint64_t AllocationSerial() {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  return pool.serial;
}

void FailNthAllocation(uint64_t n) {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  pool.failAt = n == 0 ? 0 : pool.serial + n;
}

void FailAllocationsTagged(ULONG tag) {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  pool.failTags.insert(tag);
}

void ClearPoolFaults() {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  pool.failAt = 0;
  pool.failTags.clear();
  pool.hookAt = 0;
  pool.allocationHook = nullptr;
  pool.freeHooks.clear();
}

void OnNthAllocation(uint64_t n, std::function<void()> hook) {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  pool.hookAt = n == 0 ? 0 : pool.serial + n;
  pool.allocationHook = std::move(hook);
}

void OnFreeOf(const void* address, std::function<void()> hook) {
  Tracker& pool = Pool();
  std::lock_guard guard(pool.lock);
  pool.freeHooks[address] = std::move(hook);
}

}  // namespace kstandin

extern "C" {

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
  using namespace kstandin;
  RequireIrqlAtMost(PoolType == PagedPool ? APC_LEVEL : DISPATCH_LEVEL, "ExAllocatePoolWithTag");
  if (Tag == 0) BugCheck(BAD_POOL_CALLER, "ExAllocatePoolWithTag without a tag");
  Tracker& pool = Pool();
  std::unique_lock guard(pool.lock);
  const uint64_t serial = ++pool.serial;
  if (serial == pool.hookAt) {
    std::function<void()> hook = std::move(pool.allocationHook);
    pool.hookAt = 0;
    pool.allocationHook = nullptr;
    guard.unlock();
    if (hook) hook();
    guard.lock();
  }
  if (serial == pool.failAt) {
    pool.failAt = 0;
    return nullptr;
  }
  if (pool.failTags.count(Tag) != 0) return nullptr;
  void* block = std::malloc(NumberOfBytes == 0 ? 1 : NumberOfBytes);
  if (block == nullptr) return nullptr;
  std::memset(block, kFreshFill, NumberOfBytes);
  pool.blocks.emplace(block, PoolBlock{block, NumberOfBytes, Tag, PoolType, serial});
  return block;
}

void ExFreePoolWithTag(PVOID P, ULONG Tag) {
  using namespace kstandin;
  RequireIrqlAtMost(DISPATCH_LEVEL, "ExFreePoolWithTag");
  Tracker& pool = Pool();
  std::function<void()> hook;
  {
    std::lock_guard guard(pool.lock);
    const auto hooked = pool.freeHooks.find(P);
    if (hooked != pool.freeHooks.end()) {
      hook = std::move(hooked->second);
      pool.freeHooks.erase(hooked);
    }
  }
  if (hook) hook();
  size_t size = 0;
  {
    std::lock_guard guard(pool.lock);
    const auto found = pool.blocks.find(P);
    if (found == pool.blocks.end())
      BugCheck(BAD_POOL_CALLER, "ExFreePoolWithTag of a block that is not allocated", reinterpret_cast<ULONG_PTR>(P));
    if (found->second.tag != Tag)
      BugCheck(BAD_POOL_CALLER, "ExFreePoolWithTag with another tag than the allocation's", found->second.tag, Tag);
    size = found->second.size;
  }
  CheckNoActiveTimerOrDpc(P, size);
  {
    std::lock_guard guard(pool.lock);
    pool.blocks.erase(P);
  }
  std::free(P);
}

}  // extern "C"
