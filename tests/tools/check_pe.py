#!/usr/bin/env python3
"""Checks a built Windows executable's headers and import table, as read by
the cross toolchain's objdump.

    check_pe.py --objdump OBJDUMP EXE [--dlls A,B*,..] [--forbid F,..]
                [--require F,..] [--gui]
                [--baseline EXE --ratio R]
"""
import argparse
import fnmatch
import os
import re
import subprocess
import sys

CHARACTERISTICS = {"HIGH_ENTROPY_VA": 0x20, "DYNAMIC_BASE": 0x40, "NX_COMPAT": 0x100}


def read_headers(objdump, exe):
    out = subprocess.run([objdump, "-p", exe], check=True, capture_output=True,
                         text=True).stdout
    imports, dll = {}, None
    for line in out.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1)
            imports[dll] = set()
            continue
        entry = re.match(r"\s+[0-9a-f]+\s+<none>\s+[0-9a-f]+\s+(\S+)", line) or \
            re.match(r"\s+[0-9a-f]+\s+[0-9a-f]+\s+(\S+)$", line)
        if dll and entry:
            imports[dll].add(entry.group(1))
        elif dll and not line.strip():
            dll = None
    subsystem = int(re.search(r"^Subsystem\s+([0-9a-f]+)", out, re.M).group(1), 16)
    characteristics = int(re.search(r"^DllCharacteristics\s+([0-9a-f]+)", out, re.M).group(1), 16)
    return imports, subsystem, characteristics, "(PE32+)" in out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("exe")
    parser.add_argument("--dlls", default="")
    parser.add_argument("--forbid", default="")
    parser.add_argument("--require", default="")
    parser.add_argument("--gui", action="store_true")
    parser.add_argument("--baseline")
    parser.add_argument("--ratio", type=float, default=1.10)
    args = parser.parse_args()

    imports, subsystem, characteristics, pe64 = read_headers(args.objdump, args.exe)
    name = os.path.basename(args.exe)
    faults = []
    if sum(len(functions) for functions in imports.values()) == 0:
        faults.append("no imported functions were read")
    if args.dlls:
        allowed = [d.lower() for d in args.dlls.split(",")]
        for dll in imports:
            if not any(fnmatch.fnmatch(dll.lower(), pattern) for pattern in allowed):
                faults.append(f"imports from {dll}")
    every = set().union(*imports.values()) if imports else set()
    for function in filter(None, args.forbid.split(",")):
        if function in every:
            faults.append(f"imports {function}")
    for function in filter(None, args.require.split(",")):
        if function not in every:
            faults.append(f"does not import {function}")
    if args.gui and subsystem != 2:
        faults.append(f"subsystem {subsystem}, not the Windows GUI (2)")
    # ASLR (of high entropy for 64 bits) and DEP.
    for flag in CHARACTERISTICS if pe64 else ("DYNAMIC_BASE", "NX_COMPAT"):
        if not characteristics & CHARACTERISTICS[flag]:
            faults.append(f"DllCharacteristics 0x{characteristics:x} lacks {flag}")
    size = os.path.getsize(args.exe)
    print(f"{name}: {size} bytes; imports " +
          "; ".join(f"{dll} ({len(f)})" for dll, f in sorted(imports.items())))
    if args.baseline:
        base = os.path.getsize(args.baseline)
        ratio = size / base
        print(f"{name}: {ratio:.3f} times the baseline {os.path.basename(args.baseline)} "
              f"({base} bytes); budget {args.ratio:.2f}")
        if ratio > args.ratio:
            faults.append(f"{size} bytes is {ratio:.3f} times the baseline's {base}")
    for fault in faults:
        print(f"{name}: {fault}", file=sys.stderr)
    if not faults:
        print(f"{name}: every check passed")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
