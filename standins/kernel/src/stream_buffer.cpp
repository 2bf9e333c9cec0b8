#include "kernel_standin/stream_buffer.h"

#include <algorithm>
#include <cstring>

namespace kstandin {

StreamBuffer::StreamBuffer(size_t capacity) : ring_(capacity) {}

void StreamBuffer::PutLocked(const unsigned char* data, size_t count) {
  const size_t tail = (head_ + size_) % ring_.size();
  const size_t first = std::min(count, ring_.size() - tail);
  std::memcpy(ring_.data() + tail, data, first);
  std::memcpy(ring_.data(), data + first, count - first);
  size_ += count;
}

void StreamBuffer::GetLocked(unsigned char* data, size_t count) {
  const size_t first = std::min(count, ring_.size() - head_);
  std::memcpy(data, ring_.data() + head_, first);
  std::memcpy(data + first, ring_.data(), count - first);
  head_ = (head_ + count) % ring_.size();
  size_ -= count;
}

size_t StreamBuffer::Write(const void* data, size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(lock_);
  changed_.wait_for(lock, timeout, [&] { return size_ < ring_.size(); });
  const size_t put = std::min(count, ring_.size() - size_);
  PutLocked(static_cast<const unsigned char*>(data), put);
  return put;
}

size_t StreamBuffer::Read(void* data, size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(lock_);
  changed_.wait_for(lock, timeout, [&] { return size_ > 0; });
  const size_t got = std::min(count, size_);
  GetLocked(static_cast<unsigned char*>(data), got);
  return got;
}

ULONG StreamBuffer::Render(void* data, ULONG count) {
  ULONG got;
  {
    std::lock_guard guard(lock_);
    got = static_cast<ULONG>(std::min<size_t>(count, size_));
    GetLocked(static_cast<unsigned char*>(data), got);
    served_ += got;
    starved_ += count - got;
  }
  changed_.notify_all();
  return got;
}

void StreamBuffer::Capture(const void* data, ULONG count) {
  {
    std::lock_guard guard(lock_);
    const size_t put = std::min<size_t>(count, ring_.size() - size_);
    PutLocked(static_cast<const unsigned char*>(data), put);
    served_ += count;
    overflowed_ += count - put;
  }
  changed_.notify_all();
}

size_t StreamBuffer::Queued() const {
  std::lock_guard guard(lock_);
  return size_;
}

uint64_t StreamBuffer::Served() const {
  std::lock_guard guard(lock_);
  return served_;
}

uint64_t StreamBuffer::Starved() const {
  std::lock_guard guard(lock_);
  return starved_;
}

uint64_t StreamBuffer::Overflowed() const {
  std::lock_guard guard(lock_);
  return overflowed_;
}

}  // namespace kstandin
