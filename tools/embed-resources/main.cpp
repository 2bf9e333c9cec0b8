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

// embed-resources GRAPH.xml WEIGHTS.bin OUT.cpp
int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: embed-resources GRAPH.xml WEIGHTS.bin OUT.cpp\n";
        return 2;
    }
    try {
        using namespace vextra::embed;
        const std::vector<NamedBytes> files = {
            {"inference_engine/graph", encipher(readAll(argv[1]), kNetworkKey, kNetworkIv)},
            {"inference_engine/weights", encipher(readAll(argv[2]), kNetworkKey, kNetworkIv)},
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
