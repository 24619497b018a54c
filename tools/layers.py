#!/usr/bin/env python3
"""Lists the includes between the source folders that go up the house, and
include cycles between source files. Exit 1 when there is either.

Layers, lowest first: the shared types (the picture type, the record of a
piece of work, which every feature reads, its checksum, and the resource
numbers), the platform seam (platform/, but for its two implementations), map, markers, route, storage,
and the shell (app/, and the seam's Win32 and fake implementations, which
call the shell). A file may include headers of its own layer and of lower
ones; the tests, benches and tools may include anything. A cycle is a chain of includes between the
headers and sources of the project (a .cpp counts as its .h's partner: a.cpp
includes b.h and b.cpp includes a.h is a cycle between the units a and b).

    tools/layers.py [ROOT]
"""
import os
import re
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
LAYERS = ['shared', 'platform', 'map', 'markers', 'route', 'storage', 'app']
SHARED = {'map/image', 'markers/base_data', 'resources/resource_ids', 'platform/checksum'}
SHELL_SIDE = ('platform/win32/', 'platform/fake/')
FOLDERS = ['platform', 'map', 'markers', 'route', 'storage', 'app', 'resources']
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer_of(path):
    if path.rsplit('.', 1)[0] in SHARED:
        return LAYERS.index('shared')
    if path.startswith(SHELL_SIDE):
        return LAYERS.index('app')
    top = path.split('/')[0]
    return LAYERS.index(top) if top in LAYERS else None


def sources():
    for top in FOLDERS:
        for dirpath, _, names in os.walk(os.path.join(ROOT, top)):
            for n in names:
                if n.endswith(('.h', '.cpp')):
                    full = os.path.join(dirpath, n)
                    yield os.path.relpath(full, ROOT).replace(os.sep, '/')


def main():
    files = sorted(sources())
    includes = {}
    for f in files:
        text = open(os.path.join(ROOT, f), encoding='utf-8').read()
        includes[f] = [i for i in INCLUDE.findall(text) if os.path.exists(os.path.join(ROOT, i))]
    upward = []
    for f, incs in includes.items():
        lf = layer_of(f)
        for i in incs:
            li = layer_of(i)
            if li is not None and li > lf:
                upward.append((f, i))
    # Units: a.h and a.cpp together.
    unit = lambda p: p.rsplit('.', 1)[0]
    graph = {}
    for f, incs in includes.items():
        graph.setdefault(unit(f), set()).update(unit(i) for i in incs if unit(i) != unit(f))
    cycles = []
    state = {}
    stack = []

    def visit(u):
        state[u] = 1
        stack.append(u)
        for v in sorted(graph.get(u, ())):
            if state.get(v) == 1:
                cycles.append(stack[stack.index(v):] + [v])
            elif v not in state:
                visit(v)
        stack.pop()
        state[u] = 2

    for u in sorted(graph):
        if u not in state:
            visit(u)
    for f, i in upward:
        print('upward include: %s includes %s' % (f, i))
    for c in cycles:
        print('include cycle: ' + ' -> '.join(c))
    print('layers: %d upward includes, %d include cycles' % (len(upward), len(cycles)))
    return 1 if upward or cycles else 0


if __name__ == '__main__':
    sys.exit(main())
