#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vextra::model {

using Dims = std::vector<int64_t>;

struct Port {
    size_t layer;
    size_t port;
    Dims dims;
};

// Builds an IR version 10 document and its weights. Input ports are numbered from 0 and
// output ports after them.
class IrWriter {
public:
    Port parameter(const std::string& name, const Dims& dims, const std::string& type);
    Port constant(const std::string& name, const Dims& dims, const std::vector<float>& values);
    Port constantI64(const std::string& name, const Dims& dims, const std::vector<int64_t>& values);
    Port op(const std::string& type, const std::string& name, const std::vector<Port>& inputs, const Dims& output,
            const std::map<std::string, std::string>& data = {}, const std::string& version = "opset1");
    void result(const Port& in, const std::string& name);

    std::string xml() const;
    const std::vector<uint8_t>& weights() const { return weights_; }

    static std::string join(const Dims& dims);

private:
    size_t layer(const std::string& type, const std::string& name, const std::map<std::string, std::string>& data,
                 const std::vector<Port>& inputs, const std::vector<Dims>& outputs, const std::string& version);
    Port rawConstant(const std::string& name, const Dims& dims, const std::string& type, const void* data,
                     size_t bytes);

    std::vector<std::string> layers_;
    std::vector<std::string> edges_;
    std::vector<uint8_t> weights_;
};

}  // namespace vextra::model
