#!/usr/bin/env python3
"""Writes tests/data/signing/releases.json: releases signed with the committed
test key, for the signature tests of both builds.

The signed text is built here independently of the C++ code, and signed with
the openssl command; the tests then check that the program accepts exactly
these. ECDSA signatures are randomised, so each run writes new signatures.

    python3 scripts/make-signing-fixtures.py
"""
import base64
import hashlib
import json
import pathlib
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent
KEY = ROOT / "tests/data/keys/test-release-key.TEST-ONLY.pem"
PUBLIC_HEX = ROOT / "tests/data/keys/test-release-key.TEST-ONLY.pub.hex"
OUT = ROOT / "tests/data/signing/releases.json"

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


def payload(release):
    notes_digest = hashlib.sha256(release["notes"].encode("utf-8")).hexdigest()
    lines = ["orva-update-v1", release["version"], release["date"], str(release["size"]),
             release["sha256"], notes_digest]
    return "".join(line + "\n" for line in lines).encode("utf-8")


def der_to_p1363(der):
    """r||s, 32 bytes each, from a DER SEQUENCE of two INTEGERs."""
    assert der[0] == 0x30
    pos = 2 if der[1] < 0x80 else 3
    values = []
    for _ in range(2):
        assert der[pos] == 0x02
        length = der[pos + 1]
        values.append(int.from_bytes(der[pos + 2:pos + 2 + length], "big"))
        pos += 2 + length
    return b"".join(v.to_bytes(32, "big") for v in values)


def sign(data):
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(KEY)], input=data,
                         capture_output=True, check=True).stdout
    return base64.b64encode(der_to_p1363(der)).decode("ascii")


def main():
    signed = []
    for release in RELEASES:
        entry = dict(release)
        entry["signature"] = sign(payload(release))
        signed.append(entry)
    document = {
        "comment": "Written by scripts/make-signing-fixtures.py with the TEST-ONLY key.",
        "publicKey": PUBLIC_HEX.read_text().strip(),
        "releases": signed,
    }
    OUT.parent.mkdir(parents=True, exist_ok=True)
    OUT.write_text(json.dumps(document, indent=2, ensure_ascii=False) + "\n")
    print(f"wrote {OUT.relative_to(ROOT)}")


if __name__ == "__main__":
    main()
