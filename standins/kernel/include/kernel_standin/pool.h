#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kernel_surface.h"

// The tagged pool behind ExAllocatePoolWithTag, seen from a test: what is still allocated,
// and which allocation is to fail. Thread-safe.
namespace kstandin {

struct PoolBlock {
  const void* address;
  size_t size;
  ULONG tag;
  POOL_TYPE type;
  uint64_t serial;  // the allocation's place among all attempts of the process, from 1
};

// "PcCr" for the tag of those four characters.
std::string TagText(ULONG tag);

// Blocks still allocated whose serial is above sinceSerial, oldest first.
std::vector<PoolBlock> OutstandingBlocks(uint64_t sinceSerial = 0);
std::string DescribeBlocks(const std::vector<PoolBlock>& blocks);
bool IsLiveBlock(const void* address);

// Serial of the last allocation attempted, failed ones included.
uint64_t AllocationSerial();

// The nth allocation attempt from now fails (1: the next one), once.
void FailNthAllocation(uint64_t n);
// Every allocation with this tag fails until ClearPoolFaults.
void FailAllocationsTagged(ULONG tag);
void ClearPoolFaults();

// Runs `hook` once on the allocating thread at the nth allocation attempt from now (1: the
// next), before the block is made: another caller's work, put exactly in between two steps of
// the code under test.
void OnNthAllocation(uint64_t n, std::function<void()> hook);
// Runs `hook` once on the freeing thread when the block at `address` is freed, before it is.
void OnFreeOf(const void* address, std::function<void()> hook);

}  // namespace kstandin
