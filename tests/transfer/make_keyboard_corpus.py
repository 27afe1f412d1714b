#!/usr/bin/env python3
"""Writes the seed corpus of one keyboard-answer fuzz target into the folder given as the argument: scripts of
the keyboard's answers, each named after what it tries - valid answers of every kind, refusals with each
error code at each step, junk frames, frames longer than the input buffer, late and bunched answers, and
Cancel pressed at different moments of the closing wait.

The format is the one tests/transfer/keyboard_answers_harness.h describes: per message the program sends, a
turn byte (frame count, arrival time, bunching, Cancel time) and then each frame as a head byte (framed flag
and length) and its body. Family C's target (fuzz_keyboard_answers.cpp) sends its messages in this order:
identity request, slot reads of slots 0, 1, 14 and 3, free space, announce, three data blocks (each maybe
resent), closing message, delete. Family A's (fuzz_family_a_answers.cpp) and family B's
(fuzz_family_b_answers.cpp) send theirs in the order of STEPS_A and STEPS_B, their framed answers getting
their own family's model address in front.

Usage: make_keyboard_corpus.py <output folder> [c|a|b]   (default c)
"""
import os
import random
import sys

ACK = 0x06
REFUSED = 0x07
STEPS = ["identity", "slot0", "slot1", "slot14", "slot3", "free", "announce",
         "block0", "block1", "block2", "close", "delete"]
ERROR_CODES = [0, 1, 4, 6, 7, 8, 9, 0x12, 0x7F]
MODELS_KEEPING_INFO = {11, 15, 16, 17, 18, 21}


def pack7(data):
    """Eight-bit bytes as one bit stream cut into seven-bit pieces; a final partial group keeps its bits."""
    out = []
    for start in range(0, len(data), 7):
        group = data[start:start + 7]
        bits = "".join(format(b, "08b") for b in group)
        pieces = len(group) + 1
        bits = bits.ljust(pieces * 7, "0")
        out.extend(int(bits[i * 7:(i + 1) * 7], 2) for i in range(pieces))
    return bytes(out)


def pack_u32(value):
    return pack7(value.to_bytes(4, "big"))


def turn(count=1, delay=0, together=False, cancel=0):
    return bytes([(count & 3) | (delay & 3) << 2 | (0x10 if together else 0) | (cancel & 3) << 5])


def frame(body, framed=True):
    """One frame: with `framed` the target adds F0 44 14 00 in front and F7 behind. Lengths of 127 and more
    go as 127 + 4 * n, so a body that does not fit that step is padded with zeros."""
    body = bytes(body)
    flag = 0x80 if framed else 0
    if len(body) < 127:
        return bytes([flag | len(body)]) + body
    steps = (len(body) - 127 + 3) // 4
    assert steps <= 255, "frame body too long"
    body = body.ljust(127 + 4 * steps, b"\x00")
    return bytes([flag | 127, steps]) + body


def answer(*frames, delay=0, together=False, cancel=0):
    return turn(len(frames), delay, together, cancel) + b"".join(frames)


def ack(*params):
    return frame(bytes([ACK]) + bytes(params))


def refusal(code):
    return frame(bytes([REFUSED, code]))


def identity(model, info=b"\x12\x34\x56\x78"):
    return frame(bytes([0x00, model]) + info)


def slot(status, size=0, name=b""):
    return frame(bytes([ACK, status]) + pack_u32(size) + pack7(name))


def free(value):
    return frame(bytes([ACK]) + pack_u32(value))


def valid_turns(model=21):
    """The answers of a keyboard that accepts everything, one turn per step."""
    return {
        "identity": answer(identity(model)),
        "slot0": answer(slot(1, 4321, b"Morning Song")),
        "slot1": answer(slot(0)),
        "slot14": answer(slot(1, 99, b"")),  # a song without a name: the in-use marker
        "slot3": answer(slot(1, 7, b"x" * 40)),  # longer than the 31 characters the field keeps
        "free": answer(free(0x12345)),
        "announce": answer(ack()),
        "block0": answer(ack()),
        "block1": answer(ack()),
        "block2": answer(ack()),
        "close": answer(ack()),
        "delete": answer(ack()),
    }


# Family A: the opening exchange twice (its write needs no answer), the model read,
# slot 0 (used, size, three name pieces), slot 9 (used), slot 1 (used only), free space, the delete, three
# blocks, two closing frames and three name pieces (none answered), and the probe's opening exchange and
# model read.
STEPS_A = ["prepare_write", "prepare_read", "prepare2_write", "prepare2_read", "model",
           "slot0_used", "slot0_size", "slot0_name4", "slot0_name5", "slot0_name6", "slot9_used", "slot1_used",
           "free_a", "delete_a", "block0_a", "block1_a", "block2_a", "closing1", "closing2",
           "name4", "name5", "name6", "probe_write", "probe_read", "probe_model"]


def septets(value):
    return bytes([value & 0x7F, (value >> 7) & 0x7F, (value >> 14) & 0x7F, (value >> 21) & 0x7F, value >> 28])


def read_a(area, param, value, slot=0):
    """A family A answer to a read: the framed body after the model address, F7 added by the target."""
    return frame(bytes([0x00, 0x00, area, param, 0x00, slot, 0x00, 0x00]) + septets(value))


def block_a(code):
    return frame(bytes([0x00, 0x07, 0x10, 0x00, 0x00, 0x04, 0x00, code]))


def piece(text):
    return int.from_bytes(text.encode("ascii"), "big")


def valid_turns_a():
    quiet = turn(0)
    return {
        "prepare_write": quiet, "prepare_read": answer(read_a(0x00, 0x20, 0)),
        "prepare2_write": quiet, "prepare2_read": answer(read_a(0x00, 0x20, 0)),
        "model": answer(read_a(0x00, 0x00, 2)),
        "slot0_used": answer(read_a(0x10, 0x00, 1)), "slot0_size": answer(read_a(0x10, 0x03, 4321)),
        "slot0_name4": answer(read_a(0x10, 0x04, piece("Morn"))),
        "slot0_name5": answer(read_a(0x10, 0x05, piece("ing "))),
        "slot0_name6": answer(read_a(0x10, 0x06, piece("Song"))),
        "slot9_used": answer(read_a(0x10, 0x00, 0, slot=9)), "slot1_used": answer(read_a(0x10, 0x00, 2, slot=1)),
        "free_a": answer(read_a(0x00, 0x22, 0x12345)), "delete_a": quiet,
        "block0_a": answer(block_a(0)), "block1_a": answer(block_a(0)), "block2_a": answer(block_a(0)),
        "closing1": quiet, "closing2": quiet, "name4": quiet, "name5": quiet, "name6": quiet,
        "probe_write": quiet, "probe_read": answer(read_a(0x00, 0x20, 0)), "probe_model": answer(read_a(0x00, 0x00, 2)),
    }


def script_a(turns):
    return b"".join(turns[step] for step in STEPS_A if step in turns)


# Family B: the model read, slot 0 (size, name), slot 9 (size), free memory, the
# largest song, the delete and the closing frames (not answered), three blocks, and the probe's model read.
STEPS_B = ["model_b", "slot0_size_b", "slot0_name_b", "slot9_size_b", "free_b", "max_b", "delete_b",
           "block0_b", "block1_b", "block2_b", "closing1_b", "closing2_b", "probe_b"]


def read_b(area, param, value, slot=0, mark=0):
    """A family B answer to a read, from byte 4 on: a five-septet number, or the bytes given."""
    tail = value if isinstance(value, bytes) else septets(value)
    return frame(bytes([0x00, 0x02, area, 0x00, slot, 0, 0, 0, 0, param, 0, 0, mark]) + tail)


def block_b(code):
    return frame(bytes([0x00, code, 0x21, 0x00, 0x04, 0x00]))


def valid_turns_b():
    quiet = turn(0)
    return {
        "model_b": answer(read_b(0x00, 0x00, b"\x02")),
        "slot0_size_b": answer(read_b(0x21, 0x02, 4321)), "slot0_name_b": answer(read_b(0x21, 0x00, b"Evening Song", mark=0x0B)),
        "slot9_size_b": answer(read_b(0x21, 0x02, 0, slot=9)),
        "free_b": answer(read_b(0x00, 0x22, 0x12345)), "max_b": answer(read_b(0x00, 0x23, 65536)),
        "delete_b": quiet, "block0_b": answer(block_b(0)), "block1_b": answer(block_b(2)), "block2_b": answer(block_b(0)),
        "closing1_b": quiet, "closing2_b": quiet, "probe_b": answer(read_b(0x00, 0x00, b"\x03")),
    }


def script_b(turns):
    return b"".join(turns[step] for step in STEPS_B if step in turns)


def script(turns):
    return b"".join(turns[step] for step in STEPS if step in turns)


def main():
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] not in ("a", "b", "c")):
        sys.stderr.write(__doc__)
        return 2
    out = sys.argv[1]
    family = sys.argv[2] if len(sys.argv) == 3 else "c"
    os.makedirs(out, exist_ok=True)
    rng = random.Random(7)
    files = {"silence": b""}

    for model in (2, 11, 21, 0x7F):
        files[f"valid_model_{model}"] = script(valid_turns(model))

    # A refusal with each code at each step, the steps before and after it answered well.
    for index, step in enumerate(STEPS):
        for code in ERROR_CODES:
            turns = valid_turns()
            turns[step] = answer(refusal(code))
            files[f"refuse_{step}_code_{code}"] = script(turns)
    for code in ERROR_CODES:
        files[f"refuse_everything_code_{code}"] = script({step: answer(refusal(code)) for step in STEPS})

    # Resends: the first block asked for again and again until the program gives up, and a resend that works.
    turns = valid_turns()
    files["resend_exhausted"] = script({k: v for k, v in turns.items() if not k.startswith("block")
                                        and k not in ("close", "delete")}) + answer(refusal(7)) * 6
    # Asked again for ever: the program must give up after its resends rather than keep sending.
    files["resend_for_ever"] = answer(refusal(9)) * 40
    files["resend_then_ack"] = (script({k: turns[k] for k in STEPS[:7]}) + answer(refusal(8)) + answer(ack())
                                + answer(ack()) + answer(ack()) + answer(ack()) + answer(ack()))

    # Answers the program must pass over: too short for what a step reads, another address, no closing F7,
    # bytes with bit 7 set, unknown models, empty frames.
    junk = {
        "short_ack": answer(frame(b"", framed=True)),
        "bare_ack": answer(frame(bytes([0xF0, 0x44, 0x14, 0x00, ACK, 0xF7]), framed=False)),
        "bare_refusal_without_code": answer(frame(bytes([0xF0, 0x44, 0x14, 0x00, REFUSED, 0xF7]), framed=False)),
        "other_address": answer(frame(bytes([0xF0, 0x44, 0x14, 0x01, ACK, 1, 0, 0, 0, 0, 0, 0xF7]), framed=False)),
        "no_end_byte": answer(frame(bytes([0xF0, 0x44, 0x14, 0x00, ACK, 1, 0, 0, 0, 0, 0, 0]), framed=False)),
        "high_bits": answer(frame(bytes([ACK, 0x81]) + b"\xFF" * 20)),
        "empty_frames": answer(frame(b"", framed=False), frame(b"", framed=False)),
        "lone_sysex_bytes": answer(frame(b"\xF0", framed=False), frame(b"\xF7", framed=False)),
    }
    for name, bad in junk.items():
        files[f"junk_{name}_everywhere"] = bad * len(STEPS)
        turns = valid_turns()
        for step in STEPS:
            # Junk first, then the good answer a millisecond later: the program must still take the good one.
            good = turns[step][1:]
            turns[step] = turn((bad[0] & 3) + 1) + bad[1:] + good
        files[f"junk_{name}_then_valid"] = script(turns)
    files["junk_random"] = bytes(rng.randrange(256) for _ in range(600))
    files["junk_random_framed"] = b"".join(
        answer(frame(bytes(rng.randrange(128) for _ in range(rng.randrange(1, 30)))))
        for _ in STEPS)

    # Identification oddities: an unknown model byte, a model that needs its information but whose answer
    # is too short to carry it, upper model-info bits, and a good answer after unusable ones.
    for label, first in {
        "unknown_model": identity(0x55),
        "model_info_missing": frame(bytes([0x00, 21])),
        "model_info_high_bits": identity(21, b"\x7F\x7F\x7F\x7F"),
        "model_byte_zero": identity(0),
    }.items():
        turns = valid_turns()
        turns["identity"] = answer(first, identity(11))
        files[f"identity_{label}"] = script(turns)

    # Slot answers: names of every length around the field's size, odd statuses, sizes at the limits.
    for length in (0, 1, 30, 31, 32, 33, 35, 36, 300):
        turns = valid_turns()
        turns["slot0"] = answer(slot(1, 0xFFFFFFFF, bytes((i % 94) + 33 for i in range(length))))
        files[f"slot_name_{length}_bytes"] = script(turns)
    for status in (0, 2, 0x7F):
        turns = valid_turns()
        turns["slot0"] = answer(slot(status, 1000, b"Not mine"))
        files[f"slot_status_{status}"] = script(turns)

    # Longer than the 1024-byte input buffer: framed (the F7 is cut off) and raw.
    for step in ("identity", "slot0", "free", "block0", "close", "delete"):
        turns = valid_turns()
        turns[step] = answer(frame(bytes([ACK, 1]) + b"\x41" * 1140))
        files[f"over_long_{step}"] = script(turns)
    files["over_long_raw"] = answer(frame(b"\xF0\x44\x14\x00\x06" + b"\x01" * 1100 + b"\xF7", framed=False)) * 12
    files["exactly_buffer_size"] = answer(frame(b"\xF0\x44\x14\x00\x06" + b"\x01" * 1018 + b"\xF7",
                                                framed=False)) * 12

    # Timing: every answer late (after the time-out, so it meets the next step), answers bunched into one
    # instant, answers just inside the time-out.
    for label, options in {"late": dict(delay=3), "just_in_time": dict(delay=2), "bunched": dict(together=True)}.items():
        turns = valid_turns()
        for step in STEPS:
            body = turns[step][1:]
            turns[step] = turn(1 if label != "bunched" else 3, **options) + body * (3 if label == "bunched" else 1)
        files[f"timing_{label}"] = script(turns)

    # The closing wait: silence with Cancel at each moment, and an answer racing the Cancel.
    for cancel in range(4):
        turns = valid_turns()
        turns["close"] = turn(0, cancel=cancel)
        files[f"close_silent_cancel_{cancel}"] = script({k: turns[k] for k in STEPS[:11]})
        turns["close"] = answer(ack(), delay=2, cancel=cancel)
        files[f"close_answer_races_cancel_{cancel}"] = script(turns)
        turns["close"] = answer(frame(b"junk", framed=False), delay=1, cancel=cancel)
        files[f"close_junk_then_cancel_{cancel}"] = script(turns)
    turns = valid_turns()
    files["input_ends_before_close"] = script({k: turns[k] for k in STEPS[:10]})

    # Family A: everything answered, not ready, each block code, endless starting over, unnamed pieces, and
    # answers cut short or sent for another parameter first.
    files["family_a_valid"] = script_a(valid_turns_a())
    turns = valid_turns_a()
    turns["prepare2_read"] = answer(read_a(0x00, 0x20, 1))
    files["family_a_not_ready"] = script_a(turns)
    for code in (2, 3, 0x0F, 0x13):
        turns = valid_turns_a()
        turns["block1_a"] = answer(block_a(code))
        files[f"family_a_block_code_{code}"] = script_a(turns)
    files["family_a_start_over_for_ever"] = script_a({k: v for k, v in valid_turns_a().items()
                                                      if STEPS_A.index(k) < STEPS_A.index("block0_a")}) + \
        answer(block_a(3)) * 12
    turns = valid_turns_a()
    turns["slot0_name5"] = answer(read_a(0x10, 0x05, 0x41014243))
    files["family_a_name_with_control_byte"] = script_a(turns)
    turns = valid_turns_a()
    for step in STEPS_A:
        good = turns[step]
        if good[0] & 3:
            cut = frame(bytes([0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00]))
            other = read_a(0x00, 0x7E, 0x7F7F7F7F)
            turns[step] = turn((good[0] & 3) + 2) + cut + other + good[1:]
    files["family_a_short_and_other_answers_first"] = script_a(turns)

    # Family B: everything answered, each stop code, silence for the long wait, a name with a zero, short
    # answers first.
    files["family_b_valid"] = script_b(valid_turns_b())
    for code in (0x0B, 0x0C, 0x0F, 0x4B):
        turns = valid_turns_b()
        turns["block1_b"] = answer(block_b(code))
        files[f"family_b_block_code_{code}"] = script_b(turns)
    files["family_b_silent_free_memory"] = script_b({k: v for k, v in valid_turns_b().items()
                                                     if STEPS_B.index(k) < STEPS_B.index("free_b")})
    turns = valid_turns_b()
    turns["slot0_name_b"] = answer(read_b(0x21, 0x00, b"abc\x00defghijk", mark=0x0B))
    files["family_b_name_with_zero"] = script_b(turns)
    turns = valid_turns_b()
    for step in STEPS_B:
        good = turns[step]
        if good[0] & 3 and not step.startswith("block"):
            cut = frame(bytes([0x00, 0x02, 0x21, 0x00, 0x00, 0, 0, 0, 0, 0x02, 0, 0, 0]))
            turns[step] = turn((good[0] & 3) + 1) + cut + good[1:]
    files["family_b_short_answers_first"] = script_b(turns)

    # Families A and B: each step left silent in turn (the steps before it answered well), and junk frames.
    for prefix, steps, valid, build in (("family_a", STEPS_A, valid_turns_a, script_a),
                                        ("family_b", STEPS_B, valid_turns_b, script_b)):
        files[f"{prefix}_silence"] = b""
        for step in steps:
            turns = valid()
            if turns[step][0] & 3:
                turns[step] = turn(0)
                files[f"{prefix}_silent_{step}"] = build(turns)
        files[f"{prefix}_junk_random_framed"] = b"".join(
            answer(frame(bytes(rng.randrange(128) for _ in range(rng.randrange(1, 30))))) for _ in steps)

    # Each target takes the seeds of its own family.
    def family_of(name):
        return "a" if name.startswith("family_a_") else "b" if name.startswith("family_b_") else "c"

    files = {name: data for name, data in files.items() if family_of(name) == family}
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
