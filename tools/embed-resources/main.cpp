#include <array>
#include <fstream>
#include <iostream>
#include <iterator>

#include "aes_cbc.h"
#include "network_key.h"
#include "resource_source.h"

namespace {

std::vector<uint8_t> readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(std::string("cannot open ") + path);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

// embed-resources [--foreign-key] GRAPH.xml WEIGHTS.bin OUT.cpp
// --foreign-key enciphers under a key the worker does not hold, for tests of its refusal.
int main(int argc, char** argv) {
    const bool foreign = argc == 5 && std::string(argv[1]) == "--foreign-key";
    if (argc != 4 && !foreign) {
        std::cerr << "usage: embed-resources [--foreign-key] GRAPH.xml WEIGHTS.bin OUT.cpp\n";
        return 2;
    }
    if (foreign)
        ++argv;
    try {
        using namespace vextra::embed;
        using mivra::foreground_detection::openvino::kNetworkIv;
        using mivra::foreground_detection::openvino::kNetworkKey;
        std::array<uint8_t, 32> key = kNetworkKey;
        if (foreign)
            for (uint8_t& b : key)
                b ^= 0x5a;
        const std::vector<NamedBytes> files = {
            {"inference_engine/graph", encipher(readAll(argv[1]), key, kNetworkIv)},
            {"inference_engine/weights", encipher(readAll(argv[2]), key, kNetworkIv)},
        };
        const std::string source = resourceSource(files);
        std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
        out << source;
        if (!out.flush())
            throw std::runtime_error(std::string("cannot write ") + argv[3]);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "embed-resources: " << e.what() << '\n';
        return 1;
    }
}
