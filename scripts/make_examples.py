#!/usr/bin/env python3
"""Writes a few small, varied example songs (Standard MIDI Files) into the folder given as the argument.

Usage: make_examples.py <output folder>

Everything is generated here from fixed seeds, so the files are the same on every run.
"""
import os
import random
import struct
import sys


def vlq(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Track:
    """Events with absolute times; written with delta times and, optionally, running status."""

    def __init__(self):
        self.events = []  # (tick, order, bytes-without-delta, is_channel)

    def channel(self, tick, status, *data):
        self.events.append((tick, len(self.events), bytes([status, *data]), True))

    def meta(self, tick, kind, payload):
        self.events.append((tick, len(self.events), bytes([0xFF, kind]) + vlq(len(payload)) + payload, False))

    def sysex(self, tick, lead, payload):
        self.events.append((tick, len(self.events), bytes([lead]) + vlq(len(payload)) + payload, False))

    def name(self, text):
        self.meta(0, 0x03, text.encode("ascii"))

    def tempo(self, tick, bpm):
        self.meta(tick, 0x51, struct.pack(">I", int(60_000_000 / bpm))[1:])

    def time_signature(self, tick, numerator, denominator_power):
        self.meta(tick, 0x58, bytes([numerator, denominator_power, 24, 8]))

    def note(self, tick, length, channel, key, velocity, off_as_zero_velocity=True):
        self.channel(tick, 0x90 | channel, key, velocity)
        if off_as_zero_velocity:
            self.channel(tick + length, 0x90 | channel, key, 0)
        else:
            self.channel(tick + length, 0x80 | channel, key, 64)

    def encode(self, running_status=True):
        out = bytearray()
        now = 0
        running = None
        for tick, _, body, is_channel in sorted(self.events):
            out += vlq(tick - now)
            now = tick
            if is_channel and running_status and body[0] == running:
                out += body[1:]
            else:
                out += body
            running = body[0] if is_channel else None
        out += vlq(0) + b"\xFF\x2F\x00"
        return bytes(out)


def smf(fmt, division, tracks, running_status=True, extra_chunks=()):
    data = b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division & 0xFFFF)
    for index, track in enumerate(tracks):
        for at, chunk in extra_chunks:
            if at == index:
                data += chunk
        body = track.encode(running_status)
        data += b"MTrk" + struct.pack(">I", len(body)) + body
    return data


def rmid(midi):
    data = b"data" + struct.pack("<I", len(midi)) + midi + (b"\0" if len(midi) % 2 else b"")
    info = b"LIST" + struct.pack("<I", 4) + b"INFO"
    body = b"RMID" + info + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def scale_format0():
    t = Track()
    t.name("Scale in C")
    t.tempo(0, 120)
    t.time_signature(0, 4, 2)
    t.channel(0, 0xC0, 0)
    for i, key in enumerate([60, 62, 64, 65, 67, 69, 71, 72]):
        t.note(i * 480, 400, 0, key, 96)
    return smf(0, 480, [t])


def band_format1(rng):
    conductor = Track()
    conductor.name("Little Band")
    conductor.tempo(0, 100)
    conductor.time_signature(0, 4, 2)
    conductor.tempo(1920 * 4, 132)
    conductor.time_signature(1920 * 6, 3, 2)
    conductor.tempo(1920 * 8, 90)
    piano, bass, drums = Track(), Track(), Track()
    piano.name("Piano")
    piano.channel(0, 0xC0, 0)
    piano.channel(0, 0xB0, 7, 100)
    bass.name("Bass")
    bass.channel(0, 0xC1, 33)
    drums.name("Drums")
    chords = [(60, 64, 67), (57, 60, 64), (53, 57, 60), (55, 59, 62)]
    for bar in range(12):
        start = bar * 1920
        for key in chords[bar % 4]:
            piano.note(start, 1800, 0, key, 80, off_as_zero_velocity=False)
        bass.note(start, 900, 1, chords[bar % 4][0] - 24, 100)
        bass.note(start + 960, 900, 1, chords[bar % 4][0] - 17, 90)
        for beat in range(8):
            drums.note(start + beat * 240, 120, 9, 42, 60 + rng.randrange(30))
            if beat % 4 == 0:
                drums.note(start + beat * 240, 120, 9, 36, 110)
        piano.channel(start + 960, 0xE0, 0, 0x40 + rng.randrange(16))
        piano.channel(start + 1900, 0xE0, 0, 0x40)
        bass.channel(start, 0xD1, rng.randrange(128))
    return smf(1, 480, [conductor, piano, bass, drums])


def waltz_smpte():
    t = Track()
    t.name("SMPTE Waltz")
    t.time_signature(0, 3, 2)
    for bar in range(8):
        for beat in range(3):
            t.note((bar * 3 + beat) * 40, 30, 2, 48 + (bar % 4) * 2 + (7 if beat else 0), 90 if beat == 0 else 60)
    t.channel(0, 0xA2, 48, 20)  # polyphonic pressure
    return smf(0, (-25 << 8) | 40, [t])


def sysex_and_text():
    t = Track()
    t.name("Messages and Words")
    t.sysex(0, 0xF0, bytes([0x7E, 0x7F, 0x09, 0x01, 0xF7]))
    t.sysex(10, 0xF7, bytes([0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7]))
    t.meta(0, 0x01, b"A text event")
    for i, word in enumerate(["la", "la", "lu"]):
        t.meta(i * 240, 0x05, word.encode("ascii"))
        t.note(i * 240, 200, 0, 72 - i, 100)
    t.meta(720, 0x06, b"Coda")
    t.meta(720, 0x59, bytes([0xFE, 0x01]))
    unknown = b"XFIH" + struct.pack(">I", 5) + b"notes"
    return smf(1, 96, [t], running_status=False, extra_chunks=[(0, unknown)])


def long_song(rng, target_bytes=200 * 1024):
    conductor = Track()
    conductor.name("Long Journey")
    conductor.time_signature(0, 4, 2)
    tracks = [conductor] + [Track() for _ in range(6)]
    for channel, track in enumerate(tracks[1:]):
        track.name("Part %d" % (channel + 1))
        track.channel(0, 0xC0 | channel, rng.randrange(128))
    bar = 0
    while True:
        start = bar * 1920
        if bar % 16 == 0:
            conductor.tempo(start, rng.choice([84, 96, 108, 120, 140]))
        for channel, track in enumerate(tracks[1:]):
            tick = start
            while tick < start + 1920:
                length = rng.choice([120, 240, 240, 480])
                track.note(tick, length - 20, channel, rng.randrange(36, 96), rng.randrange(40, 127))
                if rng.random() < 0.1:
                    track.channel(tick, 0xB0 | channel, 1, rng.randrange(128))
                tick += length
        bar += 1
        if bar % 8 == 0 and len(smf(1, 480, tracks)) >= target_bytes:
            return smf(1, 480, tracks)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = random.Random(20240611)
    songs = {
        "scale_format0.mid": scale_format0(),
        "band_format1.mid": band_format1(rng),
        "waltz_smpte.mid": waltz_smpte(),
        "messages_and_words.mid": sysex_and_text(),
        "riff_wrapped.mid": rmid(band_format1(random.Random(7))),
        "long_journey.mid": long_song(rng),
    }
    for name, data in songs.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
