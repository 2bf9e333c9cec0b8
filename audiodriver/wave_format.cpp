#include "wave_format.h"

namespace {

// Where the DirectSound buffer description puts the format: after its flags and control.
constexpr ULONG kDirectSoundFormatOffset = sizeof(KSDATAFORMAT) + 2 * sizeof(ULONG);

bool Within(ULONG value, ULONG low, ULONG high) { return value >= low && value <= high; }

}  // namespace

bool FindWaveFormat(const KSDATAFORMAT* format, WAVEFORMATEX* wave) {
  if (format == nullptr || format->FormatSize < sizeof(KSDATAFORMAT)) return false;
  if (!IsEqualGUID(format->MajorFormat, KSDATAFORMAT_TYPE_AUDIO)) return false;
  ULONG offset;
  if (IsEqualGUID(format->Specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX))
    offset = sizeof(KSDATAFORMAT);
  else if (IsEqualGUID(format->Specifier, KSDATAFORMAT_SPECIFIER_DSOUND))
    offset = kDirectSoundFormatOffset;
  else
    return false;
  if (format->FormatSize < offset + sizeof(WAVEFORMATEX)) return false;
  RtlCopyMemory(wave, reinterpret_cast<const UCHAR*>(format) + offset, sizeof *wave);
  return true;
}

NTSTATUS CheckStreamFormat(const KSDATAFORMAT* format, const WaveFormatLimits& limits, WAVEFORMATEX* found) {
  WAVEFORMATEX wave;
  if (!FindWaveFormat(format, &wave)) return STATUS_INVALID_PARAMETER;
  if (!IsEqualGUID(format->SubFormat, KSDATAFORMAT_SUBTYPE_PCM)) return STATUS_INVALID_PARAMETER;
  if (wave.wFormatTag != WAVE_FORMAT_PCM || wave.cbSize != 0) return STATUS_INVALID_PARAMETER;
  if (!Within(wave.nChannels, limits.minChannels, limits.maxChannels) ||
      !Within(wave.nSamplesPerSec, limits.minSampleRate, limits.maxSampleRate) ||
      !Within(wave.wBitsPerSample, limits.minBitsPerSample, limits.maxBitsPerSample))
    return STATUS_INVALID_PARAMETER;
  const ULONG frame = ULONG{wave.nChannels} * ((wave.wBitsPerSample + 7u) / 8u);
  if (wave.nBlockAlign != frame || wave.nAvgBytesPerSec != frame * wave.nSamplesPerSec) return STATUS_INVALID_PARAMETER;
  if (found != nullptr) *found = wave;
  return STATUS_SUCCESS;
}

bool SameStreamFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
  return a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec && a.wBitsPerSample == b.wBitsPerSample;
}
