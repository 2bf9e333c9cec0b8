#!/usr/bin/env python3
"""Writes the seed corpus of audiodriver_property_fuzz (layout in property_fuzz.cpp): one file
per request kind the topology and wave filters answer, and data formats offered for streams,
so that fuzzing starts inside every handler and every format check."""
import pathlib
import struct

AUDIO, JACK, PIN, TOPOLOGY, GENERAL, OTHER = range(6)
GET, SET, BASIC = 0x1, 0x2, 0x200
PORT_FILTER, PORT_NODE, HANDLER_NODE, HANDLER_JACK = 0, 2, 1, 3
WAVE_PORT, WAVE_HANDLER, RENDER_STREAM, CAPTURE_STREAM = 4, 5, 8, 10


def seed(route, property_set, ident, verb, node, instance=b"", value_size=0, value=b""):
    header = struct.pack("<BBIIIBH", route, property_set, ident, verb, node, len(instance), value_size)
    return header + instance + value


def channel(n):
    return struct.pack("<iI", n, 0)


def guid(text):
    """A GUID in memory order from its registry form."""
    a, b, c, d, e = text.split("-")
    return struct.pack("<IHH", int(a, 16), int(b, 16), int(c, 16)) + bytes.fromhex(d + e)


AUDIO_TYPE = guid("73647561-0000-0010-8000-00AA00389B71")
PCM = guid("00000001-0000-0010-8000-00AA00389B71")
WAVEFORMATEX = guid("05589F81-C356-11CE-BF01-00AA0055595A")
DSOUND = guid("518590A2-A184-11D0-8522-00C04FD9BAF3")


def data_format(channels, rate, bits, tag=1, cb_size=0, mask=None, specifier=WAVEFORMATEX, pad=b""):
    align = channels * bits // 8
    wave = struct.pack("<HHIIHHH", tag, channels, rate, rate * align, align, bits, cb_size)
    if mask is not None:
        wave += struct.pack("<HI", bits, mask) + PCM
    body = pad + wave
    return struct.pack("<IIII", 64 + len(body), 0, align, 0) + AUDIO_TYPE + PCM + specifier + body


def pin(n):
    return struct.pack("<II", n, 0)


SEEDS = {
    "volume-get-master": seed(PORT_NODE, AUDIO, 4, GET, 7, channel(0), 4),
    "volume-set-wave": seed(PORT_NODE, AUDIO, 4, SET, 0, channel(1), 4, struct.pack("<i", -20 * 65536)),
    "volume-basic-support-72": seed(PORT_NODE, AUDIO, 4, BASIC, 2, b"", 72),
    "volume-basic-support-40": seed(PORT_NODE, AUDIO, 4, BASIC, 2, b"", 40),
    "mute-get": seed(PORT_NODE, AUDIO, 13, GET, 1, channel(0), 4),
    "mute-set-short": seed(PORT_NODE, AUDIO, 13, SET, 3, channel(0), 2, b"\0\0"),
    "mux-set": seed(PORT_NODE, AUDIO, 12, SET, 8, b"", 4, struct.pack("<I", 2)),
    "mux-basic-support": seed(PORT_NODE, AUDIO, 12, BASIC, 8, b"", 40),
    "dev-private-basic-support-64": seed(PORT_NODE, AUDIO, 28, BASIC, 10, b"", 64),
    "dev-private-size-query": seed(PORT_NODE, AUDIO, 28, BASIC, 11, b"", 0),
    "dev-private-set-uint": seed(PORT_NODE, AUDIO, 28, SET, 11, b"", 4, struct.pack("<I", 0xFFFFFFFF)),
    "cpu-resources-get": seed(PORT_NODE, AUDIO, 33, GET, 4, b"", 4),
    "jack-get-line-out": seed(PORT_FILTER, JACK, 1, GET, 0, struct.pack("<II", 4, 0), 36),
    "jack-size-query": seed(PORT_FILTER, JACK, 1, GET, 0, struct.pack("<II", 3, 0), 0),
    "pin-dataranges": seed(PORT_FILTER, PIN, 3, GET, 0, struct.pack("<II", 5, 0), 72),
    "topology-connections": seed(PORT_FILTER, TOPOLOGY, 2, GET, 0, b"", 264),
    "handler-dev-private-on-mux": seed(HANDLER_NODE, AUDIO, 28, GET, 8, b"", 4),
    "handler-volume-no-verb": seed(HANDLER_NODE, AUDIO, 4, 0, 0, channel(0), 4),
    "handler-jack-short-instance": seed(HANDLER_JACK, JACK, 1, GET, 0, b"\3\0", 36),
    "wave-component-id": seed(WAVE_PORT, GENERAL, 0, GET, 0, b"", 72),
    "wave-component-id-size-query": seed(WAVE_PORT, GENERAL, 0, GET, 0, b"", 0),
    "wave-propose-pcm": seed(WAVE_PORT, PIN, 14, SET, 0, pin(2), 82, data_format(2, 48000, 16)),
    "wave-propose-5.1": seed(WAVE_PORT, PIN, 14, SET, 0, pin(2), 104, data_format(6, 48000, 16, 0xFFFE, 22, 0x60F)),
    "wave-propose-short-extensible": seed(WAVE_PORT, PIN, 14, SET, 0, pin(2), 90,
                                          data_format(2, 48000, 16, 0xFFFE, 22, 0x3)[:90]),
    "wave-propose-bridge-pin": seed(WAVE_PORT, PIN, 14, SET, 0, pin(3), 82, data_format(2, 48000, 16)),
    "wave-propose-capture-mono": seed(WAVE_PORT, PIN, 14, SET, 0, pin(0), 82, data_format(1, 44100, 16)),
    "wave-propose-basic-support": seed(WAVE_PORT, PIN, 14, BASIC, 0, pin(0), 40),
    "handler-wave-propose-get": seed(WAVE_HANDLER, PIN, 14, GET, 0, b"", 82, data_format(2, 44100, 16)),
    "stream-render-cd": seed(RENDER_STREAM, AUDIO, 0, 0, 0, b"", 82, data_format(2, 44100, 16)),
    "stream-capture-8-bit": seed(CAPTURE_STREAM, AUDIO, 0, 0, 0, b"", 82, data_format(1, 8000, 8)),
    "stream-dsound": seed(RENDER_STREAM, AUDIO, 0, 0, 0, b"", 90, data_format(2, 48000, 16, specifier=DSOUND, pad=bytes(8))),
    "stream-cut-short": seed(RENDER_STREAM, AUDIO, 0, 0, 0, b"", 80, data_format(2, 48000, 16)[:80]),
}

if __name__ == "__main__":
    corpus = pathlib.Path(__file__).resolve().parent / "corpus"
    corpus.mkdir(exist_ok=True)
    for name, data in SEEDS.items():
        (corpus / name).write_bytes(data)
    print(f"{len(SEEDS)} seeds in {corpus}")
