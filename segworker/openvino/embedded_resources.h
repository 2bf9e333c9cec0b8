#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

namespace mivra::foreground_detection::openvino {

// The enciphered network files stored in the program image, by full path. Directories are
// entries too, and cannot be opened.
class EmbeddedResources {
 public:
  // Built on first use.
  static const EmbeddedResources& instance();

  // Throws std::system_error (no such file or directory, with the path as its text) for a
  // path that is not a file here.
  std::span<const uint8_t> open(std::string_view path) const;

  // Leading and trailing '/' removed, each "//" collapsed to "/".
  static std::string normalise(std::string_view path);

 private:
  EmbeddedResources();
  struct Entry {
    bool directory = false;
    std::span<const uint8_t> bytes;
  };
  std::map<std::string, Entry, std::less<>> index_;
};

}  // namespace mivra::foreground_detection::openvino
