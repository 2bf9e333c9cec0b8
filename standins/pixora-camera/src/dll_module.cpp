#include "dll_module.h"

#include <atomic>

namespace pixora {
namespace {

std::atomic<long> g_references{0};
HMODULE g_module = nullptr;

}  // namespace

void ModuleAddRef() { ++g_references; }
void ModuleRelease() { --g_references; }
bool ModuleCanUnload() { return g_references.load() == 0; }

void SetModuleInstance(HMODULE module) { g_module = module; }
HMODULE ModuleInstance() { return g_module; }

}  // namespace pixora
