// The module without the registry: its exports, version resource, class objects, class
// factory rules and unload counts.
#include <gtest/gtest.h>
#include <objbase.h>
#include <ocidl.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <set>
#include <string>

#include "com_thread.h"
#include "pixora_renderer.h"
#include "renderer_module.h"

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComThread);

std::set<std::string> ExportNames(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* directory =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
  std::set<std::string> result;
  for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
    result.insert(reinterpret_cast<const char*>(base + names[i]));
  }
  EXPECT_EQ(directory->NumberOfFunctions, directory->NumberOfNames) << "unnamed exports";
  return result;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
    return L"";
  }
  return value;
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module_.Loaded()); }
  RendererModule module_;
};

TEST_F(ModuleTest, ExportsTheFiveEntryPointsAndNothingElse) {
  EXPECT_EQ(ExportNames(module_.Handle()),
            (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllMain",
                                   "DllRegisterServer", "DllUnregisterServer"}));
}

TEST_F(ModuleTest, DescribesItselfInItsVersionResource) {
  const std::wstring path = RendererModulePath();
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
  EXPECT_EQ(VersionString(info, L"FileDescription"), L"Pixora SDK Renderer Filter");
  EXPECT_EQ(VersionString(info, L"ProductName"), L"Pixora SDK");
  EXPECT_EQ(VersionString(info, L"FileVersion"), L"4.0.0.1");
  EXPECT_EQ(VersionString(info, L"ProductVersion"), L"4.0.0.1");
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00040000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00040000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
}

TEST_F(ModuleTest, ClassObjectsOnlyForTheTableAndTheFactoryInterfaces) {
  // {00000000-1111-2222-3333-444444444444}
  const CLSID unknown = {0, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}};
  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT expected;
  };
  const Case cases[] = {
      {&CLSID_PixoraRenderer, &IID_IClassFactory, S_OK},
      {&CLSID_PixoraRenderer, &IID_IUnknown, S_OK},
      {&CLSID_PixoraRendererPropertyPage, &IID_IClassFactory, S_OK},
      {&unknown, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
      {&CLSID_PixoraRenderer, &IID_IDispatch, E_NOINTERFACE},
      {&unknown, &IID_IDispatch, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    ComPtr<IUnknown> object;
    EXPECT_EQ(module_.GetClassObject(*c.clsid, *c.iid, &object), c.expected);
    EXPECT_EQ(object != nullptr, c.expected == S_OK);
  }
  EXPECT_EQ(module_.GetClassObject(CLSID_PixoraRenderer, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ModuleTest, FactoryMakesTheFilterAndThePage) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module_.GetClassObject(CLSID_PixoraRenderer, IID_PPV_ARGS(&factory)), S_OK);
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)), S_OK);
  CLSID clsid = {};
  EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_PixoraRenderer);
  ComPtr<IDispatch> none;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&none)), E_NOINTERFACE);

  ComPtr<IClassFactory> pages;
  ASSERT_EQ(module_.GetClassObject(CLSID_PixoraRendererPropertyPage, IID_PPV_ARGS(&pages)), S_OK);
  ComPtr<IPropertyPage> page;
  ASSERT_EQ(pages->CreateInstance(nullptr, IID_PPV_ARGS(&page)), S_OK);
  // Its title and size come from the module's own resources.
  PROPPAGEINFO info = {};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_STREQ(info.pszTitle, L"Properties");
  EXPECT_GT(info.size.cx, 272);
  EXPECT_GT(info.size.cy, 141);
  CoTaskMemFree(info.pszTitle);
}

// An outer object that counts the references its inner filter passes to it.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner_ ? inner_->QueryInterface(riid, object) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }

  std::atomic<ULONG> references{1};
  ComPtr<IUnknown> inner_;
};

TEST_F(ModuleTest, AggregationOnlyThroughTheInnerUnknown) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module_.GetClassObject(CLSID_PixoraRenderer, IID_PPV_ARGS(&factory)), S_OK);
  Outer outer;
  ComPtr<IBaseFilter> refused;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_PPV_ARGS(&refused)), E_NOINTERFACE);
  EXPECT_EQ(refused, nullptr);

  ASSERT_EQ(factory->CreateInstance(&outer, IID_PPV_ARGS(&outer.inner_)), S_OK);
  EXPECT_EQ(outer.references, 1u);
  {
    // Interfaces of the inner object count on the outer one and lead back to it.
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(outer.QueryInterface(IID_PPV_ARGS(&filter)), S_OK);
    EXPECT_EQ(outer.references, 2u);
    ComPtr<IUnknown> identity;
    ASSERT_EQ(filter->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
    ComPtr<ISpecifyPropertyPages> pages;
    EXPECT_EQ(filter.As(&pages), S_OK);
  }
  EXPECT_EQ(outer.references, 1u);
  outer.inner_.Reset();
}

TEST_F(ModuleTest, CannotUnloadWhileAnObjectOrALockLives) {
  ASSERT_EQ(module_.CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module_.GetClassObject(CLSID_PixoraRenderer, IID_PPV_ARGS(&factory)), S_OK);
  EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);  // the factory itself counts
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter)), S_OK);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
  {
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    filter.Reset();  // the enumerator keeps the filter and its pin alive
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
  }
  // Only the server lock is left.
  EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
  ASSERT_EQ(module_.GetClassObject(CLSID_PixoraRenderer, IID_PPV_ARGS(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(module_.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pixora::test
