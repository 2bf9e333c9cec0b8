// AM_MEDIA_TYPE ownership: a media type owns its format block (task memory) and a reference
// on pUnk; every copy is deep and every free goes through FreeMediaType. One thread at a time
// per object.
#pragma once

#include <windows.h>
#include <strmif.h>

namespace pixora::dshow {

// Deep copy into `target`, which must hold nothing; on failure it is left empty.
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source);
// Frees the format block and the pUnk reference, and zeroes the format fields.
void FreeMediaType(AM_MEDIA_TYPE& type);
// A task-memory media type, as enumerators and IMediaSample::GetMediaType hand out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& source);
void DeleteMediaType(AM_MEDIA_TYPE* type);

// A media type held by value, freed with the object.
class MediaType {
 public:
  MediaType();
  ~MediaType() { FreeMediaType(type_); }
  MediaType(const MediaType&) = delete;
  MediaType& operator=(const MediaType&) = delete;

  HRESULT Set(const AM_MEDIA_TYPE& source);
  void Clear();
  const AM_MEDIA_TYPE& Get() const { return type_; }
  // For calls that fill a media type in place (it must be empty then).
  AM_MEDIA_TYPE* Receive();

 private:
  AM_MEDIA_TYPE type_;
};

}  // namespace pixora::dshow
