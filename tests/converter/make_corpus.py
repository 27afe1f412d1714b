#!/usr/bin/env python3
"""Writes the converter's fuzz corpus into the folder given as the argument: a few valid songs as seeds and
broken files, each named after the damage it carries.

Usage: make_corpus.py <output folder>
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
import make_examples as examples  # noqa: E402  (the example songs serve as valid seeds)


def chunk(kind, body):
    return kind + struct.pack(">I", len(body)) + body


def header(fmt, tracks, division=96):
    return chunk(b"MThd", struct.pack(">HHH", fmt, tracks, division))


EOT = b"\x00\xFF\x2F\x00"


def track(body, end=True):
    return chunk(b"MTrk", body + (EOT if end else b""))


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    scale = examples.scale_format0()
    band = examples.band_format1(examples.random.Random(1))
    words = examples.sysex_and_text()
    files = {
        "valid_scale": scale,
        "valid_band": band,
        "valid_words": words,
        "valid_rmid": examples.rmid(scale),
        "truncated_in_header": scale[:10],
        "truncated_in_track": scale[:len(scale) - 5],
        "truncated_rmid": examples.rmid(band)[:200],
        "chunk_length_past_end": scale[:18] + struct.pack(">I", 0x7FFFFFFF) + scale[22:],
        "header_length_huge": b"MThd" + struct.pack(">I", 0xFFFFFFFF) + scale[8:],
        "missing_header": scale[14:],
        "header_after_track": scale[14:] + scale[:14],
        "zero_tracks": header(1, 0) + track(b"\x00\x90\x3C\x40"),
        "track_count_absurd": header(1, 0xFFFF) + track(b""),
        "format_2": header(2, 1) + track(b""),
        "format_0_two_tracks": header(0, 2) + track(b"") + track(b""),
        "division_zero": header(0, 1, 0) + track(b""),
        "smpte_bad_rate": header(0, 1, 0xE828) + track(b""),
        "running_status_without_status": header(0, 1) + track(b"\x00\x3C\x40"),
        "running_status_after_sysex": header(0, 1) + track(b"\x00\x90\x3C\x40\x00\xF0\x01\xF7\x00\x3C\x00"),
        "vlq_five_bytes": header(0, 1) + track(b"\x8F\xFF\xFF\xFF\x7F\x90\x3C\x40"),
        "vlq_cut_off": header(0, 1) + chunk(b"MTrk", b"\x81\x80"),
        "meta_length_absurd": header(0, 1) + track(b"\x00\xFF\x01\xFF\xFF\xFF\x7Fabc"),
        "sysex_length_absurd": header(0, 1) + track(b"\x00\xF0\xFF\xFF\xFF\x7F\xF7"),
        "missing_end_of_track": header(0, 1) + track(b"\x00\x90\x3C\x40", end=False),
        "events_after_end_of_track": header(0, 1) + chunk(b"MTrk", EOT + b"\x00\x90\x3C\x40"),
        "system_common_status": header(0, 1) + track(b"\x00\xF3\x01"),
        "data_byte_high_bit": header(0, 1) + track(b"\x00\x90\xBC\x40"),
        "tempo_short": header(0, 1) + track(b"\x00\xFF\x51\x02\x07\xA1"),
        "time_far_beyond_32_bits": header(0, 1) + track(b"".join(b"\xFF\xFF\xFF\x7F\x90\x3C\x40" for _ in range(20))),
        "riff_size_past_end": b"RIFF" + struct.pack("<I", 0xFFFFFF00) + b"RMIDdata" + struct.pack("<I", len(scale)) + scale,
        "riff_without_data": b"RIFF" + struct.pack("<I", 16) + b"RMIDLIST" + struct.pack("<I", 4) + b"INFO",
        "image_magic_only": b"SQSI\x01\x00\x00\x60" + b"\xFF" * 12,
        "song_file_header_only": b"SQ2F\x01\x00\x00\x10" + b"\x00" * 8,
        "empty": b"",
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
