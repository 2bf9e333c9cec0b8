// regsvr32 of the Wine prefix registers and unregisters the module; the registry and the
// filter mapper then hold what they should, and afterwards nothing of it. Runs in a fresh
// prefix of its own.
#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>
#include <strmif.h>
#include <uuids.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "com_holders.h"
#include "com_thread.h"
#include "pixora_renderer.h"
#include "renderer_module.h"

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComThread);

// Exit code of regsvr32 with these arguments; -1 when it could not be started.
int Regsvr32(const std::wstring& arguments) {
  std::wstring command = L"regsvr32.exe " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, 60'000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring ClassKey(REFCLSID clsid, const wchar_t* subkey = nullptr) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  std::wstring key = std::wstring(L"CLSID\\") + text;
  if (subkey != nullptr) key += std::wstring(L"\\") + subkey;
  return key;
}

// The string value, or "<absent>".
std::wstring RegistryString(const std::wstring& key, const wchar_t* name) {
  wchar_t value[1024];
  DWORD bytes = sizeof(value);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS) {
    return L"<absent>";
  }
  return value;
}

bool KeyExists(const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(opened);
  return true;
}

struct Listing {
  bool found = false;
  std::wstring friendlyName;
  std::vector<BYTE> filterData;
};

std::wstring ReadString(IPropertyBag* bag, const wchar_t* name) {
  Variant value;
  if (FAILED(bag->Read(name, value.get(), nullptr)) || value.String() == nullptr) return L"";
  return value.String();
}

// The filter's entry in the DirectShow filter category, as the system device enumerator
// lists it.
Listing FindInFilterCategory(REFCLSID filter) {
  Listing listing;
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> category;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&devices))) ||
      devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, &category, 0) != S_OK) {
    return listing;
  }
  wchar_t wanted[40];
  StringFromGUID2(filter, wanted, 40);
  ComPtr<IMoniker> moniker;
  while (category->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    if (_wcsicmp(ReadString(bag.Get(), L"CLSID").c_str(), wanted) != 0) continue;
    listing.found = true;
    listing.friendlyName = ReadString(bag.Get(), L"FriendlyName");
    Variant data;
    if (SUCCEEDED(bag->Read(L"FilterData", data.get(), nullptr)) &&
        data.get()->vt == (VT_ARRAY | VT_UI1)) {
      SafeArrayLock bytes(data.get()->parray);
      if (bytes.Data() != nullptr) {
        listing.filterData.assign(bytes.Data(),
                                  bytes.Data() + data.get()->parray->rgsabound[0].cElements);
      }
    }
  }
  return listing;
}

// What a version-2 filter record holds, read from the mapper's packed form: a header
// (version, merit, pins), per pin a tagged block (flags, instances, types, mediums,
// category offset) followed by its tagged type entries (major and minor type offsets).
struct PackedRecord {
  DWORD version = 0, merit = 0, pins = 0;
  DWORD pinFlags = 0, instances = 0, mediums = 0;
  std::vector<std::pair<GUID, GUID>> types;
};

PackedRecord Unpack(const std::vector<BYTE>& data) {
  auto dword = [&](size_t offset) {
    DWORD value = 0;
    if (offset + 4 <= data.size()) std::memcpy(&value, &data[offset], 4);
    return value;
  };
  auto guid = [&](size_t offset) {
    GUID value = GUID_NULL;
    if (offset + 16 <= data.size()) std::memcpy(&value, &data[offset], 16);
    return value;
  };
  PackedRecord record{dword(0), dword(4), dword(8)};
  if (record.pins == 0) return record;
  record.pinFlags = dword(20);
  record.instances = dword(24);
  const DWORD typeCount = dword(28);
  record.mediums = dword(32);
  for (DWORD t = 0; t < typeCount && t < 16; ++t) {
    const size_t entry = 40 + 16 * size_t{t};
    record.types.push_back({guid(dword(entry + 8)), guid(dword(entry + 12))});
  }
  return record;
}

// Whether the mapper offers the filter as a renderer of video of this subtype, at merit
// `merit` or above.
bool MapperOffers(REFGUID subtype, DWORD merit) {
  ComPtr<IFilterMapper2> mapper;
  if (FAILED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&mapper)))) {
    return false;
  }
  const GUID types[2] = {MEDIATYPE_Video, subtype};
  ComPtr<IEnumMoniker> found;
  if (FAILED(mapper->EnumMatchingFilters(&found, 0, FALSE, merit, TRUE, 1, types, nullptr, nullptr,
                                         TRUE, FALSE, 0, nullptr, nullptr, nullptr))) {
    return false;
  }
  wchar_t wanted[40];
  StringFromGUID2(CLSID_PixoraRenderer, wanted, 40);
  ComPtr<IMoniker> moniker;
  while (found->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    ComPtr<IPropertyBag> bag;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag))) &&
        _wcsicmp(ReadString(bag.Get(), L"CLSID").c_str(), wanted) == 0) {
      return true;
    }
  }
  return false;
}

const GUID* const kSubtypes[] = {&MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_RGB32, &MEDIASUBTYPE_YUY2,
                                 &MEDIASUBTYPE_NV12};

// What every record of the filter says: its name, the merit, one pin with no mediums and
// the four video types in order; the pin's flags are the record's own.
PackedRecord ExpectListed(const Listing& listing, DWORD pinFlags) {
  EXPECT_TRUE(listing.found);
  EXPECT_EQ(listing.friendlyName, L"Pixora Renderer");
  const PackedRecord record = Unpack(listing.filterData);
  EXPECT_EQ(record.merit, DWORD{MERIT_DO_NOT_USE});
  EXPECT_EQ(record.pins, 1u);
  EXPECT_EQ(record.pinFlags, pinFlags);
  EXPECT_EQ(record.mediums, 0u);
  EXPECT_EQ(record.types.size(), 4u);
  for (size_t i = 0; i < 4 && i < record.types.size(); ++i) {
    EXPECT_EQ(record.types[i].first, MEDIATYPE_Video) << i;
    EXPECT_EQ(record.types[i].second, *kSubtypes[i]) << i;
  }
  return record;
}

void ExpectNothingRegistered() {
  EXPECT_FALSE(KeyExists(ClassKey(CLSID_PixoraRenderer)));
  EXPECT_FALSE(KeyExists(ClassKey(CLSID_PixoraRendererPropertyPage)));
  EXPECT_FALSE(FindInFilterCategory(CLSID_PixoraRenderer).found);
  EXPECT_FALSE(MapperOffers(MEDIASUBTYPE_RGB24, 0));
}

TEST(Regsvr32, RegistersTheModuleAndRemovesItAgain) {
  const std::wstring path = RendererModulePath();
  ExpectNothingRegistered();
  ASSERT_EQ(Regsvr32(L"/s " + Quoted(path)), 0);

  struct Class {
    const CLSID* clsid;
    const wchar_t* name;
  };
  for (const Class& c : {Class{&CLSID_PixoraRenderer, L"Pixora Renderer"},
                         Class{&CLSID_PixoraRendererPropertyPage, L"Property Pages"}}) {
    EXPECT_EQ(RegistryString(ClassKey(*c.clsid), nullptr), c.name);
    EXPECT_EQ(RegistryString(ClassKey(*c.clsid, L"InprocServer32"), nullptr), path);
    EXPECT_EQ(RegistryString(ClassKey(*c.clsid, L"InprocServer32"), L"ThreadingModel"), L"Both");
  }

  const PackedRecord record =
      ExpectListed(FindInFilterCategory(CLSID_PixoraRenderer), REG_PINFLAG_B_RENDERER);
  EXPECT_EQ(record.version, 2u);
  EXPECT_EQ(record.instances, 1u);
  for (const GUID* subtype : kSubtypes) {
    // The mapper's own matching agrees: a renderer of each, at exactly MERIT_DO_NOT_USE.
    EXPECT_TRUE(MapperOffers(*subtype, MERIT_DO_NOT_USE));
    EXPECT_FALSE(MapperOffers(*subtype, MERIT_DO_NOT_USE + 1));
  }
  EXPECT_FALSE(MapperOffers(MEDIASUBTYPE_RGB565, 0));

  // Registered, the filter comes by CLSID.
  {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(CLSID_PixoraRenderer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&filter)),
              S_OK);
  }
  CoFreeUnusedLibraries();

  EXPECT_EQ(Regsvr32(L"/u /s " + Quoted(path)), 0);
  ExpectNothingRegistered();
}

// Where the module's own step cannot run, the mapper keeps the class table's record
// (format version 1): the same merit and types, but a pin that is not marked rendered.
TEST(Regsvr32, TheClassTableRecordAloneDescribesTheFilter) {
  ExpectNothingRegistered();
  ComPtr<IAMovieSetup> setup;
  {
    RendererModule module;
    ASSERT_TRUE(module.Loaded());
    ComPtr<IBaseFilter> filter = module.CreateFilter();
    ASSERT_TRUE(filter);
    ASSERT_EQ(filter.As(&setup), S_OK);
    ASSERT_EQ(setup->Register(), S_OK);

    // Not rendered, not an output, not zero, not many.
    const PackedRecord record = ExpectListed(FindInFilterCategory(CLSID_PixoraRenderer), 0);
    std::printf("version-1 record as the mapper keeps it: version %lu, %lu instances\n",
                record.version, record.instances);

    EXPECT_EQ(setup->Unregister(), S_OK);
    setup.Reset();
  }
  ExpectNothingRegistered();
}

// The server key holds the module's path as it is, also where the ANSI code page cannot
// spell it.
TEST(Regsvr32, RegistersAPathOutsideTheAnsiCodePage) {
  wchar_t temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring folder = std::wstring(temp) + L"\u03a9\u043c\u0435\u0433\u0430 renderer";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring copy = folder + L"\\PixoraRenderer.ax";
  ASSERT_TRUE(CopyFileW(RendererModulePath().c_str(), copy.c_str(), FALSE));

  ASSERT_EQ(Regsvr32(L"/s " + Quoted(copy)), 0);
  EXPECT_EQ(RegistryString(ClassKey(CLSID_PixoraRenderer, L"InprocServer32"), nullptr), copy);
  {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(CLSID_PixoraRenderer, nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&filter)),
              S_OK);
  }
  CoFreeUnusedLibraries();
  EXPECT_EQ(Regsvr32(L"/u /s " + Quoted(copy)), 0);
  ExpectNothingRegistered();
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace pixora::test
