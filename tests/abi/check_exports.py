#!/usr/bin/python3
"""Compare the dynamic symbol table of the shared library with the header.

The set of functions that include/varnel.h declares with VARNEL_API and the
set of symbols that the library defines in its dynamic table must be equal:
nothing declared may be missing, and nothing else (C++ internals, runtime
templates, helpers) may be visible. Both sets are read afresh on each run,
so the check follows the header as exports are added. The header is parsed
here on its own, more loosely than the package's binding does, so that a
declaration the binding's parse would miss shows up as undeclared.

usage: check_exports.py --header include/varnel.h --library libvarnel.so [--nm nm]
"""
import argparse
import re
import subprocess
import sys


def declared_exports(header_text):
    """Names of the VARNEL_API functions, repeats included."""
    # Comments and preprocessor lines (the VARNEL_API definition itself) go
    # first; what remains are the declarations.
    text = re.sub(r"/\*.*?\*/|//[^\n]*", " ", header_text, flags=re.S)
    text = re.sub(r"^[ \t]*#(?:[^\n]*\\\n)*[^\n]*", " ", text, flags=re.M)
    return re.findall(r"\bVARNEL_API\b[^;{}]*?\b([A-Za-z_]\w*)\s*\(", text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--header", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--nm", default="nm")
    args = parser.parse_args()

    with open(args.header, encoding="utf-8") as f:
        names = declared_exports(f.read())
    listing = subprocess.run([args.nm, "-D", "--defined-only", args.library], check=True,
                             capture_output=True, text=True).stdout
    # name (a symbol version dropped) -> nm's kind letter
    exported = {fields[-1].split("@", 1)[0]: fields[-2] for fields in map(str.split, listing.splitlines())
                if len(fields) >= 2}
    declared = set(names)
    problems = ["no VARNEL_API declarations found in %s" % args.header] if not names else []
    for what, found in [
            ("declared more than once", sorted({n for n in names if names.count(n) > 1})),
            ("declared but not exported", sorted(declared - exported.keys())),
            ("exported but not declared", ["%s (%s)" % (n, exported[n]) for n in sorted(exported.keys() - declared)]),
            ("exported but not functions", sorted(n for n in declared & exported.keys() if exported[n] not in "TWi"))]:
        if found:
            problems.append("%s: %s" % (what, ", ".join(found)))

    print("%d functions declared with VARNEL_API, %d defined dynamic symbols" % (len(declared), len(exported)))
    for p in problems:
        print("FAILED: " + p)
    if problems:
        return 1
    print("exported symbol set matches the header")
    return 0


if __name__ == "__main__":
    sys.exit(main())
