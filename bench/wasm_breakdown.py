#!/usr/bin/env python3
"""Where the page's core.wasm spends its bytes: by function and by where each function comes from.

Usage: wasm_breakdown.py CORE_WASM [OBJECT_OR_ARCHIVE...] [--top N]

CORE_WASM must carry its function names (the link's --profiling-funcs; the shipped core has none). Each
function is put in the group of the folder whose object defines it (our own folders: converter, base, midi,
transfer, web), else by its name: Asyncify's own functions, exception support (the C++ runtime's throw and catch
and the page's call trampolines), the C++ library, the C library. Sizes are the functions' code as shipped
(the code section), and the other sections apart; gzip figures are of the whole file only, since compression
works across functions.
"""
import collections
import gzip
import os
import re
import subprocess
import sys


def leb(data, at):
    result = shift = 0
    while True:
        byte = data[at]
        at += 1
        result |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return result, at


def name_at(data, at):
    size, at = leb(data, at)
    return data[at:at + size].decode('utf-8', 'replace'), at + size


SECTIONS = {1: 'type', 2: 'import', 3: 'function', 4: 'table', 5: 'memory', 6: 'global', 7: 'export',
            8: 'start', 9: 'element', 10: 'code', 11: 'data', 12: 'datacount', 13: 'tag'}


def read_wasm(path):
    """(section sizes by name, [(function index, body size)], {function index: name}, imported function count)"""
    data = open(path, 'rb').read()
    if data[:4] != b'\0asm':
        raise SystemExit('%s: not a WebAssembly module' % path)
    at = 8
    sections = collections.OrderedDict()
    bodies, names, imported = [], {}, 0
    while at < len(data):
        kind = data[at]
        size, start = leb(data, at + 1)
        end = start + size
        label = SECTIONS.get(kind, 'custom')
        if kind == 0:
            custom, body = name_at(data, start)
            label = 'custom:' + custom
            if custom == 'name':
                while body < end:
                    sub, body = data[body], body + 1
                    sub_size, body = leb(data, body)
                    if sub == 1:
                        count, item = leb(data, body)
                        for _ in range(count):
                            index, item = leb(data, item)
                            names[index], item = name_at(data, item)
                    body += sub_size
        elif kind == 2:
            count, item = leb(data, start)
            for _ in range(count):
                _, item = name_at(data, item)
                _, item = name_at(data, item)
                desc, item = data[item], item + 1
                if desc == 0:
                    imported += 1
                    _, item = leb(data, item)
                elif desc == 1:
                    item += 1
                    flags, item = leb(data, item + 0)
                    _, item = leb(data, item)
                    if flags & 1:
                        _, item = leb(data, item)
                elif desc == 2:
                    flags, item = leb(data, item)
                    _, item = leb(data, item)
                    if flags & 1:
                        _, item = leb(data, item)
                elif desc == 3:
                    item += 2
        elif kind == 10:
            count, item = leb(data, start)
            for i in range(count):
                body_size, body = leb(data, item)
                bodies.append((imported + i, body - item + body_size))
                item = body + body_size
        sections[label] = sections.get(label, 0) + (end - at)
        at = end
    return data, sections, bodies, names, imported


def defined_by(objects):
    """{demangled function name: our folder} from the symbols each object defines (emnm)."""
    owner = {}
    for path in objects:
        out = subprocess.run(['emnm', '-C', '--defined-only', path], capture_output=True, text=True).stdout
        member = path
        for line in out.splitlines():
            if line.endswith(':') and not line.startswith(' '):
                member = line[:-1]
                continue
            parts = line.split(' ', 2)
            if len(parts) == 3 and parts[1] in 'TtWw':
                owner.setdefault(parts[2], folder_of(member))
    return owner


ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAYERS = ('converter', 'base', 'midi', 'transfer', 'web')
# An archive names its members by file name alone: each is found again among our sources.
SOURCES = {}
for layer in LAYERS:
    for folder, _, files in os.walk(os.path.join(ROOT, layer)):
        for file in files:
            if file.endswith('.cpp'):
                SOURCES.setdefault(file, layer)


def folder_of(member):
    return SOURCES.get(re.sub(r'\.o$', '', os.path.basename(member)), 'other objects')


def group_of(name, owner):
    bare = re.sub(r'\(.*$', '', name)
    if bare.startswith('std::') and '__cxa' not in bare:
        return 'C++ library'
    if name in owner:
        return owner[name]
    for known, folder in owner.items():
        if re.sub(r'\(.*$', '', known) == bare:
            return folder
    if name.startswith('asyncify_') or name.startswith('byn$'):
        return 'Asyncify'
    if re.search(r'__cxa_|__cxxabiv1|_Unwind|setThrew|getTempRet|__resumeException|invoke_|std::exception|'
                 r'std::bad_|std::terminate|demangl|__gxx_personality|__cxa', name):
        return 'exceptions'
    if 'std::' in name or name.startswith('operator ') or '__cxx' in name or 'abi::' in name:
        return 'C++ library'
    return 'C library and runtime'


def main():
    args = sys.argv[1:]
    top = 25
    if '--top' in args:
        at = args.index('--top')
        top = int(args[at + 1])
        del args[at:at + 2]
    if not args:
        raise SystemExit(__doc__)
    data, sections, bodies, names, imported = read_wasm(args[0])
    if not names:
        raise SystemExit('%s carries no function names: link it with --profiling-funcs' % args[0])
    owner = defined_by(args[1:])
    groups = collections.Counter()
    counts = collections.Counter()
    for index, size in bodies:
        group = group_of(names.get(index, '?'), owner)
        groups[group] += size
        counts[group] += 1
    print('%s: %d bytes, %d gzip-compressed' % (args[0], len(data), len(gzip.compress(data, 9))))
    print('sections:')
    for label, size in sections.items():
        print('  %-24s %8d' % (label, size))
    print('code by origin (%d functions):' % len(bodies))
    for group, size in groups.most_common():
        print('  %-24s %8d  (%d functions)' % (group, size, counts[group]))
    print('largest functions:')
    for index, size in sorted(bodies, key=lambda b: -b[1])[:top]:
        name = names.get(index, '?')
        print('  %8d  %-12s %s' % (size, group_of(name, owner), name[:110]))


if __name__ == '__main__':
    main()
