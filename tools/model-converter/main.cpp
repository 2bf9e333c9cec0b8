#include <fstream>
#include <iostream>

#include "converter.h"
#include "dump.h"

namespace {

void write(const std::filesystem::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), std::streamsize(size));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string_view first = argc > 1 ? argv[1] : "";
        if (argc == 3 && first == "--dump") {
            vextra::model::dump(vextra::model::TfliteModel(std::filesystem::path(argv[2])), std::cout);
            return 0;
        }
        if (argc != 4) {
            std::cerr << "usage: model-converter MODEL.tflite OUT.xml OUT.bin\n"
                         "       model-converter --dump MODEL.tflite\n";
            return 2;
        }
        const auto ir = vextra::model::convert(vextra::model::TfliteModel(std::filesystem::path(argv[1])));
        write(argv[2], ir.xml.data(), ir.xml.size());
        write(argv[3], ir.weights.data(), ir.weights.size());
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "model-converter: " << e.what() << '\n';
        return 1;
    }
}
