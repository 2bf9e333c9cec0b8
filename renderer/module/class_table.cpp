#include "class_table.h"

#include "filter_setup.h"
#include "pixora_renderer_filter.h"
#include "property_page.h"

namespace pixora {
namespace {

const dshow::ClassTemplate kClasses[] = {
    {kPixoraRendererName, &CLSID_PixoraRenderer, &PixoraRenderer::CreateInstance,
     &kPixoraRendererSetup},
    {L"Property Pages", &CLSID_PixoraRendererPropertyPage, &CRenderPropertyPage::CreateInstance,
     nullptr},
};

}  // namespace

std::span<const dshow::ClassTemplate> ClassTable() { return kClasses; }

}  // namespace pixora
