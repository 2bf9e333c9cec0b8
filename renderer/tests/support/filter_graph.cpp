#include "filter_graph.h"

#include <strmif.h>
#include <amvideo.h>
#include <dvdmedia.h>
#include <uuids.h>

#include <cstring>

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

WORD BitCount(REFGUID subtype) {
  if (subtype == MEDIASUBTYPE_RGB24) return 24;
  if (subtype == MEDIASUBTYPE_RGB32) return 32;
  if (subtype == MEDIASUBTYPE_YUY2) return 16;
  return 12;
}

DWORD Compression(REFGUID subtype) {
  if (subtype == MEDIASUBTYPE_RGB24 || subtype == MEDIASUBTYPE_RGB32) return BI_RGB;
  return subtype.Data1;  // the FOURCC of YUY2 and NV12
}

}  // namespace

void MakeVideoType(REFGUID subtype, REFGUID formatType, int32_t width, int32_t height,
                   dshow::MediaType* type, uint32_t formatBytes) {
  const bool second = formatType == FORMAT_VideoInfo2;
  const size_t headerOffset =
      second ? offsetof(VIDEOINFOHEADER2, bmiHeader) : offsetof(VIDEOINFOHEADER, bmiHeader);
  const size_t fullBytes = second ? sizeof(VIDEOINFOHEADER2) : sizeof(VIDEOINFOHEADER);
  std::vector<BYTE> block(fullBytes, 0);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = BitCount(subtype);
  header.biCompression = Compression(subtype);
  header.biSizeImage = static_cast<DWORD>((static_cast<int64_t>(width) * header.biBitCount / 8) *
                                          (height < 0 ? -height : height));
  std::memcpy(block.data() + headerOffset, &header, sizeof(header));

  AM_MEDIA_TYPE described = {};
  described.majortype = MEDIATYPE_Video;
  described.subtype = subtype;
  described.bFixedSizeSamples = TRUE;
  described.lSampleSize = header.biSizeImage;
  described.formattype = formatType;
  described.cbFormat = formatBytes != 0 ? formatBytes : static_cast<ULONG>(fullBytes);
  block.resize(std::max<size_t>(block.size(), described.cbFormat));
  described.pbFormat = block.data();
  type->Set(described);
}

FilterGraph::FilterGraph() {
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&builder));
  if (!builder) return;
  builder.As(&control);
  // control.h declares no __uuidof for IMediaEvent.
  builder->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf()));
  builder.As(&mediaFilter);
  builder.As(&seeking);
}

HRESULT FilterGraph::Add(IBaseFilter* filter, const wchar_t* name) {
  return builder->AddFilter(filter, name);
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION found;
    if (SUCCEEDED(pin->QueryDirection(&found)) && found == direction) return pin;
  }
  return nullptr;
}

HRESULT FilterGraph::ConnectDirect(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* type) {
  const ComPtr<IPin> out = FirstPin(from, PINDIR_OUTPUT);
  const ComPtr<IPin> in = FirstPin(to, PINDIR_INPUT);
  if (!out || !in) return E_FAIL;
  return builder->ConnectDirect(out.Get(), in.Get(), type);
}

HRESULT FilterGraph::Run() {
  const HRESULT hr = control->Run();
  return hr == S_FALSE ? S_OK : hr;
}

HRESULT FilterGraph::Stop() {
  const HRESULT hr = control->Stop();
  return hr == S_FALSE ? S_OK : hr;
}

HRESULT FilterGraph::RunWithoutClock() {
  const HRESULT hr = mediaFilter->SetSyncSource(nullptr);
  return FAILED(hr) ? hr : Run();
}

long FilterGraph::NextEvent(DWORD timeoutMs) {
  long code = 0;
  LONG_PTR first = 0;
  LONG_PTR second = 0;
  if (FAILED(events->GetEvent(&code, &first, &second, timeoutMs))) return 0;
  events->FreeEventParams(code, first, second);
  return code;
}

}  // namespace pixora::test
