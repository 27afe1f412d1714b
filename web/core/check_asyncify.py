#!/usr/bin/env python3
"""Checks that every function of the page's core that can wait for the browser is instrumented by Asyncify, and
that none of the functions that must stay fast is; then writes the core as the page ships it, without names.

Usage: check_asyncify.py CORE_JS NAMED_WASM SHIPPED_WASM [--never PATTERN]... [--runtime PATTERN]...

The core is linked with its function names (--profiling-funcs) and Asyncify limited to a list of functions
(core/asyncify_only.json): a function on a waiting path that the list leaves out would not be suspended and
resumed with the rest, and the page would break at its first wait. So the list is never trusted: this check
reads the linked module itself (binaryen's wasm-dis prints it) and walks its call graph back from every import
that waits (the core's EM_ASYNC_JS functions, which the glue in CORE_JS marks __asyncjs__):
- a direct call is an edge to its callee;
- a call through the function table (a virtual call, a function pointer) may reach every function of the table
  with the same parameters and results;
- a call through one of the glue's invoke_ trampolines (a call that an exception may leave) is an edge to the
  function it names when its first argument is a constant, otherwise like a call through the table.
Every function from which a wait can be reached must be instrumented (it reads Asyncify's state, the global
that asyncify_stop_unwind sets), or the build fails naming it. A function whose name matches a --never pattern
(the converter, the song's measuring) must not be instrumented. The C and C++ runtime's own calls through the
table (a --runtime pattern: the allocator's new handler, the type information's searches of a cast or a catch)
reach only the runtime's own functions, never the page's, so they are not followed. On success the module is
written to SHIPPED_WASM without its name section.
"""
import collections
import fnmatch
import re
import shutil
import subprocess
import sys

NAME = r'\$[^\s()]+'
FUNC = re.compile(r'^ \(func (' + NAME + r')(.*)$')
IMPORT = re.compile(r'^ \(import "[^"]*" "[^"]*" \(func (' + NAME + r')(.*)\)\)$')
PARAMS = re.compile(r'\(param(?: \$\S+)? ([^()]*)\)')
RESULT = re.compile(r'\(result ([^()]*)\)')
ELEM = re.compile(r'^ \(elem \(i32\.const (\d+)\)((?: ' + NAME + r')*)\)$')
TYPE = re.compile(r'^ \(type (' + NAME + r') \(func(.*)\)\)$')
CALL = re.compile(r'\((call|return_call) (' + NAME + r')(\s*\(i32\.const (-?\d+)\))?')
CALL_INDIRECT = re.compile(r'\((?:return_)?call_indirect(?: ' + NAME + r')? \(type (' + NAME + r')\)')
GLOBAL_SET = re.compile(r'\(global\.set (' + NAME + r')')
INVOKE = re.compile(r'^\$(?:legalimport\$)?invoke_([vijfd])([ijfd]*)$')
LETTER = {'v': '', 'i': 'i32', 'j': 'i64', 'f': 'f32', 'd': 'f64'}


def readable(name):
    """The function's name as the list and the user write it (wasm-dis escapes some characters as \\XX)."""
    return re.sub(r'\\([0-9a-fA-F]{2})', lambda m: chr(int(m.group(1), 16)), name[1:])


def signature(rest):
    params = tuple(t for group in PARAMS.findall(rest) for t in group.split())
    results = tuple(t for group in RESULT.findall(rest) for t in group.split())
    return params, results


def parse(wat):
    """Functions with their signatures, bodies and calls; the table; the types by name."""
    sigs, bodies, table, types, imports = {}, {}, {}, {}, set()
    current = None
    for line in wat.splitlines():
        match = IMPORT.match(line)
        if match:
            sigs[match.group(1)] = signature(match.group(2))
            imports.add(match.group(1))
            continue
        match = FUNC.match(line)
        if match:
            current = match.group(1)
            sigs[current] = signature(match.group(2))
            bodies[current] = []
            continue
        match = ELEM.match(line)
        if match:
            for offset, name in enumerate(match.group(2).split()):
                table[int(match.group(1)) + offset] = name
            current = None
            continue
        match = TYPE.match(line)
        if match:
            types[match.group(1)] = signature(match.group(2))
            continue
        if line.startswith(' (') and not line.startswith('  '):
            current = None
        elif current is not None:
            bodies[current].append(line)
    return sigs, {name: '\n'.join(lines) for name, lines in bodies.items()}, table, types, imports


def callees(body, sigs, table, types, through_table=True):
    """Every function a body may call, by the rules of the module's docstring; through_table False: only the
    functions it names (a runtime function's own calls through the table reach only the runtime's functions)."""
    by_sig = collections.defaultdict(set)
    for name in table.values():
        by_sig[sigs.get(name)].add(name)
    found = set()
    for kind, name, _, constant in CALL.findall(body):
        invoke = INVOKE.match(name)
        if not invoke:
            found.add(name)
            continue
        result, params = invoke.groups()
        if constant:
            found.add(table.get(int(constant), name))
        elif through_table:
            found |= by_sig[(tuple(LETTER[p] for p in params), (LETTER[result],) if LETTER[result] else ())]
    for type_name in CALL_INDIRECT.findall(body) if through_table else ():
        found |= by_sig[types[type_name]]
    return found


def matches(name, patterns):
    return any(fnmatch.fnmatchcase(readable(name), pattern) for pattern in patterns)


def check(core_js, wat, never, runtime):
    sigs, bodies, table, types, imports = parse(wat)
    waits = {'$' + name for name in set(re.findall(r'__asyncjs__(\w+)', core_js))}
    if not waits or not waits <= imports:
        return ['the core imports none of the waits its glue names (%s)' % ', '.join(sorted(waits))], 0, 0
    state = GLOBAL_SET.findall(bodies.get('$asyncify_stop_unwind', ''))
    if not state:
        return ['the core has no Asyncify state: it was not linked with -sASYNCIFY'], 0, 0
    callers = collections.defaultdict(set)
    for name, body in bodies.items():
        for callee in callees(body, sigs, table, types, not matches(name, runtime)):
            callers[callee].add(name)
    waiting, todo = set(), list(waits)
    while todo:
        for caller in callers[todo.pop()]:
            if caller not in waiting:
                waiting.add(caller)
                todo.append(caller)
    instrumented = {name for name, body in bodies.items()
                    if '(global.get %s)' % state[0] in body and not name.startswith('$asyncify_')}
    problems = ['%s can wait for the browser but is not instrumented: add it to web/core/asyncify_only.json'
                % readable(name) for name in sorted(waiting - instrumented)]
    for name in sorted(instrumented):
        if matches(name, never):
            problems.append('%s is instrumented but must never be: take it out of web/core/asyncify_only.json'
                            % readable(name))
    return problems, len(waiting), len(instrumented)


def without_names(module):
    """The module without its "name" custom section (the shipped page carries no function names)."""
    out, at = bytearray(module[:8]), 8
    while at < len(module):
        size, start, shift = 0, at + 1, 0
        while True:
            byte = module[start]
            start += 1
            size |= (byte & 0x7F) << shift
            shift += 7
            if byte < 0x80:
                break
        end = start + size
        is_name = module[at] == 0 and module[start] == 4 and module[start + 1:start + 5] == b'name'
        if not is_name:
            out += module[at:end]
        at = end
    return bytes(out)


def main():
    args, never, runtime = [], [], []
    argv = sys.argv[1:]
    while argv:
        arg = argv.pop(0)
        if arg == '--never' and argv:
            never.append(argv.pop(0))
        elif arg == '--runtime' and argv:
            runtime.append(argv.pop(0))
        else:
            args.append(arg)
    if len(args) != 3:
        raise SystemExit(__doc__)
    core_js, named, shipped = args
    dis = shutil.which('wasm-dis')
    if dis is None:
        raise SystemExit('check_asyncify.py: wasm-dis (binaryen, installed with Emscripten) is missing')
    wat = subprocess.run([dis, named], check=True, capture_output=True, text=True).stdout
    with open(core_js, encoding='utf-8') as handle:
        problems, waiting, instrumented = check(handle.read(), wat, never, runtime)
    if problems:
        sys.stderr.write('check_asyncify.py: %s\n' % '\ncheck_asyncify.py: '.join(problems))
        raise SystemExit(1)
    with open(named, 'rb') as handle:
        module = handle.read()
    with open(shipped, 'wb') as handle:
        handle.write(without_names(module))
    print('Asyncify: %d functions can wait, %d instrumented' % (waiting, instrumented))


if __name__ == '__main__':
    main()
