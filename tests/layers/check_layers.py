#!/usr/bin/env python3
"""Checks that no folder includes from a folder above it.

The order is the folder table of docs/architecture.md, bottom-up. A row names
a folder ("`engine/`") or files inside one ("`platform/linux/host_run_loop.*`");
a source file belongs to the most specific row that names it. An include of
our own ("folder/file.h") must resolve to a row at or below the including
file's row. The VST 3 SDK's own folders count as the `sdk/` row.
"""
import os
import re
import sys

SDK_FOLDERS = ("pluginterfaces/", "base/", "public.sdk/")
SOURCE_ROOTS = ("rtguard", "kernel", "params", "json", "diagnostics", "platform",
                "ccmap", "banks", "state", "engine", "staging", "sdk", "editor",
                "plugin", "tools")


def read_rows(architecture):
    text = open(architecture, encoding="utf-8").read()
    rows = []
    in_table = False
    for line in text.splitlines():
        if line.startswith("| folder |"):
            in_table = True
            continue
        if in_table:
            if not line.startswith("|"):
                break
            if line.startswith("|---"):
                continue
            cell = line.split("|")[1]
            rows.append(re.findall(r"`([^`]+)`", cell))
    return rows


def row_patterns(rows):
    """(prefix, is_file_glob, row index) for every name in the table."""
    patterns = []
    for index, names in enumerate(rows):
        folder = ""
        for name in names:
            if name.endswith("/"):
                folder = name
                patterns.append((name, False, index))
            else:
                if "/" not in name:  # "`webview_protocol.*`" after a path
                    name = folder + name
                folder = name.rsplit("/", 1)[0] + "/"
                patterns.append((name.rstrip("*"), True, index))
    return patterns


def row_of(path, patterns):
    best = None
    for prefix, is_glob, index in patterns:
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[0])):
            if is_glob and "/" in path[len(prefix):]:
                continue
            best = (prefix, index)
    return None if best is None else best[1]


def main(root):
    rows = read_rows(os.path.join(root, "docs", "architecture.md"))
    patterns = row_patterns(rows)
    sdk_row = row_of("sdk/", patterns)
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
    faults = []
    for top in SOURCE_ROOTS:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root)
                own = row_of(path, patterns)
                if own is None:
                    faults.append(f"{path}: in no row of docs/architecture.md")
                    continue
                text = open(os.path.join(root, path), encoding="utf-8", errors="replace").read()
                for target in include.findall(text):
                    if target.startswith(SDK_FOLDERS):
                        theirs = sdk_row
                    elif os.path.exists(os.path.join(root, target)):
                        theirs = row_of(target, patterns)
                    else:
                        continue  # a neighbour in the same folder, or generated
                    if theirs is not None and theirs > own:
                        faults.append(f"{path} includes {target}, which stands above it")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} layering fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
