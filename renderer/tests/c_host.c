#include "c_host.h"

#include "pixora_renderer.h"

HRESULT CHostDrive(IUnknown* filter, const BYTE* frame, LONG width, LONG height, LONG* fillMode) {
  IPixoraRenderer* control = NULL;
  HRESULT hr = filter->lpVtbl->QueryInterface(filter, &IID_IPixoraRenderer, (void**)&control);
  if (FAILED(hr)) return hr;
  hr = control->lpVtbl->SetOutputFormat(control, 320, 240, 15);
  if (SUCCEEDED(hr)) hr = control->lpVtbl->SetRotate(control, 1);
  if (SUCCEEDED(hr)) hr = control->lpVtbl->SendFrameRGB24(control, frame, width, height, 0);
  if (SUCCEEDED(hr)) hr = control->lpVtbl->SetRotate(control, 0);
  if (SUCCEEDED(hr)) hr = control->lpVtbl->GetFillMode(control, fillMode);
  control->lpVtbl->Release(control);
  return hr;
}
