#include "ir_writer.h"

namespace vextra::model {

namespace {

std::string portText(size_t id, const Dims& dims) {
    std::string text = "<port id=\"" + std::to_string(id) + "\">";
    for (const int64_t d : dims)
        text += "<dim>" + std::to_string(d) + "</dim>";
    return text + "</port>";
}

}  // namespace

std::string IrWriter::join(const Dims& dims) {
    std::string text;
    for (size_t i = 0; i < dims.size(); ++i) {
        if (i)
            text += ',';
        text += std::to_string(dims[i]);
    }
    return text;
}

size_t IrWriter::layer(const std::string& type, const std::string& name, const std::map<std::string, std::string>& data,
                       const std::vector<Port>& inputs, const std::vector<Dims>& outputs, const std::string& version) {
    const size_t id = layers_.size();
    std::string text = "<layer id=\"" + std::to_string(id) + "\" name=\"" + name + "\" type=\"" + type +
                       "\" version=\"" + version + "\">";
    if (!data.empty()) {
        text += "<data";
        for (const auto& [k, v] : data)
            text += " " + k + "=\"" + v + "\"";
        text += "/>";
    }
    size_t port = 0;
    if (!inputs.empty()) {
        text += "<input>";
        for (const Port& in : inputs) {
            text += portText(port, in.dims);
            edges_.push_back("<edge from-layer=\"" + std::to_string(in.layer) + "\" from-port=\"" +
                             std::to_string(in.port) + "\" to-layer=\"" + std::to_string(id) + "\" to-port=\"" +
                             std::to_string(port) + "\"/>");
            ++port;
        }
        text += "</input>";
    }
    if (!outputs.empty()) {
        text += "<output>";
        for (const Dims& d : outputs)
            text += portText(port++, d);
        text += "</output>";
    }
    layers_.push_back(text + "</layer>\n");
    return id;
}

Port IrWriter::parameter(const std::string& name, const Dims& dims, const std::string& type) {
    const size_t id = layer("Parameter", name, {{"element_type", type}, {"shape", join(dims)}}, {}, {dims}, "opset1");
    return {id, 0, dims};
}

Port IrWriter::rawConstant(const std::string& name, const Dims& dims, const std::string& type, const void* data,
                           size_t bytes) {
    const size_t offset = weights_.size();
    const auto* p = static_cast<const uint8_t*>(data);
    weights_.insert(weights_.end(), p, p + bytes);
    const size_t id = layer("Const", name,
                            {{"element_type", type}, {"shape", join(dims)}, {"offset", std::to_string(offset)},
                             {"size", std::to_string(bytes)}},
                            {}, {dims}, "opset1");
    return {id, 0, dims};
}

Port IrWriter::constant(const std::string& name, const Dims& dims, const std::vector<float>& values) {
    return rawConstant(name, dims, "f32", values.data(), values.size() * sizeof(float));
}

Port IrWriter::constantI64(const std::string& name, const Dims& dims, const std::vector<int64_t>& values) {
    return rawConstant(name, dims, "i64", values.data(), values.size() * sizeof(int64_t));
}

Port IrWriter::op(const std::string& type, const std::string& name, const std::vector<Port>& inputs,
                  const Dims& output, const std::map<std::string, std::string>& data, const std::string& version) {
    const size_t id = layer(type, name, data, inputs, {output}, version);
    return {id, inputs.size(), output};
}

void IrWriter::result(const Port& in, const std::string& name) { layer("Result", name, {}, {in}, {}, "opset1"); }

std::string IrWriter::xml() const {
    std::string text = "<?xml version=\"1.0\"?>\n<net name=\"selfie_segmentation\" version=\"10\">\n<layers>\n";
    for (const std::string& l : layers_)
        text += l;
    text += "</layers>\n<edges>\n";
    for (const std::string& e : edges_)
        text += e + "\n";
    return text + "</edges>\n</net>\n";
}

}  // namespace vextra::model
