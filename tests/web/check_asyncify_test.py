#!/usr/bin/env python3
"""The Asyncify list's check (web/core/check_asyncify.py) on small modules as binaryen's wasm-dis prints them:
which functions it finds on a waiting path, and when it fails the build.
Run: python3 tests/web/check_asyncify_test.py"""
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', '..', 'web', 'core'))
import check_asyncify  # noqa: E402

GLUE = 'function __asyncjs__su_pause(ms) {}'
STATE = '$global$3'


def module(functions, table=(), instrumented=()):
    """A module with the import su_pause (a wait), `functions` as {name: (signature, body lines)} and the table."""
    lines = [' (type $i32_=>_none (func (param i32)))', ' (type $i32_=>_i32 (func (param i32) (result i32)))',
             ' (import "a" "a" (func $su_pause (param i32)))',
             ' (import "a" "b" (func $invoke_vi (param i32 i32)))']
    if table:
        lines.append(' (elem (i32.const 1) %s)' % ' '.join('$' + name for name in table))
    for name, (signature, body) in functions.items():
        lines.append(' (func $%s %s' % (name.replace(' ', '\\20'), signature))  # as wasm-dis escapes it
        if name in instrumented:
            lines.append('  (drop (global.get %s))' % STATE)
        lines += ['  ' + line for line in body] + [' )']
    lines += [' (func $asyncify_stop_unwind', '  (global.set %s' % STATE, '   (i32.const 0)', '  )', ' )']
    return '\n'.join(lines) + '\n'


VOID = '(param $0 i32)'
INT = '(param $0 i32) (result i32)'


class WaitingPaths(unittest.TestCase):
    # (case, functions, table, instrumented, never, runtime, functions the check must name)
    CASES = [
        ('a direct caller of a wait must be instrumented',
         {'su_send': (VOID, ['(call $su_pause (local.get $0))'])}, (), (), [], [], ['su_send']),
        ('and its callers too, however far up',
         {'wait': (VOID, ['(call $su_pause (local.get $0))']), 'mid': (VOID, ['(call $wait (local.get $0))']),
          'su_list': (VOID, ['(call $mid (local.get $0))'])}, (), ('wait',), [], [], ['mid', 'su_list']),
        ('a call through the table reaches every function of the same type',
         {'wait': (VOID, ['(call $su_pause (local.get $0))']),
          'virtual': (VOID, ['(call_indirect (type $i32_=>_none) (local.get $0) (i32.const 1))'])},
         ('wait',), ('wait',), [], [], ['virtual']),
        ('but no function of another type',
         {'wait': (VOID, ['(call $su_pause (local.get $0))']),
          'other': (INT, ['(call_indirect (type $i32_=>_i32) (local.get $0) (i32.const 1))'])},
         ('wait',), ('wait',), [], [], []),
        ('an invoke_ trampoline with a constant reaches the function it names',
         {'wait': (VOID, ['(call $su_pause (local.get $0))']), 'quiet': (VOID, ['(nop)']),
          'calls_wait': (VOID, ['(call $invoke_vi', ' (i32.const 1)', ' (local.get $0)', ')']),
          'calls_quiet': (VOID, ['(call $invoke_vi', ' (i32.const 2)', ' (local.get $0)', ')'])},
         ('wait', 'quiet'), ('wait',), [], [], ['calls_wait']),
        ('an invoke_ trampoline with a pointer reaches every function of its type',
         {'wait': (VOID, ['(call $su_pause (local.get $0))']),
          'pointer': (VOID, ['(call $invoke_vi', ' (local.get $0)', ' (local.get $0)', ')'])},
         ('wait',), ('wait',), [], [], ['pointer']),
        ('the runtime\'s calls through the table are not followed',
         {'wait': (VOID, ['(call $su_pause (local.get $0))']),
          'operator new': (VOID, ['(call_indirect (type $i32_=>_none) (local.get $0) (i32.const 1))'])},
         ('wait',), ('wait',), [], ['operator new'], []),
        ('a function that must never be instrumented is refused when it is',
         {'su::conv::Read': (VOID, ['(nop)']), 'wait': (VOID, ['(call $su_pause (local.get $0))'])},
         (), ('wait', 'su::conv::Read'), ['su::conv::*'], [], ['su::conv::Read']),
        ('every waiting function instrumented passes',
         {'wait': (VOID, ['(call $su_pause (local.get $0))']), 'su_send': (VOID, ['(call $wait (local.get $0))']),
          'su::conv::Read': (VOID, ['(nop)'])},
         (), ('wait', 'su_send'), ['su::conv::*'], [], []),
    ]

    def test_the_check_names_exactly_the_functions_at_fault(self):
        for case, functions, table, instrumented, never, runtime, named in self.CASES:
            with self.subTest(case):
                problems, _, _ = check_asyncify.check(GLUE, module(functions, table, instrumented), never, runtime)
                self.assertEqual(len(problems), len(named), problems)
                for name in named:
                    self.assertTrue(any(p.startswith(name + ' ') for p in problems), (name, problems))

    def test_a_core_without_asyncify_or_waits_fails(self):
        no_state = module({'f': (VOID, ['(nop)'])}).replace('(global.set', '(nop')
        self.assertTrue(check_asyncify.check(GLUE, no_state, [], [])[0])
        self.assertTrue(check_asyncify.check('no waits here', module({'f': (VOID, ['(nop)'])}), [], [])[0])

    def test_the_shipped_module_loses_only_its_names(self):
        name_section = b'\x00\x09\x04name\x01\x02\x00\x00'
        code = b'\x01\x04\x01\x60\x00\x00'
        head = b'\x00asm\x01\x00\x00\x00'
        self.assertEqual(check_asyncify.without_names(head + code + name_section), head + code)
        self.assertEqual(check_asyncify.without_names(head + code), head + code)


if __name__ == '__main__':
    unittest.main()
