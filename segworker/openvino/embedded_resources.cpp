#include "embedded_resources.h"

#include <system_error>

#include "embedded_files.h"

namespace mivra::foreground_detection::openvino {

std::string EmbeddedResources::normalise(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (const char c : path)
    if (c != '/' || (!out.empty() && out.back() != '/')) out += c;
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

EmbeddedResources::EmbeddedResources() {
  for (const EmbeddedFile& file : embeddedFiles()) {
    const std::string path = normalise(file.path);
    index_[path] = Entry{false, {file.begin, file.end}};
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1))
      index_[path.substr(0, slash)].directory = true;
  }
}

const EmbeddedResources& EmbeddedResources::instance() {
  static const EmbeddedResources resources;
  return resources;
}

std::span<const uint8_t> EmbeddedResources::open(std::string_view path) const {
  const auto found = index_.find(normalise(path));
  if (found == index_.end() || found->second.directory)
    throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), std::string(path));
  return found->second.bytes;
}

}  // namespace mivra::foreground_detection::openvino
