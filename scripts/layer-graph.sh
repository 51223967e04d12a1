#!/usr/bin/env bash
# Prints the libraries' dependency graph as CMake generates it (cmake --graphviz), one line
# per library with the libraries it links directly: what the README shows.
#   scripts/layer-graph.sh [BUILD_FOLDER, default build/linux]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/linux}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake --graphviz=graph.dot "$build" >/dev/null)
python3 - "$work/graph.dot" <<'PY'
import re, sys
names, edges = {}, {}
for line in open(sys.argv[1]):
    node = re.match(r'\s*"(node\d+)" \[ label = "([^"]+)"', line)
    if node:
        names[node.group(1)] = node.group(2)
    edge = re.match(r'\s*"(node\d+)" -> "(node\d+)"', line)
    if edge:
        edges.setdefault(edge.group(1), set()).add(edge.group(2))
order = ["kestrel_platform_api", "kestrel_platform", "kestrel_ui", "kestrel_registry",
         "kestrel_archive", "kestrel_outlook", "kestrel_backup", "kestrel_restore",
         "kestrel_scheduler", "kestrel_disc", "kestrel_disc_backend", "kestrel_app", "kestrel_cli", "kestrel_gui",
         "kestrel", "kestrelbak"]
for name in order:
    ids = [i for i, n in names.items() if n == name]
    if not ids:
        continue
    uses = sorted({names[t] for t in edges.get(ids[0], ()) if names[t].startswith("kestrel")},
                  key=lambda n: order.index(n) if n in order else 99)
    print(f"{name:22} -> {' '.join(uses) if uses else '(nothing of ours)'}")
PY
