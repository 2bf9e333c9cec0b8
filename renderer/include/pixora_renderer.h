/* The Pixora renderer filter for its hosts: the class ids of the filter and of its
   property page, and the control interface IPixoraRenderer. For C and C++; no other
   file needs to define the ids. Every method may be called on any thread. */
#ifndef PIXORA_RENDERER_H
#define PIXORA_RENDERER_H

#include <windows.h>
#include <oaidl.h>
#include <objbase.h>
#include <unknwn.h>

/* One definition of each id for the whole program, whichever files include this. */
#ifdef __cplusplus
#define PIXORA_RENDERER_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  extern "C" const GUID __declspec(selectany) name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define PIXORA_RENDERER_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  const GUID __declspec(selectany) name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif

/* The renderer filter, "Pixora Renderer": {3D2F839E-1186-4FCE-B772-B61FAE1ACED7} */
PIXORA_RENDERER_GUID(CLSID_PixoraRenderer, 0x3D2F839E, 0x1186, 0x4FCE, 0xB7, 0x72, 0xB6, 0x1F,
                     0xAE, 0x1A, 0xCE, 0xD7);
/* Its property page: {5FC82DBE-C7EE-4443-984F-75DE03FA7C3A} */
PIXORA_RENDERER_GUID(CLSID_PixoraRendererPropertyPage, 0x5FC82DBE, 0xC7EE, 0x4443, 0x98, 0x4F,
                     0x75, 0xDE, 0x03, 0xFA, 0x7C, 0x3A);
/* IPixoraRenderer: {855DAEFD-6664-49C4-BBAA-813A9A41659E} */
PIXORA_RENDERER_GUID(IID_IPixoraRenderer, 0x855DAEFD, 0x6664, 0x49C4, 0xBB, 0xAA, 0x81, 0x3A,
                     0x9A, 0x41, 0x65, 0x9E);

#undef PIXORA_RENDERER_GUID

/* Fill modes of SetFillMode and GetFillMode. */
enum PixoraRendererFillMode {
  PIXORA_RENDERER_FILL_ASPECT_FIT = 0,  /* "Aspect Fit" */
  PIXORA_RENDERER_FILL_ASPECT_FILL = 1, /* "Aspect Fill" */
  PIXORA_RENDERER_FILL_STRETCH = 2      /* "Stretch" */
};

/* The filter grants IPixoraRenderer only while it has found a Pixora camera device
   (QueryInterface fails with E_FAIL otherwise). Methods that need the device answer
   E_FAIL without one; otherwise they return the device's own result. Frames go to the
   device at once, turned a quarter clockwise while rotation is on; RGB frames with a
   positive height have their bottom row first. A stride below 1 means the packed row
   step: RGB24 3 x width rounded up to a multiple of 4, RGB32 4 x width, YUY2 2 x width,
   NV12 width (the chroma plane follows the luma plane at the same step). */
#undef INTERFACE
#define INTERFACE IPixoraRenderer
#if defined(__cplusplus) && defined(_MSC_VER)
DECLARE_INTERFACE_IID_(IPixoraRenderer, IUnknown, "855DAEFD-6664-49C4-BBAA-813A9A41659E")
#else
DECLARE_INTERFACE_(IPixoraRenderer, IUnknown)
#endif
{
  BEGIN_INTERFACE
#ifndef __cplusplus
  STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** object) PURE;
  STDMETHOD_(ULONG, AddRef)(THIS) PURE;
  STDMETHOD_(ULONG, Release)(THIS) PURE;
#endif
  /* The device of this friendly name (any case): E_INVALIDARG when none qualifies. */
  STDMETHOD(SelectDevice)(THIS_ LPCWSTR friendlyName) PURE;
  STDMETHOD(SetOutputFormat)(THIS_ LONG width, LONG height, LONG fps) PURE;
  /* Null pointers are skipped; on failure each output is 0. */
  STDMETHOD(GetOutputFormat)(THIS_ LONG* width, LONG* height, LONG* fps) PURE;
  /* A PixoraRendererFillMode; any other value E_FAIL. */
  STDMETHOD(SetFillMode)(THIS_ LONG mode) PURE;
  STDMETHOD(GetFillMode)(THIS_ LONG* mode) PURE;
  STDMETHOD(SetMirror)(THIS_ LONG enable) PURE;
  STDMETHOD(SetFlip)(THIS_ LONG enable) PURE;
  /* Turns every later frame, from the graph and from the send methods. */
  STDMETHOD(SetRotate)(THIS_ LONG enable) PURE;
  STDMETHOD(SendFrameRGB24)(THIS_ const BYTE* pixels, LONG width, LONG height, LONG stride) PURE;
  STDMETHOD(SendFrameRGB32)(THIS_ const BYTE* pixels, LONG width, LONG height, LONG stride) PURE;
  STDMETHOD(SendFrameYUY2)(THIS_ const BYTE* pixels, LONG width, LONG height, LONG stride) PURE;
  STDMETHOD(SendFrameNV12)(THIS_ const BYTE* pixels, LONG width, LONG height, LONG stride) PURE;
  /* VT_ARRAY | VT_UI1 of 24-bit rows padded to 4 bytes (E_INVALIDARG for another type);
     an array too short for the picture is ignored (S_OK). */
  STDMETHOD(SendFrameArray)(THIS_ VARIANT pixels, LONG width, LONG height) PURE;
  /* Sends that area of the screen; E_INVALIDARG for a bad rectangle, else S_OK. */
  STDMETHOD(SendScreenRegion)(THIS_ LONG x, LONG y, LONG width, LONG height) PURE;
  /* The next frame delivered is also written to path as a JPEG file; "" cancels. */
  STDMETHOD(Snapshot)(THIS_ LPCWSTR path) PURE;
  END_INTERFACE
};
#undef INTERFACE

#if defined(__cplusplus) && defined(__CRT_UUID_DECL)
__CRT_UUID_DECL(IPixoraRenderer, 0x855DAEFD, 0x6664, 0x49C4, 0xBB, 0xAA, 0x81, 0x3A, 0x9A, 0x41,
                0x65, 0x9E)
#endif

#endif /* PIXORA_RENDERER_H */
