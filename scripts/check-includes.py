#!/usr/bin/env python3
"""Checks that every #include of the project's own headers points one way:
app -> download -> http / signing / json -> common (see docs/architecture.md).

    scripts/check-includes.py [ROOT]

Reads every .h, .cpp and .rc file below the product folders of ROOT (the
repository by default) and prints each include of a folder that its folder
may not use. Exits 1 when there is any, 0 otherwise. Tests, benchmarks, fuzz
targets and probes (files named *_test, *_bench, *_fuzz, *_probe or
*_test_support) may also include tests/ and json/.
"""

import pathlib
import re
import sys

# Each folder and the project folders its code may include, itself included.
ALLOWED = {
    "common": {"common"},
    "json": {"json", "common"},
    "signing": {"signing", "common"},
    "http": {"http", "common"},
    "download": {"download", "http", "signing", "json", "common"},
    "app": {"app", "download", "http", "signing", "json", "common"},
    # The resource script takes the window's ids and the generated version.
    "resources": {"resources", "app"},
    # The maker's tool uses the release list, the signing code and JSON.
    "tools": {"tools", "download", "signing", "json", "common"},
    # The demonstration's programs drive the window by its contract.
    "demo": {"demo", "app", "common"},
}
# Test programs may also use the test support code, and the JSON reader for
# the test data they load (the signing tests read their vectors with it).
TEST_ONLY = {"tests"}
TEST_EXTRA = TEST_ONLY | {"json"}
TEST_FILE = re.compile(r"_(test|bench|fuzz|probe|test_support)\.(cpp|h)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]*"', re.MULTILINE)


def violations(root: pathlib.Path):
    for folder, allowed in sorted(ALLOWED.items()):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp", ".rc") or not path.is_file():
                continue
            permitted = allowed | TEST_EXTRA if TEST_FILE.search(path.name) else allowed
            text = path.read_text(encoding="utf-8", errors="replace")
            for match in INCLUDE.finditer(text):
                target = match.group(1)
                if target in ALLOWED or target in TEST_ONLY:
                    if target not in permitted:
                        line = text.count("\n", 0, match.start()) + 1
                        yield f"{path.relative_to(root)}:{line}: {folder}/ may not include {target}/"


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    found = list(violations(root.resolve()))
    for line in found:
        print(line)
    if found:
        print(f"check-includes: {len(found)} include(s) against the folder rules", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
