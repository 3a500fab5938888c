"""The signed text of a release and its signature, as Orva's maker makes them,
for the Python side of the tests: scripts/make-signing-fixtures.py, which
writes the committed fixtures, and tests/server/http_test_server.py, which
signs releases on the fly. Built here from the rules, independently of the
C++ code, so that the tests check the program against a second
implementation. Standard library and the openssl command only.
"""
import base64
import hashlib
import pathlib
import subprocess

# The TEST-ONLY key (tests/data/keys), whose public half the test executables
# build in.
TEST_KEY = pathlib.Path(__file__).resolve().parent.parent / "data" / "keys" / \
    "test-release-key.TEST-ONLY.pem"


def signed_payload(release):
    """The text a release's signature covers: six lines, each ended by a line
    feed; the last is the lowercase hexadecimal SHA-256 of the UTF-8 notes."""
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


def sign(data, key=TEST_KEY):
    """base64 of the r||s signature of |data| (bytes) with the PEM private key
    |key|, as the program reads it, made with the openssl command. ECDSA
    signatures are randomised: each call gives a new one."""
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", str(key)], input=data,
                         capture_output=True, check=True).stdout
    return base64.b64encode(der_to_p1363(der)).decode("ascii")
