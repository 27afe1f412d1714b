#!/usr/bin/env python3
"""Writes the seed corpus of the state-file fuzz target (tests/transfer/fuzz_state_files.cpp) into the folder
given as the argument: a byte n and n bytes of an input port's name, a byte m and m bytes of an output port's
name, then the text both readers are given - the remembered keyboards and the slot-label cache, well formed
and in every way they can be broken.

Usage: make_state_files_corpus.py <output folder>
"""
import os
import sys

HEADER = b"SongUploader remembered keyboards 1\n"


def seed(port_in, port_out, text):
    return bytes([len(port_in)]) + port_in + bytes([len(port_out)]) + port_out + text


def entry(family, model, when, port_in, port_out):
    return b"\t".join([family, model, when, port_in, port_out]) + b"\n"


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    ports = (b"Virtual in", b"Virtual out")
    files = {
        "empty": seed(b"", b"", b""),
        "valid_one": seed(*ports, HEADER + entry(b"B", b"25", b"1700000000", *ports)),
        "valid_others": seed(*ports, HEADER + entry(b"A", b"21", b"5", b"Other in", b"Other out")
                             + entry(b"C", b"4", b"9", *ports)),
        "escaped_names": seed(b"In\tab\n%", b"Out\r", HEADER + entry(b"C", b"4", b"1", b"In%09ab%0A%25", b"Out%0D")),
        "bad_escapes": seed(*ports, HEADER + entry(b"B", b"25", b"1", b"In%zz", b"Out%")
                            + entry(b"B", b"25", b"1", b"In%0", b"%%")),
        "numbers_at_their_limits": seed(*ports, HEADER + entry(b"B", b"9999", b"999999999999999999", *ports)
                                        + entry(b"B", b"99999", b"1", *ports)
                                        + entry(b"B", b"25", b"9999999999999999999", *ports)
                                        + entry(b"B", b"-1", b"+1", *ports)),
        "wrong_family_and_fields": seed(*ports, HEADER + entry(b"X", b"25", b"1", *ports) + b"B\t25\t1\tIn\n"
                                        + b"B\t25\t1\tIn\tOut\tmore\n" + b"BB\t25\t1\tIn\tOut\n"),
        "no_header": seed(*ports, entry(b"B", b"25", b"1", *ports)),
        "crlf_lines": seed(*ports, HEADER.replace(b"\n", b"\r\n") + entry(b"B", b"25", b"1", *ports).replace(b"\n", b"\r\n")),
        "no_final_line_break": seed(*ports, HEADER + entry(b"B", b"25", b"1", *ports)[:-1]),
        "forty_entries": seed(*ports, HEADER + b"".join(entry(b"A", b"21", str(i).encode(), b"In %d" % i, b"Out")
                                                        for i in range(40))),
        "zero_bytes": seed(b"a\x00b", b"\x00", HEADER + entry(b"C", b"4", b"1", b"a\x00b", b"\x00")),
        "high_bytes": seed(b"\xff\xfe", b"\x80", HEADER + entry(b"C", b"4", b"1", b"\xff\xfe", b"\x80")),
        # The slot-label cache: a line for the key's own ports, others, blank lines, more than are kept.
        "slot_cache_few": seed(b"Virtual in", b"", b"rtmidi\tVirtual in\t\t1 2 3\n\nalsa\tx\ty\t1 2\n"),
        "slot_cache_many": seed(b"p", b"", b"".join(b"rtmidi\tport %d\t\t1 2\n" % i for i in range(30))
                                + b"rtmidi\tp\t\t9\n"),
        "slot_cache_no_final_line_break": seed(b"p", b"", b"rtmidi\tq\t\t1\nrtmidi\tp\t\t2"),
        "slot_cache_only_line_breaks": seed(b"p", b"", b"\n\n\n\r\n"),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
