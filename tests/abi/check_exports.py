#!/usr/bin/python3
"""Compare the dynamic symbol table of the shared library with the header.

The set of functions that include/varnel.h declares with VARNEL_API and the
set of symbols that the library defines in its dynamic table must be equal:
nothing declared may be missing, and nothing else (C++ internals, runtime
templates, helpers) may be visible. Both sets are read afresh on each run,
so the check follows the header as exports are added.

usage: check_exports.py --header include/varnel.h --library libvarnel.so [--nm nm]
"""
import argparse
import re
import subprocess
import sys


def declared_exports(header_text):
    # Comments and preprocessor lines (the VARNEL_API definition itself) go
    # first; what remains are the declarations.
    text = re.sub(r"/\*.*?\*/", " ", header_text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    text = re.sub(r"^[ \t]*#(?:[^\n]*\\\n)*[^\n]*", " ", text, flags=re.M)
    names = []
    for match in re.finditer(r"\bVARNEL_API\b([^;{}]*?)\b([A-Za-z_]\w*)\s*\(", text):
        names.append(match.group(2))
    duplicates = sorted({n for n in names if names.count(n) > 1})
    return set(names), duplicates


def defined_dynamic_symbols(nm, library):
    out = subprocess.run([nm, "-D", "--defined-only", library], check=True,
                         capture_output=True, text=True).stdout
    symbols = {}
    for line in out.splitlines():
        fields = line.split()
        if len(fields) < 2:
            continue
        kind, name = fields[-2], fields[-1]
        name = name.split("@", 1)[0]  # drop a symbol version, if any
        symbols[name] = kind
    return symbols


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--header", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--nm", default="nm")
    args = parser.parse_args()

    with open(args.header, encoding="utf-8") as f:
        declared, duplicates = declared_exports(f.read())
    exported = defined_dynamic_symbols(args.nm, args.library)

    problems = []
    if not declared:
        problems.append("no VARNEL_API declarations found in %s" % args.header)
    if duplicates:
        problems.append("declared more than once: " + ", ".join(duplicates))
    missing = sorted(declared - exported.keys())
    extra = sorted(exported.keys() - declared)
    if missing:
        problems.append("declared but not exported: " + ", ".join(missing))
    if extra:
        problems.append("exported but not declared: " + ", ".join(
            "%s (%s)" % (name, exported[name]) for name in extra))
    not_code = sorted(n for n in declared & exported.keys() if exported[n] not in ("T", "W", "i"))
    if not_code:
        problems.append("exported but not functions: " + ", ".join(not_code))

    print("%d functions declared with VARNEL_API, %d defined dynamic symbols"
          % (len(declared), len(exported)))
    if problems:
        for p in problems:
            print("FAILED: " + p)
        return 1
    print("exported symbol set matches the header")
    return 0


if __name__ == "__main__":
    sys.exit(main())
