#!/usr/bin/env python3
"""Where the bytes of Orva-Setup.exe go.

Relinks the Windows program of a build tree (default build/windows) with a
linker map and without stripping, and prints the bytes that each library and
each of our own object files contributes to the sections that end up in the
executable, largest first. The executable itself is not touched.

    python3 scripts/map-summary.py [BUILD_DIR] [--objects N]
"""
import argparse
import collections
import os
import re
import shlex
import subprocess
import tempfile


def link_command(build):
    out = subprocess.run(["ninja", "-C", build, "-t", "commands", "Orva-Setup"],
                         check=True, capture_output=True, text=True).stdout
    line = out.strip().splitlines()[-1]
    # ": && g++ ... -o Orva-Setup.exe ... && :"
    return line.split("&&")[1].strip()


def main():
    parser = argparse.ArgumentParser(description="Where the bytes of Orva-Setup.exe go.")
    parser.add_argument("build", nargs="?", default="build/windows")
    parser.add_argument("--objects", type=int, default=25, help="how many objects to list")
    options = parser.parse_args()
    build = options.build
    top = options.objects
    words = shlex.split(link_command(build))
    with tempfile.TemporaryDirectory() as work:
        exe = os.path.join(work, "Orva-Setup.exe")
        mapfile = os.path.join(work, "Orva-Setup.map")
        out = []
        skip = False
        for word in words:
            if skip:
                skip = False
                out.append(exe)
                continue
            if word == "-o":
                skip = True
                out.append(word)
                continue
            if word == "-s" or word.startswith("-Wl,--out-implib"):
                continue
            out.append(word)
        out.append("-Wl,-Map," + mapfile)
        subprocess.run(out, check=True, cwd=build)
        stripped = os.path.join(work, "stripped.exe")
        subprocess.run(["x86_64-w64-mingw32-strip", "-o", stripped, exe], check=True)
        size = os.path.getsize(stripped)
        text = open(mapfile, encoding="utf-8", errors="replace").read()

    # The map lists each output section at the start of a line (".text
    # 0x... 0x...") and the input sections kept in it indented below
    # (" .text  0x... 0x1a2 path/lib.a(member.o)", the name on a line of its
    # own when long). Only sections that reach the file count: no debugging
    # information, which stripping removes, and no .bss.
    output_section = re.compile(r"^(\.[\w.$]+|/\d+)(\s|$)")
    input_section = re.compile(r"^ (\.[\w.$]+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
    libraries = collections.Counter()
    objects = collections.Counter()
    current = None
    started = False
    for line in text.splitlines():
        if line.startswith("Linker script and memory map"):
            started = True
            continue
        if not started:
            continue
        heading = output_section.match(line)
        if heading:
            current = heading.group(1)
            continue
        match = input_section.match(line)
        if not match or current is None:
            continue
        if current.startswith((".debug", "/")) or current in (".bss", ".tls$"):
            continue
        address, length, origin = int(match.group(2), 16), int(match.group(3), 16), match.group(4)
        if address == 0 or length == 0:
            continue
        origin = origin.strip()
        if "(" in origin and origin.endswith(")"):
            library = os.path.basename(origin[: origin.index("(")])
            member = origin[origin.index("(") + 1 : -1]
        else:
            library = "(our objects)" if ".obj" in origin or ".res" in origin else os.path.basename(origin)
            member = os.path.basename(origin)
        libraries[library] += length
        objects[library + ": " + member] += length
    print(f"Orva-Setup.exe stripped: {size:,} bytes ({size / 1024:.1f} KiB)")
    print("\nby library (input sections kept, before alignment):")
    for name, length in libraries.most_common():
        print(f"  {length:9,}  {name}")
    print(f"\nlargest {top} objects:")
    for name, length in objects.most_common(top):
        print(f"  {length:9,}  {name}")


if __name__ == "__main__":
    main()
