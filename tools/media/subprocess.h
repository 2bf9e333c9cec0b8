#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vextra::media {

// A child program with one end of a pipe: its standard output to read, or its standard
// input to write. The other standard streams are inherited.
class Subprocess {
 public:
  enum class Pipe { fromChild, toChild };

  Subprocess(const std::vector<std::string>& argv, Pipe pipe);
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;
  ~Subprocess();

  // Reads exactly bytes.size() bytes; false at the end of the child's output.
  bool readExactly(std::span<uint8_t> bytes);
  // Reads what is there, at most bytes.size(); 0 at the end.
  size_t readSome(std::span<uint8_t> bytes);
  // Throws when the child stopped reading.
  void writeAll(std::span<const uint8_t> bytes);
  // Closes the pipe and returns the child's exit status (-1 when killed by a signal).
  int finish();

 private:
  int fd_ = -1;
  int pid_ = -1;
};

// Runs a program to its end and returns its standard output; throws when it fails.
std::string captureOutput(const std::vector<std::string>& argv);

}  // namespace vextra::media
