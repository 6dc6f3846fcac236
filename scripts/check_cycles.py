#!/usr/bin/env python3
"""Fails on any dependency cycle in the project's sources.

Three graphs are checked:
  - files: each unit (X.h with X.cpp) points at the units whose headers it includes;
  - folders: each source folder points at the folders whose headers its files include;
  - libraries: each CMake library points at the project libraries it links.
A cycle in any of them is printed with its members and the script exits 1.

Includes are resolved as the compiler would: a folder-qualified name ("core/Processor.h") from
the source root, a plain one from the including file's folder first and then by its name
anywhere in the scanned folders. Headers from outside the project (Qt, the standard library) and
generated ones are left out.

Usage: check_cycles.py SOURCE_ROOT
"""
import os
import re
import sys

# The folders that hold the program's own code; tests, benchmarks and fuzz targets only add
# edges out of these, never into them, so they cannot close a cycle and are left out.
SCANNED = ("platform", "lang", "core", "history", "jit", "setup", "asm", "debug", "tools", "ui",
           "app", "plugins")
SOURCE_EXTENSIONS = (".h", ".hpp", ".c", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def source_files(root):
    for top in SCANNED:
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if name.endswith(SOURCE_EXTENSIONS):
                    yield os.path.relpath(os.path.join(folder, name), root)


def include_edges(root, files):
    by_name = {}
    for f in files:
        by_name.setdefault(os.path.basename(f), []).append(f)
    known = set(files)
    edges = {f: set() for f in files}
    for f in files:
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            for name in INCLUDE.findall(text.read()):
                local = os.path.normpath(os.path.join(os.path.dirname(f), name))
                if name in known:
                    target = name
                elif local in known:
                    target = local
                elif len(by_name.get(os.path.basename(name), [])) == 1:
                    target = by_name[os.path.basename(name)][0]
                else:
                    continue  # outside the project, generated, or ambiguous
                edges[f].add(target)
    return edges


def collapse(edges, key):
    graph = {}
    for f, targets in edges.items():
        node = key(f)
        graph.setdefault(node, set())
        for t in targets:
            if key(t) != node:
                graph[node].add(key(t))
            graph.setdefault(key(t), set())
    return graph


def cycles(graph):
    """The strongly connected components of more than one node (Tarjan, without recursion)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter
                    counter += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(graph[child]))))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    found.append(sorted(component))
    return found


def library_graph(root):
    calls = {}
    libraries = set()
    for folder, _, names in os.walk(root):
        if "CMakeLists.txt" not in names or "/build" in folder or "/.git" in folder:
            continue
        with open(os.path.join(folder, "CMakeLists.txt"), encoding="utf-8") as text:
            content = re.sub(r"#[^\n]*", "", text.read())
        libraries.update(re.findall(r"add_library\s*\(\s*([\w-]+)", content))
        for args in re.findall(r"target_link_libraries\s*\(([^)]*)\)", content):
            words = args.split()
            calls.setdefault(words[0], set()).update(words[1:])
    return {lib: {d for d in calls.get(lib, ()) if d in libraries and d != lib}
            for lib in libraries}


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    files = sorted(source_files(root))
    edges = include_edges(root, files)
    graphs = {
        "file": collapse(edges, lambda f: os.path.splitext(f)[0]),
        "folder": collapse(edges, os.path.dirname),
        "library": library_graph(root),
    }
    failed = False
    for kind, graph in graphs.items():
        for component in cycles(graph):
            failed = True
            print(f"{kind} cycle: " + " <-> ".join(component))
    if not failed:
        print(f"no cycles among {len(graphs['file'])} units, {len(graphs['folder'])} folders "
              f"and {len(graphs['library'])} libraries")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
