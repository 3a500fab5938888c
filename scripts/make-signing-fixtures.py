#!/usr/bin/env python3
"""Writes the releases signed with the committed test key, for the tests of
both builds:

    signing       tests/data/signing/releases.json (the signature tests)
    release-list  tests/data/release-list/signed.json (a list document for the
                  release list tests: several versions, two of them equal)

The signed text is built independently of the C++ code (by
tests/support/release_signing.py, which the test server shares), and signed
with the openssl command; the tests then check that the program accepts
exactly these. ECDSA signatures are randomised, so each run writes new signatures:
name the files to rewrite (default: all).

    python3 scripts/make-signing-fixtures.py [signing] [release-list]
"""
import hashlib
import json
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.dont_write_bytecode = True  # no cache left in the source tree
sys.path.insert(0, str(ROOT / "tests/support"))
import release_signing  # noqa: E402

PUBLIC_HEX = ROOT / "tests/data/keys/test-release-key.TEST-ONLY.pub.hex"
SIGNING_OUT = ROOT / "tests/data/signing/releases.json"
LIST_OUT = ROOT / "tests/data/release-list/signed.json"

RELEASES = [
    {"name": "ordinary", "version": "2.4.1", "date": "2026-11-30", "size": 48213504,
     "sha256": hashlib.sha256(b"Orva 2.4.1 installer").hexdigest(),
     "notes": "Faster sketch solver.\nNew fillet tool."},
    {"name": "empty notes and size zero", "version": "0.0.0", "date": "2000-02-29", "size": 0,
     "sha256": hashlib.sha256(b"").hexdigest(), "notes": ""},
    {"name": "largest size, UTF-8 and CR LF in the notes", "version": "10.20.300",
     "date": "2027-01-01", "size": 4000000000,
     "sha256": hashlib.sha256(b"large").hexdigest(), "notes": "Caf\u00e9 \u2013 r\u00e9sum\u00e9\r\nLine two"},
]


def list_release(version, date, size):
    return {"version": version, "date": date, "size": size,
            "sha256": hashlib.sha256(f"Orva {version} installer".encode()).hexdigest(),
            "notes": f"Notes of {version}."}


# In no particular order: the tests pick and arrange them. 1.2.3 and 01.02.03
# are the same version written two ways; 1.2.10 and 1.2.9 differ where a
# comparison of texts would get them wrong.
LIST_RELEASES = [
    list_release("2.9.9", "2026-03-01", 1000),
    list_release("3.0.0", "2026-04-01", 2000),
    list_release("1.2.9", "2025-01-10", 3000),
    list_release("1.2.10", "2025-02-10", 4000),
    list_release("1.2.3", "2024-02-29", 5000),
    list_release("01.02.03", "2024-03-01", 6000),
]


def signed(releases):
    out = []
    for release in releases:
        entry = dict(release)
        entry["signature"] = release_signing.sign(release_signing.signed_payload(release))
        out.append(entry)
    return out


def write(path, document):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(json.dumps(document, indent=2, ensure_ascii=False) + "\n")
    print(f"wrote {path.relative_to(ROOT)}")


def main():
    targets = sys.argv[1:] or ["signing", "release-list"]
    for target in targets:
        if target == "signing":
            write(SIGNING_OUT, {
                "comment": "Written by scripts/make-signing-fixtures.py with the TEST-ONLY key.",
                "publicKey": PUBLIC_HEX.read_text().strip(),
                "releases": signed(RELEASES),
            })
        elif target == "release-list":
            write(LIST_OUT, {
                "comment": "Written by scripts/make-signing-fixtures.py with the TEST-ONLY key.",
                "releases": signed(LIST_RELEASES),
            })
        else:
            sys.exit(f"unknown fixture set {target!r}: expected signing or release-list")


if __name__ == "__main__":
    main()
