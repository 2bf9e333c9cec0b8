#!/usr/bin/env python3
"""Writes the seed corpus of audiodriver_property_fuzz (layout in property_fuzz.cpp): one file
per request kind the topology filter answers, so that fuzzing starts inside every handler."""
import pathlib
import struct

AUDIO, JACK, PIN, TOPOLOGY, GENERAL, OTHER = range(6)
GET, SET, BASIC = 0x1, 0x2, 0x200
PORT_FILTER, PORT_NODE, HANDLER_NODE, HANDLER_JACK = 0, 2, 1, 3


def seed(route, property_set, ident, verb, node, instance=b"", value_size=0, value=b""):
    header = struct.pack("<BBIIIBH", route, property_set, ident, verb, node, len(instance), value_size)
    return header + instance + value


def channel(n):
    return struct.pack("<iI", n, 0)


SEEDS = {
    "volume-get-master": seed(PORT_NODE, AUDIO, 4, GET, 7, channel(0), 4),
    "volume-set-wave": seed(PORT_NODE, AUDIO, 4, SET, 0, channel(1), 4, struct.pack("<i", -20 * 65536)),
    "volume-basic-support-72": seed(PORT_NODE, AUDIO, 4, BASIC, 2, b"", 72),
    "volume-basic-support-40": seed(PORT_NODE, AUDIO, 4, BASIC, 2, b"", 40),
    "mute-get": seed(PORT_NODE, AUDIO, 13, GET, 1, channel(0), 4),
    "mute-set-short": seed(PORT_NODE, AUDIO, 13, SET, 3, channel(0), 2, b"\0\0"),
    "mux-set": seed(PORT_NODE, AUDIO, 12, SET, 8, b"", 4, struct.pack("<I", 2)),
    "mux-basic-support": seed(PORT_NODE, AUDIO, 12, BASIC, 8, b"", 40),
    "specific-basic-support-64": seed(PORT_NODE, AUDIO, 28, BASIC, 10, b"", 64),
    "specific-size-query": seed(PORT_NODE, AUDIO, 28, BASIC, 11, b"", 0),
    "specific-set-uint": seed(PORT_NODE, AUDIO, 28, SET, 11, b"", 4, struct.pack("<I", 0xFFFFFFFF)),
    "cpu-resources-get": seed(PORT_NODE, AUDIO, 33, GET, 4, b"", 4),
    "jack-get-line-out": seed(PORT_FILTER, JACK, 1, GET, 0, struct.pack("<II", 4, 0), 36),
    "jack-size-query": seed(PORT_FILTER, JACK, 1, GET, 0, struct.pack("<II", 3, 0), 0),
    "pin-dataranges": seed(PORT_FILTER, PIN, 3, GET, 0, struct.pack("<II", 5, 0), 72),
    "topology-connections": seed(PORT_FILTER, TOPOLOGY, 2, GET, 0, b"", 264),
    "handler-specific-on-mux": seed(HANDLER_NODE, AUDIO, 28, GET, 8, b"", 4),
    "handler-volume-no-verb": seed(HANDLER_NODE, AUDIO, 4, 0, 0, channel(0), 4),
    "handler-jack-short-instance": seed(HANDLER_JACK, JACK, 1, GET, 0, b"\3\0", 36),
}

if __name__ == "__main__":
    corpus = pathlib.Path(__file__).resolve().parent / "corpus"
    corpus.mkdir(exist_ok=True)
    for name, data in SEEDS.items():
        (corpus / name).write_bytes(data)
    print(f"{len(SEEDS)} seeds in {corpus}")
