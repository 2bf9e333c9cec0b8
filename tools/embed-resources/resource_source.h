#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vextra::embed {

struct NamedBytes {
    std::string path;
    std::vector<uint8_t> bytes;
};

// C++ source that defines embeddedFiles() over the given files, in the given order.
std::string resourceSource(const std::vector<NamedBytes>& files);

}  // namespace vextra::embed
