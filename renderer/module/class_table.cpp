#include "class_table.h"

#include "filter_setup.h"
#include "pixora_renderer_filter.h"

namespace pixora {
namespace {

// The property page arrives with its own issue; until then it cannot be made.
dshow::INonDelegatingUnknown* CreateRenderPropertyPage(IUnknown*, HRESULT* result) {
  *result = E_NOTIMPL;
  return nullptr;
}

const dshow::ClassTemplate kClasses[] = {
    {kPixoraRendererName, &CLSID_PixoraRenderer, &PixoraRenderer::CreateInstance,
     &kPixoraRendererSetup},
    {L"Property Pages", &CLSID_PixoraRendererPropertyPage, &CreateRenderPropertyPage, nullptr},
};

}  // namespace

std::span<const dshow::ClassTemplate> ClassTable() { return kClasses; }

}  // namespace pixora
