#!/usr/bin/env python3
"""Assembles the page: writes the page's own files (web/page/) into the folder that already holds what the
build made (the core, core.js and core.wasm, and the app icons), each with the page's version written in.

Usage: assemble_page.py PAGE_SOURCES OUTPUT_FOLDER BUILT_FILE...

The version is a hash of every file the page is made of: the page's own files as written in the source tree and
the files the build made. Any change to any of them (a fix in the page, a rebuilt core) gives a new version, so a
returning visitor's browser sees a new service worker and takes the new files; the same files give the same
version and the same bytes, whenever and wherever they are built. Every file asks for the others by this version
("core.js?v=..."), so that a host's cache never hands one build's file to another build's page.

In the page's files, @SU_VERSION@ becomes the version and @SU_WEB_CACHED@ the list of files the service worker
keeps for the page to open without a network (as a script's list of strings): every file of the page but the
page itself and the worker. Then every script of the page (*.js) is minified (web/minify_page.mjs, Terser; no
source maps): the same sources give the same minified bytes. The built files come minified by the build. Last,
@SU_WEB_DIGESTS@ in the worker becomes the SHA-256 (its first 64 bits) of each file it keeps, as shipped, in
the list's order, so that it takes a version only when every file the host hands over is that version's. The
style sheet and the page ship without their comments.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

VERSION_DIGITS = 16  # 64 bits: two builds of the page never meet under one version
UNCACHED = ('index.html', 'sw.js')
# The worker's check of each file: the first 64 bits of its SHA-256, as wide as the version, since what it guards
# against is another build's file, not a forgery (whoever could forge one also serves the worker itself); the
# full digests would cost the page a third of a kilobyte of its weight budget.
DIGEST_DIGITS = 16
# Comments in the style sheet and the page, which the browser never needs: left out of what ships.
COMMENTS = {'.css': re.compile(rb'/\*.*?\*/\n?', re.S), '.html': re.compile(rb'<!--.*?-->\n?', re.S)}


def read(path):
    with open(path, 'rb') as handle:
        return handle.read()


def version_of(files):
    """The hash of (name, contents) of every file, in the order of their names."""
    digest = hashlib.sha256()
    for name in sorted(files):
        body = files[name]
        digest.update(b'%s\0%d\0' % (name.encode('utf-8'), len(body)))
        digest.update(body)
    return digest.hexdigest()[:VERSION_DIGITS]


def minified(scripts):
    """{name: bytes} of the scripts given, each minified by web/minify_page.mjs."""
    if not scripts:
        return {}
    node = shutil.which('node') or shutil.which('nodejs')
    if node is None:
        raise SystemExit('assemble_page.py: Node.js is needed to minify the page\'s scripts')
    env = dict(os.environ, NODE_PATH=os.pathsep.join(p for p in ('/usr/share/nodejs', os.environ.get('NODE_PATH'))
                                                          if p))
    with tempfile.TemporaryDirectory() as scratch:
        for name, body in scripts.items():
            with open(os.path.join(scratch, name), 'wb') as handle:
                handle.write(body)
        subprocess.run([node, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'minify_page.mjs')] +
                       [os.path.join(scratch, name) for name in sorted(scripts)], check=True, env=env)
        return {name: read(os.path.join(scratch, name)) for name in scripts}


def assemble(sources, output, built):
    page = {name: read(os.path.join(sources, name)) for name in sorted(os.listdir(sources))
            if os.path.isfile(os.path.join(sources, name))}
    made = {name: read(os.path.join(output, name)) for name in built}
    clash = set(page) & set(made)
    if clash:
        raise SystemExit('assemble_page.py: both a page file and a built file: %s' % ', '.join(sorted(clash)))
    version = version_of({**page, **made}).encode('ascii')
    kept = list(built) + [n for n in page if n not in UNCACHED]
    cached = ', '.join("'%s'" % name for name in kept)
    shipped = {name: body.replace(b'@SU_VERSION@', version).replace(b'@SU_WEB_CACHED@', cached.encode('utf-8'))
               for name, body in page.items()}
    shipped.update(minified({name: body for name, body in shipped.items() if name.endswith('.js')}))
    for name, body in shipped.items():
        comment = COMMENTS.get(os.path.splitext(name)[1])
        if comment:
            shipped[name] = comment.sub(b'', body)
    # The worker checks each file it keeps against its SHA-256, of the bytes as shipped (so after minifying).
    final = {**made, **shipped}
    digests = ' '.join(hashlib.sha256(final[name]).hexdigest()[:DIGEST_DIGITS] for name in kept).encode('ascii')
    if 'sw.js' in shipped:
        shipped['sw.js'] = shipped['sw.js'].replace(b'@SU_WEB_DIGESTS@', digests)
    for name, body in shipped.items():
        with open(os.path.join(output, name), 'wb') as handle:
            handle.write(body)
    return version.decode('ascii')


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    print(assemble(sys.argv[1], sys.argv[2], sys.argv[3:]))


if __name__ == '__main__':
    main()
