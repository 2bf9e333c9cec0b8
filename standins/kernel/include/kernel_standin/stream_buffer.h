#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "kernel_standin/wave_cyclic_port.h"

// An application's end of a stream, as the buffers it queues on a pin: a bounded byte queue
// between one application thread and the port's service. A render stream's service takes
// what the application wrote; a capture stream's service puts what was recorded for the
// application to read. The application side waits; the service side never does. Thread-safe.
namespace kstandin {

class StreamBuffer final : public StreamClient {
 public:
  explicit StreamBuffer(size_t capacity);

  // Application side. Write queues up to `count` bytes, waiting up to `timeout` for room, and
  // returns how many it queued; Read takes up to `count` bytes, waiting up to `timeout` for
  // the first, and returns how many it took.
  size_t Write(const void* data, size_t count, std::chrono::milliseconds timeout);
  size_t Read(void* data, size_t count, std::chrono::milliseconds timeout);

  // Service side (StreamClient).
  ULONG Render(void* data, ULONG count) override;
  void Capture(const void* data, ULONG count) override;

  size_t Queued() const;
  // Bytes the service moved, bytes a render service asked for and did not get, and bytes a
  // capture service brought when the queue was full (dropped, newest first).
  uint64_t Served() const;
  uint64_t Starved() const;
  uint64_t Overflowed() const;

 private:
  void PutLocked(const unsigned char* data, size_t count);
  void GetLocked(unsigned char* data, size_t count);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  std::vector<unsigned char> ring_;
  size_t head_ = 0;  // oldest byte
  size_t size_ = 0;
  uint64_t served_ = 0;
  uint64_t starved_ = 0;
  uint64_t overflowed_ = 0;
};

}  // namespace kstandin
