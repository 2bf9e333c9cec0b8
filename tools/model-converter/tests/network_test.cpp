#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <random>

#include <inference_engine.hpp>

#include <ie_standin_reference.hpp>

#include "aes_cbc.h"
#include "embedded_files.h"
#include "media.h"
#include "network_key.h"

namespace {

namespace ie = InferenceEngine;
namespace worker = mivra::foreground_detection::openvino;
using Bytes = std::vector<uint8_t>;

constexpr size_t kH = 144, kW = 256;

Bytes deciphered(const std::string& path) {
    for (const auto& f : worker::embeddedFiles())
        if (f.path == path)
            return vextra::embed::decipher({f.begin, f.end}, worker::kNetworkKey, worker::kNetworkIv);
    throw std::runtime_error("no embedded file " + path);
}

Bytes readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The shipped network, read the way the worker reads it: deciphered, then handed over as text
// and an 8-bit weights blob that is freed right after.
struct Shipped {
    ie::Core core;
    ie::CNNNetwork network;

    Shipped() {
        const Bytes graph = deciphered("inference_engine/graph");
        Bytes weights = deciphered("inference_engine/weights");
        network = core.ReadNetwork(
            std::string(graph.begin(), graph.end()),
            ie::make_shared_blob<uint8_t>(ie::TensorDesc(ie::Precision::U8, {weights.size()}, ie::Layout::ANY),
                                          weights.data(), weights.size()));
        for (auto& [name, info] : network.getInputsInfo())
            info->setPrecision(ie::Precision::U8);
    }
};

// A sample photograph as the worker gets a camera frame: scaled to cover the network's size,
// byte 3 of each pixel free for the previous mask.
Bytes photo(const std::string& name) {
    return vextra::media::readPicture(std::string(VEXTRA_PICTURES_DIR) + "/" + name + ".png", int(kW), int(kH),
                                      vextra::media::Fit::cover);
}

void setPreviousMask(Bytes& frame, const float* mask) {
    for (size_t k = 0; k < kH * kW; ++k)
        frame[k * 4 + 3] = mask ? uint8_t(int(mask[k] * 255.0f)) : 0;  // as the worker feeds it back
}

// The mask that a request gives for a frame.
std::vector<float> maskOf(ie::InferRequest& request, const Shipped& s, const Bytes& frame) {
    const std::string in = s.network.getInputsInfo().begin()->first, out = s.network.getOutputsInfo().begin()->first;
    std::copy(frame.begin(), frame.end(), ie::as<ie::MemoryBlob>(request.GetBlob(in))->wmap().as<uint8_t*>());
    request.Infer();
    const float* mask = ie::as<ie::MemoryBlob>(request.GetBlob(out))->rmap().as<const float*>();
    return {mask, mask + kH * kW};
}

// A frame with smooth colour areas and a few hard edges, and a previous mask of its own.
Bytes picture(uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes p(kH * kW * 4);
    for (size_t y = 0; y < kH; ++y)
        for (size_t x = 0; x < kW; ++x) {
            uint8_t* px = &p[(y * kW + x) * 4];
            const bool inside = (x - 128.0) * (x - 128.0) / 3600 + (y - 80.0) * (y - 80.0) / 2500 < 1;
            px[0] = uint8_t(inside ? 60 + x / 8 : 200 - y);
            px[1] = uint8_t(inside ? 90 + y / 4 : 180);
            px[2] = uint8_t(inside ? 170 : 40 + x / 2);
            px[3] = uint8_t(rng());
        }
    return p;
}

TEST(ShippedNetwork, EmbeddedResourcesAreTheConvertedFiles) {
    EXPECT_EQ(deciphered("inference_engine/graph"), readAll(NETWORK_XML));
    EXPECT_EQ(deciphered("inference_engine/weights"), readAll(NETWORK_BIN));
}

TEST(ShippedNetwork, MeetsTheWorkersContract) {
    Shipped s;
    const auto inputs = s.network.getInputsInfo();
    const auto outputs = s.network.getOutputsInfo();
    ASSERT_EQ(inputs.size(), 1u);
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(inputs.begin()->second->getTensorDesc().getDims(), (ie::SizeVector{1, kH, kW, 4}));
    EXPECT_EQ(inputs.begin()->second->getTensorDesc().getPrecision(), ie::Precision::U8);
    EXPECT_EQ(outputs.begin()->second->getTensorDesc().getDims(), (ie::SizeVector{1, 1, kH, kW}));
    EXPECT_EQ(outputs.begin()->second->getTensorDesc().getPrecision(), ie::Precision::FP32);
}

// oneDNN and the reference executor agree within 1e-4 on every output value (probabilities,
// after some 60 layers of f32 sums taken in different orders), and every value lies in 0..1.
TEST(ShippedNetwork, OneDnnMatchesTheReferenceExecutor) {
    Shipped s;
    const auto inputs = s.network.getInputsInfo();
    const auto outputs = s.network.getOutputsInfo();
    ie::InferRequest request = s.core.LoadNetwork(s.network, "CPU").CreateInferRequest();
    ie::standin::ReferenceRun reference(s.network);
    for (const uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE(seed);
        const Bytes frame = picture(seed);
        std::copy(frame.begin(), frame.end(),
                  ie::as<ie::MemoryBlob>(request.GetBlob(inputs.begin()->first))->wmap().as<uint8_t*>());
        reference.input(0).assign(frame.begin(), frame.end());
        request.Infer();
        reference.run();
        const auto out = ie::as<ie::MemoryBlob>(request.GetBlob(outputs.begin()->first));
        const float* actual = out->rmap().as<const float*>();
        const std::vector<float>& expected = reference.output(0);
        ASSERT_EQ(expected.size(), kH * kW);
        size_t bad = 0;
        float worst = 0, low = 1, high = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            worst = std::max(worst, std::fabs(actual[i] - expected[i]));
            low = std::min(low, actual[i]);
            high = std::max(high, actual[i]);
            if (!(std::fabs(actual[i] - expected[i]) <= 1e-4f) && bad++ < 5)
                ADD_FAILURE() << "at " << i << ": " << actual[i] << " vs " << expected[i];
        }
        EXPECT_GE(low, 0.0f);
        EXPECT_LE(high, 1.0f);
        RecordProperty("worst_difference_" + std::to_string(seed), std::to_string(worst));
    }
}

// On photographs, first with an empty previous mask, then with the first mask fed back, the two
// executors agree within 5e-4, an eighth of one step of the 8-bit mask: the summation order
// differs through some sixty layers, and real pictures reach steeper parts of the sigmoid.
TEST(ShippedNetwork, OneDnnMatchesTheReferenceExecutorOnPhotographs) {
    Shipped s;
    ie::InferRequest request = s.core.LoadNetwork(s.network, "CPU").CreateInferRequest();
    ie::standin::ReferenceRun reference(s.network);
    for (const char* name : {"astronaut", "coffee", "grass"}) {
        Bytes frame = photo(name);
        setPreviousMask(frame, nullptr);
        std::vector<float> first;
        for (const char* previous : {"empty", "fed back"}) {
            SCOPED_TRACE(std::string(name) + ", previous mask " + previous);
            if (!first.empty())
                setPreviousMask(frame, first.data());
            const std::vector<float> actual = maskOf(request, s, frame);
            reference.input(0).assign(frame.begin(), frame.end());
            reference.run();
            const std::vector<float>& expected = reference.output(0);
            ASSERT_EQ(expected.size(), actual.size());
            float worst = 0;
            for (size_t i = 0; i < expected.size(); ++i)
                worst = std::max(worst, std::fabs(actual[i] - expected[i]));
            EXPECT_LE(worst, 5e-4f);
            if (first.empty())
                first = actual;
        }
    }
}

// The mask is the person, not the background: high over the astronaut in the middle columns,
// low over the flag and the wall in the upper corners; on textures without a person at most
// one pixel in twenty is above one half. Checked after three frames, the mask fed back.
TEST(ShippedNetwork, MasksThePersonAndNotTheBackground) {
    Shipped s;
    ie::InferRequest request = s.core.LoadNetwork(s.network, "CPU").CreateInferRequest();
    const auto settled = [&](const char* name) {
        Bytes frame = photo(name);
        setPreviousMask(frame, nullptr);
        std::vector<float> mask;
        for (int n = 0; n < 3; ++n) {
            mask = maskOf(request, s, frame);
            setPreviousMask(frame, mask.data());
        }
        return mask;
    };
    // Mean over columns [x0, x1) and rows [y0, y1).
    const auto mean = [](const std::vector<float>& m, size_t x0, size_t x1, size_t y0, size_t y1) {
        double sum = 0;
        for (size_t y = y0; y < y1; ++y)
            for (size_t x = x0; x < x1; ++x)
                sum += m[y * kW + x];
        return sum / double((x1 - x0) * (y1 - y0));
    };

    const std::vector<float> astronaut = settled("astronaut");
    EXPECT_GT(mean(astronaut, 96, 160, 0, kH), 0.7);
    EXPECT_LT(mean(astronaut, 0, 40, 0, kH / 2), 0.2);
    EXPECT_LT(mean(astronaut, 216, kW, 0, kH / 2), 0.2);
    for (const char* texture : {"grass", "gravel", "brick"}) {
        SCOPED_TRACE(texture);
        const std::vector<float> mask = settled(texture);
        EXPECT_LE(std::count_if(mask.begin(), mask.end(), [](float v) { return v > 0.5f; }), ptrdiff_t(mask.size() / 20));
    }
}

// Fed its own mask back the way the worker does (value x 255, truncated), a still frame
// settles: after a few frames no pixel moves by more than one step.
TEST(ShippedNetwork, StillSceneGivesASteadyMask) {
    Shipped s;
    const auto inputs = s.network.getInputsInfo();
    const auto outputs = s.network.getOutputsInfo();
    ie::InferRequest request = s.core.LoadNetwork(s.network, "CPU").CreateInferRequest();
    Bytes frame = picture(3);
    Bytes mask(kH * kW, 0), previous;
    int largestLastStep = 0;
    for (int n = 0; n < 12; ++n) {
        for (size_t k = 0; k < mask.size(); ++k)
            frame[k * 4 + 3] = mask[k];
        std::copy(frame.begin(), frame.end(),
                  ie::as<ie::MemoryBlob>(request.GetBlob(inputs.begin()->first))->wmap().as<uint8_t*>());
        request.Infer();
        const float* out = ie::as<ie::MemoryBlob>(request.GetBlob(outputs.begin()->first))->rmap().as<const float*>();
        previous = mask;
        for (size_t k = 0; k < mask.size(); ++k)
            mask[k] = uint8_t(int(out[k] * 255.0f));
        largestLastStep = 0;
        for (size_t k = 0; k < mask.size(); ++k)
            largestLastStep = std::max(largestLastStep, std::abs(int(mask[k]) - int(previous[k])));
    }
    EXPECT_LE(largestLastStep, 1);
}

}  // namespace
