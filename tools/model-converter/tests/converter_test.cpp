#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include <inference_engine.hpp>

#include "converter.h"
#include "tflite_builder.h"

namespace {

namespace ie = InferenceEngine;
using modeltest::TfliteBuilder;
using vextra::model::convert;
using vextra::model::TfliteModel;

// What the network does with the model's probability p and the previous mask m.
float blended(float p, float m) {
    const float c = (2 * p - 1) * (2 * p - 1);
    const float w = vextra::model::kNewWeightFloor + (1 - vextra::model::kNewWeightFloor) * c;
    return std::clamp(m + w * (p - m), 0.0f, 1.0f);
}

// Converts, loads on the CPU and runs one (1, H, W, 4) picture of bytes B, G, R, mask.
std::vector<float> run(const std::vector<uint8_t>& model, const std::vector<uint8_t>& picture) {
    const auto ir = convert(TfliteModel(model));
    ie::Core core;
    std::vector<uint8_t> weights = ir.weights;
    ie::CNNNetwork network = core.ReadNetwork(
        ir.xml, ie::make_shared_blob<uint8_t>(ie::TensorDesc(ie::Precision::U8, {weights.size()}, ie::Layout::ANY),
                                              weights.data(), weights.size()));
    const auto inputs = network.getInputsInfo();
    EXPECT_EQ(inputs.size(), 1u);
    inputs.begin()->second->setPrecision(ie::Precision::U8);
    ie::InferRequest request = core.LoadNetwork(network, "CPU").CreateInferRequest();
    auto in = ie::as<ie::MemoryBlob>(request.GetBlob(inputs.begin()->first));
    EXPECT_EQ(in->size(), picture.size());
    std::copy(picture.begin(), picture.end(), in->wmap().as<uint8_t*>());
    request.Infer();
    const auto outputs = network.getOutputsInfo();
    auto out = ie::as<ie::MemoryBlob>(request.GetBlob(outputs.begin()->first));
    const float* values = out->rmap().as<const float*>();
    return {values, values + out->size()};
}

TEST(HalfToFloat, WidensEveryKindOfValue) {
    struct Case {
        uint16_t half;
        float value;
    };
    const Case cases[] = {{0x3c00, 1.0f},     {0xc000, -2.0f},         {0x3555, 0.333251953125f},
                          {0x7bff, 65504.0f}, {0x0001, std::ldexp(1.0f, -24)}, {0x8200, -std::ldexp(1.0f, -15)},
                          {0x0000, 0.0f},     {0x7c00, INFINITY}};
    for (const Case& c : cases)
        EXPECT_EQ(vextra::model::halfToFloat(c.half), c.value) << std::hex << c.half;
    EXPECT_TRUE(std::isnan(vextra::model::halfToFloat(0x7e00)));
}

// Pixels of known colours (bytes B, G, R, previous mask) through a model that passes one of
// its R, G, B channels straight out: the output must be that colour's byte blended with the mask.
TEST(ConvertedNetwork, PacksBgrBytesAsRgbAndBlendsTheMask) {
    struct Pixel {
        uint8_t b, g, r, mask;
    };
    const Pixel pixels[] = {{255, 0, 0, 0},   {0, 255, 0, 0},     {0, 0, 255, 0},  {10, 200, 77, 0},
                            {255, 255, 255, 255}, {128, 64, 32, 255}, {30, 128, 250, 100}, {0, 0, 0, 200}};
    const int w = 4, h = 2;
    std::vector<uint8_t> picture;
    for (const Pixel& p : pixels)
        picture.insert(picture.end(), {p.b, p.g, p.r, p.mask});
    const char* names[] = {"R", "G", "B"};
    for (int channel = 0; channel < 3; ++channel) {
        SCOPED_TRACE(names[channel]);
        TfliteBuilder b;
        const int in = b.tensor({1, h, w, 3});
        std::vector<float> select(3, 0.0f);
        select[size_t(channel)] = 1.0f;
        const int out = b.tensor({1, h, w, 1});
        b.conv2d(in, b.dequantized({1, 1, 1, 3}, select), b.f32Constant({1}, {0.0f}), out, tflite::Padding::VALID, 1);
        const std::vector<float> result = run(b.finish(in, out), picture);
        ASSERT_EQ(result.size(), size_t(w * h));
        for (size_t k = 0; k < result.size(); ++k) {
            const Pixel& p = pixels[k];
            const uint8_t byte = channel == 0 ? p.r : channel == 1 ? p.g : p.b;
            EXPECT_NEAR(result[k], blended(byte / 255.0f, p.mask / 255.0f), 1e-6f) << "pixel " << k;
        }
    }
}

// Direct loops over NHWC tensors with the model file format's meaning of each operation.
struct Nhwc {
    int h, w, c;
    std::vector<float> v;
    float& at(int y, int x, int k) { return v[size_t((y * w + x) * c + k)]; }
    float get(int y, int x, int k) const { return v[size_t((y * w + x) * c + k)]; }
};

Nhwc make(int h, int w, int c) { return {h, w, c, std::vector<float>(size_t(h * w * c))}; }

// SAME pads put the odd pixel at the end; VALID pads nothing.
Nhwc conv(const Nhwc& in, const std::vector<float>& ohwi, int oc, int k, int stride, bool same, bool depthwise,
          const std::vector<float>& bias) {
    const int oh = same ? (in.h + stride - 1) / stride : (in.h - k) / stride + 1;
    const int ow = same ? (in.w + stride - 1) / stride : (in.w - k) / stride + 1;
    const int padY = same ? std::max((oh - 1) * stride + k - in.h, 0) / 2 : 0;
    const int padX = same ? std::max((ow - 1) * stride + k - in.w, 0) / 2 : 0;
    Nhwc out = make(oh, ow, oc);
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x)
            for (int o = 0; o < oc; ++o) {
                float sum = bias[size_t(o)];
                for (int ky = 0; ky < k; ++ky)
                    for (int kx = 0; kx < k; ++kx) {
                        const int iy = y * stride + ky - padY, ix = x * stride + kx - padX;
                        if (iy < 0 || ix < 0 || iy >= in.h || ix >= in.w)
                            continue;
                        if (depthwise)
                            sum += in.get(iy, ix, o) * ohwi[size_t((ky * k + kx) * oc + o)];
                        else
                            for (int i = 0; i < in.c; ++i)
                                sum += in.get(iy, ix, i) * ohwi[size_t(((o * k + ky) * k + kx) * in.c + i)];
                    }
                out.at(y, x, o) = sum;
            }
    return out;
}

Nhwc transposeConv(const Nhwc& in, const std::vector<float>& ohwi, int oc, int k, int stride,
                   const std::vector<float>& bias) {
    Nhwc out = make(in.h * stride, in.w * stride, oc);
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < out.w; ++x)
            for (int o = 0; o < oc; ++o)
                out.at(y, x, o) = bias[size_t(o)];
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x)
            for (int ky = 0; ky < k; ++ky)
                for (int kx = 0; kx < k; ++kx)
                    for (int o = 0; o < oc; ++o)
                        for (int i = 0; i < in.c; ++i)
                            out.at(y * stride + ky, x * stride + kx, o) +=
                                in.get(y, x, i) * ohwi[size_t(((o * k + ky) * k + kx) * in.c + i)];
    return out;
}

Nhwc resize(const Nhwc& in, int oh, int ow, bool alignCorners, bool halfPixel) {
    const auto source = [&](int o, int inSize, int outSize) {
        if (alignCorners)
            return outSize > 1 ? float(o) * float(inSize - 1) / float(outSize - 1) : 0.0f;
        const float scale = float(inSize) / float(outSize);
        return halfPixel ? (float(o) + 0.5f) * scale - 0.5f : float(o) * scale;
    };
    const auto taps = [](float s, int size, int& i0, int& i1, float& t) {
        const float f = std::floor(s);
        i0 = std::max(int(f), 0);
        i1 = std::min(int(std::ceil(s)), size - 1);
        t = s - f;
    };
    Nhwc out = make(oh, ow, in.c);
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            int y0, y1, x0, x1;
            float ty, tx;
            taps(source(y, in.h, oh), in.h, y0, y1, ty);
            taps(source(x, in.w, ow), in.w, x0, x1, tx);
            for (int k = 0; k < in.c; ++k) {
                const float top = in.get(y0, x0, k) + (in.get(y0, x1, k) - in.get(y0, x0, k)) * tx;
                const float bottom = in.get(y1, x0, k) + (in.get(y1, x1, k) - in.get(y1, x0, k)) * tx;
                out.at(y, x, k) = top + (bottom - top) * ty;
            }
        }
    return out;
}

std::vector<float> random(size_t n, std::mt19937& rng) {
    std::uniform_int_distribution<int> u(-64, 64);
    std::vector<float> v(n);
    for (float& x : v)
        x = float(u(rng)) / 64.0f;  // exact in f16
    return v;
}

// Each case builds the same chain twice: as a model file for the converter, and as loops here.
TEST(ConvertedNetwork, OperationsKeepTheirModelFileMeaning) {
    struct Case {
        const char* name;
        std::function<int(TfliteBuilder&, int in, std::mt19937&, Nhwc& x)> build;
    };
    const int h = 9, w = 12;
    const auto conv1 = [](TfliteBuilder& b, int in, std::mt19937& rng, Nhwc& x, int oc, int k, int stride, bool same,
                          int oh, int ow) {
        const auto wv = random(size_t(oc * k * k * x.c), rng), bias = random(size_t(oc), rng);
        const int out = b.tensor({1, oh, ow, oc});
        b.conv2d(in, b.dequantized({oc, k, k, x.c}, wv), b.dequantized({oc}, bias), out,
                 same ? tflite::Padding::SAME : tflite::Padding::VALID, stride);
        x = conv(x, wv, oc, k, stride, same, false, bias);
        return out;
    };
    const auto depthwise = [](TfliteBuilder& b, int in, std::mt19937& rng, Nhwc& x, int k, int stride, int oh, int ow) {
        const auto wv = random(size_t(k * k * x.c), rng), bias = random(size_t(x.c), rng);
        const int out = b.tensor({1, oh, ow, x.c});
        b.depthwise(in, b.dequantized({1, k, k, x.c}, wv), b.dequantized({x.c}, bias), out, tflite::Padding::SAME,
                    stride);
        x = conv(x, wv, x.c, k, stride, true, true, bias);
        return out;
    };
    const auto resizeTo = [](TfliteBuilder& b, int in, Nhwc& x, int oh, int ow, bool corners, bool half) {
        const int out = b.tensor({1, oh, ow, x.c});
        b.resizeBilinear(in, b.i32Constant({2}, {oh, ow}), out, corners, half);
        x = resize(x, oh, ow, corners, half);
        return out;
    };
    const Case cases[] = {
        {"3x3 SAME stride 2, then transposed convolution with bias",
         [&](TfliteBuilder& b, int in, std::mt19937& rng, Nhwc& x) {
             const int a = conv1(b, in, rng, x, 4, 3, 2, true, 5, 6);
             // 5x6 doubles to 10x12; corner-aligned resizing brings it back to 9x12.
             const auto wv = random(size_t(2 * 2 * 2 * 4), rng), bias = random(2, rng);
             const int t = b.tensor({1, 10, 12, 2});
             b.transposeConvBias(a, b.dequantized({2, 2, 2, 4}, wv), b.dequantized({2}, bias), t, 2);
             x = transposeConv(x, wv, 2, 2, 2, bias);
             const int r = resizeTo(b, t, x, h, w, true, false);
             return conv1(b, r, rng, x, 1, 1, 1, false, h, w);
         }},
        {"depthwise SAME stride 2, half-pixel resize back",
         [&](TfliteBuilder& b, int in, std::mt19937& rng, Nhwc& x) {
             const int d = depthwise(b, in, rng, x, 3, 2, 5, 6);
             const int r = resizeTo(b, d, x, h, w, false, true);
             return conv1(b, r, rng, x, 1, 1, 1, false, h, w);
         }},
        {"VALID 3x3, plain resize back",
         [&](TfliteBuilder& b, int in, std::mt19937& rng, Nhwc& x) {
             const int c = conv1(b, in, rng, x, 2, 3, 1, false, h - 2, w - 2);
             const int r = resizeTo(b, c, x, h, w, false, false);
             return conv1(b, r, rng, x, 1, 1, 1, false, h, w);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(3);
        std::vector<uint8_t> picture(size_t(h * w * 4));
        for (uint8_t& v : picture)
            v = uint8_t(rng());
        Nhwc x = make(h, w, 3);
        for (int y = 0; y < h; ++y)
            for (int xx = 0; xx < w; ++xx)
                for (int k = 0; k < 3; ++k)
                    x.at(y, xx, k) = picture[size_t((y * w + xx) * 4 + (2 - k))] / 255.0f;
        TfliteBuilder b;
        const int in = b.tensor({1, h, w, 3});
        const int last = c.build(b, in, rng, x);
        const int out = b.tensor({1, h, w, 1});
        b.unary(14, last, out);
        const std::vector<float> result = run(b.finish(in, out), picture);
        ASSERT_EQ(result.size(), size_t(h * w));
        size_t bad = 0;
        for (int k = 0; k < h * w; ++k) {
            const float p = 1.0f / (1.0f + std::exp(-x.v[size_t(k)]));
            const float expected = blended(p, picture[size_t(k * 4 + 3)] / 255.0f);
            if (!(std::fabs(result[size_t(k)] - expected) <= 1e-5f) && bad++ < 5)
                ADD_FAILURE() << "at " << k << ": " << result[size_t(k)] << " vs " << expected;
        }
    }
}

TEST(Converter, RefusesWhatItCannotConvert) {
    const auto refused = [](const std::vector<uint8_t>& bytes) {
        try {
            convert(TfliteModel(bytes));
        } catch (const std::runtime_error&) {
            return true;
        }
        return false;
    };
    EXPECT_TRUE(refused({1, 2, 3, 4, 5, 6, 7, 8}));
    {
        TfliteBuilder b;
        const int in = b.tensor({1, 4, 4, 3});
        const int out = b.tensor({1, 4, 4, 1});
        b.unary(22, in, out);  // RESHAPE is not among the operations the converter knows
        EXPECT_TRUE(refused(b.finish(in, out)));
    }
    {
        TfliteBuilder b;
        const int in = b.tensor({1, 4, 4, 3});
        const int out = b.tensor({1, 4, 4, 1});
        b.unary(14, in, out);  // three channels where the model's output has one
        EXPECT_TRUE(refused(b.finish(in, out)));
    }
    {
        TfliteBuilder b;
        const int in = b.tensor({1, 4, 4, 3});
        const int out = b.tensor({1, 4, 4, 1});
        // weights of two input channels for a three-channel input
        b.conv2d(in, b.dequantized({1, 1, 1, 2}, {1, 1}), b.f32Constant({1}, {0}), out, tflite::Padding::VALID, 1);
        EXPECT_TRUE(refused(b.finish(in, out)));
    }
}

}  // namespace
