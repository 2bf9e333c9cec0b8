#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include <inference_engine.hpp>

#include "aes_cbc.h"
#include "embedded_files.h"
#include "network_key.h"

namespace {

namespace worker = mivra::foreground_detection::openvino;
using Bytes = std::vector<uint8_t>;

Bytes readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Bytes deciphered(const char* path) {
    for (const auto& f : worker::embeddedFiles())
        if (std::string(f.path) == path)
            return vextra::embed::decipher({f.begin, f.end}, worker::kNetworkKey, worker::kNetworkIv);
    ADD_FAILURE() << "no embedded file " << path;
    return {};
}

TEST(EmbedResources, GivesBackTheFilesItWasGiven) {
    const auto files = worker::embeddedFiles();
    ASSERT_EQ(files.size(), 2u);
    for (const auto& f : files)
        EXPECT_EQ((f.end - f.begin) % 16, 0) << f.path;
    EXPECT_EQ(deciphered("inference_engine/graph"), readAll(FIXTURE_XML));
    EXPECT_EQ(deciphered("inference_engine/weights"), readAll(FIXTURE_BIN));
    EXPECT_NE(Bytes(files[0].begin, files[0].end), readAll(FIXTURE_XML));
}

TEST(EmbedResources, DecipheredNetworkRuns) {
    namespace ie = InferenceEngine;
    const Bytes graph = deciphered("inference_engine/graph");
    Bytes weights = deciphered("inference_engine/weights");
    ie::Core core;
    const ie::CNNNetwork network = core.ReadNetwork(
        std::string(graph.begin(), graph.end()),
        ie::make_shared_blob<uint8_t>(ie::TensorDesc(ie::Precision::U8, {weights.size()}, ie::Layout::ANY),
                                      weights.data(), weights.size()));
    weights.assign(weights.size(), 0);  // the network keeps its own copy
    ie::InferRequest request = core.LoadNetwork(network, "CPU").CreateInferRequest();
    auto in = ie::as<ie::MemoryBlob>(request.GetBlob("in"));
    const float values[] = {1.0f, -2.0f, 4.0f};
    std::copy(std::begin(values), std::end(values), in->wmap().as<float*>());
    request.Infer();
    const auto out = ie::as<ie::MemoryBlob>(request.GetBlob("scaled"));
    const float* result = out->rmap().as<const float*>();
    EXPECT_EQ(result[0], 2.5f);
    EXPECT_EQ(result[1], -5.0f);
    EXPECT_EQ(result[2], 10.0f);
}

}  // namespace
