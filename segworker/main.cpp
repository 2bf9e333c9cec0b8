#include "engine_context.h"
#include "worker_main.h"

namespace {

namespace openvino = mivra::foreground_detection::openvino;

struct OpenvinoBackend {
  using Engine = openvino::Engine;
  using Context = openvino::EngineContext;
  static std::unique_ptr<Engine> createEngine(int deviceIndex) { return openvino::createEngine(deviceIndex); }
  static std::shared_ptr<Context> createContext(Engine& engine) { return openvino::createContext(engine); }
};

}  // namespace

int main(int argc, char** argv) {
  return mivra::foreground_detection::workerMain<OpenvinoBackend>(argc, argv);
}
