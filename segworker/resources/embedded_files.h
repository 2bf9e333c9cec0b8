#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mivra::foreground_detection::openvino {

// One file of the program's embedded resources: its full path and its enciphered bytes.
struct EmbeddedFile {
  const char* path;
  const uint8_t* begin;
  const uint8_t* end;
};

// Defined by the source that segworker_embed_network generates (tools/embed-resources):
// "inference_engine/graph" and "inference_engine/weights", AES-256-CBC under kNetworkKey
// and kNetworkIv.
std::span<const EmbeddedFile> embeddedFiles();

}  // namespace mivra::foreground_detection::openvino
