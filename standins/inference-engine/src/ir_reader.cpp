#include "ir_reader.h"

#include <charconv>
#include <cstring>
#include <queue>

#include <pugixml.hpp>

#include "element_types.h"
#include "errors.h"

namespace InferenceEngine::impl {

namespace {

const std::map<std::string, OpKind>& opTable() {
  static const std::map<std::string, OpKind> table = {
      {"Parameter", OpKind::Parameter},
      {"Const", OpKind::Const},
      {"Convert", OpKind::Convert},
      {"Convolution", OpKind::Convolution},
      {"GroupConvolution", OpKind::GroupConvolution},
      {"ConvolutionBackpropData", OpKind::ConvolutionBackpropData},
      {"Add", OpKind::Add},
      {"Multiply", OpKind::Multiply},
      {"Relu", OpKind::Relu},
      {"HSwish", OpKind::HSwish},
      {"Sigmoid", OpKind::Sigmoid},
      {"ReduceMean", OpKind::ReduceMean},
      {"Interpolate", OpKind::Interpolate},
      {"Clamp", OpKind::Clamp},
      {"Concat", OpKind::Concat},
      {"Split", OpKind::Split},
      {"Gather", OpKind::Gather},
      {"Result", OpKind::Result},
  };
  return table;
}

uint64_t parseUnsigned(const char* text, const std::string& what) {
  const char* end = text + std::strlen(text);
  uint64_t value = 0;
  const auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end || ptr == text)
    fail("invalid number '" + std::string(text) + "' for " + what);
  return value;
}

uint64_t requiredUnsigned(const pugi::xml_node& node, const char* attribute) {
  const pugi::xml_attribute a = node.attribute(attribute);
  if (!a) fail(std::string("missing attribute '") + attribute + "' in <" + node.name() + ">");
  return parseUnsigned(a.value(), attribute);
}

struct Port {
  uint64_t id;
  Shape dims;
};

std::vector<Port> readPorts(const pugi::xml_node& list) {
  std::vector<Port> ports;
  for (const pugi::xml_node port : list.children("port")) {
    Port p{requiredUnsigned(port, "id"), {}};
    for (const pugi::xml_node dim : port.children("dim"))
      p.dims.push_back(parseUnsigned(dim.child_value(), "dim"));
    ports.push_back(std::move(p));
  }
  return ports;
}

Shape parseShapeList(const std::string& text) {
  Shape shape;
  size_t start = 0;
  while (start < text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    std::string item = text.substr(start, comma - start);
    const size_t first = item.find_first_not_of(' ');
    const size_t last = item.find_last_not_of(' ');
    item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
    shape.push_back(parseUnsigned(item.c_str(), "shape"));
    start = comma + 1;
  }
  return shape;
}

std::vector<float> decodeConstant(const Node& node, std::span<const uint8_t> weights) {
  const auto get = [&](const char* key) -> const std::string& {
    const auto it = node.data.find(key);
    if (it == node.data.end()) fail("Const '" + node.name + "' has no '" + key + "'");
    return it->second;
  };
  const ElementType type = parseElementType(get("element_type"));
  const Shape shape = parseShapeList(get("shape"));
  const uint64_t offset = parseUnsigned(get("offset").c_str(), "offset");
  const uint64_t size = parseUnsigned(get("size").c_str(), "size");
  const size_t count = elementCount(shape);
  if (count > (uint64_t(1) << 40) || size != count * byteSize(type))
    fail("Const '" + node.name + "' size " + std::to_string(size) + " does not fit shape " +
         toString(shape));
  if (offset > weights.size() || size > weights.size() - offset)
    fail("Const '" + node.name + "' reads past the end of the weights", OUT_OF_BOUNDS);

  std::vector<float> values(count);
  const uint8_t* source = weights.data() + offset;
  switch (type) {
    case ElementType::f32: readAsFloat(Precision::FP32, source, count, values.data()); break;
    case ElementType::f16: readAsFloat(Precision::FP16, source, count, values.data()); break;
    case ElementType::i64: readAsFloat(Precision::I64, source, count, values.data()); break;
    case ElementType::i32: readAsFloat(Precision::I32, source, count, values.data()); break;
    case ElementType::u8: readAsFloat(Precision::U8, source, count, values.data()); break;
    case ElementType::i8: readAsFloat(Precision::I8, source, count, values.data()); break;
  }
  return values;
}

struct LayerPorts {
  std::map<uint64_t, size_t> inputs;   // port id -> input index
  std::map<uint64_t, size_t> outputs;  // port id -> output index
};

Node readLayer(const pugi::xml_node& layer, LayerPorts& ports) {
  Node node;
  node.name = layer.attribute("name").value();
  node.type = layer.attribute("type").value();
  node.version = layer.attribute("version").value();
  if (node.name.empty()) fail("layer without a name");
  const auto op = opTable().find(node.type);
  if (op == opTable().end())
    fail("unsupported operation '" + node.type + "' of layer '" + node.name + "'", NOT_IMPLEMENTED);
  node.kind = op->second;
  for (const pugi::xml_attribute a : layer.child("data").attributes())
    node.data[a.name()] = a.value();

  for (const Port& p : readPorts(layer.child("input"))) {
    if (!ports.inputs.emplace(p.id, node.declaredInputs.size()).second)
      fail("layer '" + node.name + "' repeats port " + std::to_string(p.id));
    node.declaredInputs.push_back(p.dims);
  }
  for (const Port& p : readPorts(layer.child("output"))) {
    if (ports.inputs.contains(p.id) ||
        !ports.outputs.emplace(p.id, node.declaredOutputs.size()).second)
      fail("layer '" + node.name + "' repeats port " + std::to_string(p.id));
    node.declaredOutputs.push_back(p.dims);
  }
  return node;
}

struct Edge {
  size_t fromNode, fromOutput, toNode, toInput;
};

std::vector<size_t> producerFirstOrder(const std::vector<Node>& nodes,
                                       const std::vector<Edge>& edges) {
  std::vector<std::vector<size_t>> consumers(nodes.size());
  std::vector<size_t> pending(nodes.size(), 0);
  for (const Edge& e : edges) {
    consumers[e.fromNode].push_back(e.toNode);
    ++pending[e.toNode];
  }
  std::queue<size_t> ready;
  for (size_t i = 0; i < nodes.size(); ++i)
    if (pending[i] == 0) ready.push(i);
  std::vector<size_t> order;
  while (!ready.empty()) {
    const size_t n = ready.front();
    ready.pop();
    order.push_back(n);
    for (const size_t c : consumers[n])
      if (--pending[c] == 0) ready.push(c);
  }
  if (order.size() != nodes.size()) fail("the network has a cycle");
  return order;
}

}  // namespace

Graph readIr(const std::string& xml, std::span<const uint8_t> weights) {
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(xml.data(), xml.size());
  if (!parsed)
    fail(std::string("malformed IR document: ") + parsed.description(), NETWORK_NOT_READ);
  const pugi::xml_node net = document.child("net");
  if (!net) fail("IR document has no <net>", NETWORK_NOT_READ);
  if (std::strcmp(net.attribute("version").value(), "10") != 0)
    fail("unsupported IR version '" + std::string(net.attribute("version").value()) + "'",
         NETWORK_NOT_READ);

  std::vector<Node> nodes;
  std::vector<LayerPorts> ports;
  std::map<uint64_t, size_t> byId;
  for (const pugi::xml_node layer : net.child("layers").children("layer")) {
    const uint64_t id = requiredUnsigned(layer, "id");
    if (!byId.emplace(id, nodes.size()).second) fail("duplicate layer id " + std::to_string(id));
    ports.emplace_back();
    nodes.push_back(readLayer(layer, ports.back()));
  }
  if (nodes.empty()) fail("the network has no layers", NETWORK_NOT_READ);

  std::vector<Edge> edges;
  std::vector<std::vector<bool>> connected(nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i)
    connected[i].assign(nodes[i].declaredInputs.size(), false);
  for (const pugi::xml_node e : net.child("edges").children("edge")) {
    const auto findPort = [&](const char* layerKey, const char* portKey, bool input) {
      const auto layer = byId.find(requiredUnsigned(e, layerKey));
      if (layer == byId.end()) fail("edge names a missing layer");
      const auto& map = input ? ports[layer->second].inputs : ports[layer->second].outputs;
      const auto port = map.find(requiredUnsigned(e, portKey));
      if (port == map.end())
        fail("edge names a missing port of layer '" + nodes[layer->second].name + "'");
      return std::pair{layer->second, port->second};
    };
    const auto [fromNode, fromOutput] = findPort("from-layer", "from-port", false);
    const auto [toNode, toInput] = findPort("to-layer", "to-port", true);
    if (connected[toNode][toInput])
      fail("input of layer '" + nodes[toNode].name + "' has two edges");
    connected[toNode][toInput] = true;
    edges.push_back({fromNode, fromOutput, toNode, toInput});
  }
  for (size_t i = 0; i < nodes.size(); ++i)
    for (const bool c : connected[i])
      if (!c) fail("input of layer '" + nodes[i].name + "' has no edge");

  for (size_t i = 0; i < nodes.size(); ++i) nodes[i].inputs.resize(nodes[i].declaredInputs.size());
  for (const Edge& e : edges) nodes[e.toNode].inputs[e.toInput] = {e.fromNode, e.fromOutput};

  const std::vector<size_t> order = producerFirstOrder(nodes, edges);
  std::vector<size_t> position(nodes.size());
  for (size_t i = 0; i < order.size(); ++i) position[order[i]] = i;

  Graph graph;
  graph.name = net.attribute("name").value();
  for (const size_t original : order) {
    Node node = std::move(nodes[original]);
    for (OutputRef& in : node.inputs) in.node = position[in.node];
    if (node.kind == OpKind::Const)
      node.constant = std::make_shared<const std::vector<float>>(decodeConstant(node, weights));
    graph.nodes.push_back(std::move(node));
  }
  // Parameters and results keep document order, which is the order of the layer ids as written.
  for (size_t original = 0; original < order.size(); ++original) {
    const Node& node = graph.nodes[position[original]];
    if (node.kind == OpKind::Parameter) graph.parameters.push_back(position[original]);
    if (node.kind == OpKind::Result) graph.results.push_back(position[original]);
  }
  return graph;
}

}  // namespace InferenceEngine::impl
