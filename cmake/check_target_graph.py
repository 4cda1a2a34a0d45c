#!/usr/bin/env python3
"""Fails when the CMake target graph (cmake --graphviz) has a cycle among the product's rk_* targets."""
import collections
import re
import sys

text = open(sys.argv[1]).read()
names = dict(re.findall(r'"(node\d+)" \[ label = "([^"]+)"', text))
edges = collections.defaultdict(set)
for a, b in re.findall(r'"(node\d+)" -> "(node\d+)"', text):
    if names[a].startswith('rk_') and names[b].startswith('rk_'):
        edges[names[a]].add(names[b])

state, cycles = {}, []


def visit(node, path):
    state[node] = 1
    path.append(node)
    for nxt in sorted(edges[node]):
        if state.get(nxt) == 1:
            cycles.append(path[path.index(nxt):] + [nxt])
        elif nxt not in state:
            visit(nxt, path)
    path.pop()
    state[node] = 2


for n in sorted(edges):
    if n not in state:
        visit(n, [])
for c in cycles:
    print('target cycle: ' + ' -> '.join(c), file=sys.stderr)
print('%d rk_* targets, %d cycles' % (len(edges), len(cycles)))
sys.exit(1 if cycles else 0)
