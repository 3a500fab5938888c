#!/usr/bin/env python3
"""A scriptable HTTP and HTTPS server on 127.0.0.1 for the HTTP client's tests.

Every listener takes a free port chosen by the system; their ports are written
to --port-file (one "name port" line each) once all of them accept
connections. The server stops when it gets SIGTERM or SIGINT, and on its own
when the process that started it has gone, so that a killed test run leaves
nothing behind. Only the Python standard library is used.

What an answer looks like is chosen by the request's path and query:

  /answer?status=N&body=TEXT&framing=F&length=RAW
        status N (default 200) with TEXT as the body; F is "length" (default:
        a Content-Length header), "close" (none; the end of the connection ends
        the body) or "chunked" (chunked transfer coding, in pieces of
        piece=BYTES). length=RAW sends RAW as the Content-Length header text
        and ends the body by closing the connection.
  /bytes/N?status=..&framing=..&piece=..
        N bytes of the test pattern (byte i has the value i % 251), generated
        while they are sent, so that even a very large body costs no memory.
        A request with "Range: bytes=A-" or "bytes=A-B" is answered as a file
        server answers it: 206 with a Content-Range and those bytes.
  /stall/N   Content-Length N + 1000, then N bytes, then nothing for a minute.
  /drop/N    Content-Length N + 1000, then N bytes, then the connection closes.
  /redirect?to=URL&status=N
        status N (default 302) with URL, an absolute address, as the Location
        header, and a short body of its own.
  /echo      any method: 200 with the request line, the header lines and a
             blank line (each ended by CR LF), then the request body as
             received.
  /update/SCENARIO/INSTALLER/list and /update/SCENARIO/INSTALLER/setup?version=V
        an update service for the download tests: the list holds releases of
        an installer, signed on the fly with the TEST-ONLY key (tests/data/keys),
        and setup serves that installer. INSTALLER is a number of bytes of the
        test pattern, or the name of a file in the folder given with --files.
        SCENARIO makes one of them misbehave (see UpdateScenarios).
"""

import argparse
import functools
import hashlib
import http.server
import json
import os
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

# The signed text and its signature, shared with scripts/make-signing-fixtures.py.
# No bytecode cache is left in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import release_signing  # noqa: E402

PATTERN_PERIOD = 251
# A whole number of pattern periods, about 1 MiB, sent again and again.
BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 4177))


def pattern(offset, length):
    """length bytes of the test pattern starting at offset."""
    if offset % PATTERN_PERIOD == 0 and length == len(BLOCK):
        return BLOCK  # the common case of large bodies, without a copy
    out = bytearray()
    start = offset % PATTERN_PERIOD
    while len(out) < length:
        piece = BLOCK[start:start + (length - len(out))]
        out += piece
        start = 0
    return bytes(out)


@functools.lru_cache(maxsize=8)
def pattern_sha256(size):
    digest = hashlib.sha256()
    for offset in range(0, size, len(BLOCK)):
        digest.update(BLOCK[:min(len(BLOCK), size - offset)])
    return digest.hexdigest()


def release(version, size, signed=True, sha256=None):
    entry = {"version": version, "date": "2026-11-30", "size": size,
             "sha256": sha256 or pattern_sha256(size), "notes": "Release " + version}
    payload = release_signing.signed_payload(entry)
    if not signed:  # a well-formed signature over something else
        payload += b"x"
    entry["signature"] = release_signing.sign(payload)
    return entry


class UpdateScenarios:
    """What the update service answers in each download scenario. Every
    scenario serves version 2.4.1, an installer of SIZE bytes of the test
    pattern, unless it says otherwise.

      good            the list and the installer as published
      newest          several releases; 2.10.0 is the newest that verifies
      longer, shorter, different
                      the installer with 4096 bytes more, 4096 fewer, or one
                      byte changed
      slow            the installer in 16 KiB pieces, one every 50 ms
      drop            half the installer, then the connection closes
      setup-404       the installer answers 404 with a JSON "error"
      setup-500       the installer answers 500 (for runs that must not ask)
      list-503        the list answers 503 with an HTML page
      list-503-json   the list answers 503 with a JSON "error"
      list-not-json   the list is an HTML page with status 200
      unsigned        the list's only release does not verify
      fail-once-NAME  the first list request answers 503 with a JSON "error",
                      every later one is good (NAME keeps runs apart)

    The resume scenarios cut their first installer answer short: it announces
    the whole size, sends a third and closes the connection. What later
    requests get depends on the scenario (NAME keeps runs apart):

      resume-NAME         a range request gets 206 with the rest, as a file
                          server answers it; any other request the whole file
      resume-ignore-NAME  every later request gets 200 and the whole file
      resume-wrong-NAME   a range request gets 206 whose range starts a byte
                          early (with the bytes from there); others 200
      resume-416-NAME     a range request gets 416 (not satisfiable); others 200
      resume-503-NAME     the second request answers 503 with a JSON "error";
                          later ones as resume-NAME
      resume-newer-NAME   as resume-NAME, but from the second list request on
                          the list offers 2.4.2 (the same installer) instead

    /update/SCENARIO/INSTALLER/record answers what the installer requests of
    SCENARIO were: {"requests": [{"range": R, "status": S, "sent": N}, ...]},
    R the Range header ("" when none), N the body bytes sent.
    """

    ERROR_LIST = "The update service is closed for maintenance until 14:00 UTC."
    ERROR_SETUP = "Orva 2.4.1 was withdrawn; please try again tomorrow."
    ERROR_ONCE = "The update service is restarting; try again in a minute."

    failed_once = set()
    list_requests = {}   # scenario: how many lists it has answered
    setup_records = {}   # scenario: [{"range", "status", "sent"}] of its installer requests
    lock = threading.Lock()

    @classmethod
    def count_list(cls, scenario):
        """How many list requests of |scenario| came before this one."""
        with cls.lock:
            count = cls.list_requests.get(scenario, 0)
            cls.list_requests[scenario] = count + 1
            return count

    @classmethod
    def record_setup(cls, scenario, range_header):
        """Notes an installer request; returns its record and how many came before."""
        record = {"range": range_header or "", "status": 0, "sent": 0}
        with cls.lock:
            records = cls.setup_records.setdefault(scenario, [])
            records.append(record)
            return record, len(records) - 1

    @classmethod
    def records(cls, scenario):
        with cls.lock:
            return [dict(r) for r in cls.setup_records.get(scenario, [])]

    @classmethod
    def fails_now(cls, scenario):
        """True the first time a fail-once scenario is asked for its list."""
        with cls.lock:
            if scenario in cls.failed_once:
                return False
            cls.failed_once.add(scenario)
            return True

    @classmethod
    def releases(cls, scenario, size, sha256):
        if scenario.startswith("resume-newer-") and cls.count_list(scenario) > 0:
            return [release("2.4.2", size, sha256=sha256)]
        if scenario == "newest":
            return [release("3.0.0", size, signed=False, sha256=sha256),
                    release("2.9.0", size, sha256=sha256), release("2.10.0", size, sha256=sha256),
                    release("2.10.0", size, sha256="0" * 64)]
        if scenario == "unsigned":
            return [release("2.4.1", size, signed=False, sha256=sha256)]
        return [release("2.4.1", size, sha256=sha256)]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return "OrvaTestServer"

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_GET(self):
        self.dispatch()

    do_POST = do_PUT = do_HEAD = do_DELETE = do_GET

    def dispatch(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        parts = url.path.strip("/").split("/")
        try:
            if parts[0] == "echo":
                self.echo()
            elif parts[0] == "answer":
                self.answer(query, query.get("body", "").encode("utf-8"))
            elif parts[0] == "bytes" and len(parts) == 2:
                size = int(parts[1])
                wanted = parse_range(self.headers.get("Range"), size)
                if wanted is None:
                    self.answer(query, None, size)
                else:
                    self.read_body()
                    self.send_range(size, wanted[0], wanted[1] - wanted[0] + 1,
                                    lambda offset, count: pattern(offset, count))
            elif parts[0] == "stall" and len(parts) == 2:
                self.cut_short(int(parts[1]), stall=True)
            elif parts[0] == "drop" and len(parts) == 2:
                self.cut_short(int(parts[1]), stall=False)
            elif parts[0] == "redirect":
                self.redirect(query)
            elif parts[0] == "update" and len(parts) == 4:
                self.update_service(parts[1], parts[2], parts[3])
            else:
                self.answer({"status": "404"}, b"no such test path")
        except (ConnectionError, ssl.SSLError, socket.timeout):
            self.close_connection = True

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = bytearray()
        while len(body) < length:
            piece = self.rfile.read(min(65536, length - len(body)))
            if not piece:  # the client gave up part of the way
                break
            body += piece
        return bytes(body)

    def echo(self):
        body = self.read_body()
        head = self.requestline + "\r\n"
        for name, value in self.headers.items():
            head += f"{name}: {value}\r\n"
        reply = head.encode("latin-1") + b"\r\n" + body
        self.send_response(200)
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def answer(self, query, body, size=None):
        self.read_body()
        if body is not None:
            size = len(body)
        framing = query.get("framing", "length")
        raw_length = query.get("length")
        self.send_response(int(query.get("status", "200")))
        self.send_header("Content-Type", "application/octet-stream")
        if raw_length is not None:
            self.send_header("Content-Length", raw_length)
            framing = "close"
        elif framing == "length":
            self.send_header("Content-Length", str(size))
        elif framing == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
        if framing == "close":
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return
        piece = int(query.get("piece", len(BLOCK)))
        sent = 0
        while sent < size:
            count = min(piece, size - sent)
            data = body[sent:sent + count] if body is not None else pattern(sent, count)
            if framing == "chunked":
                self.wfile.write(b"%x\r\n" % count + data + b"\r\n")
            else:
                self.wfile.write(data)
            self.wfile.flush()
            sent += count
        if framing == "chunked":
            self.wfile.write(b"0\r\n\r\n")

    def redirect(self, query):
        self.read_body()
        body = b"redirected by the test server"
        self.send_response(int(query.get("status", "302")))
        self.send_header("Location", query.get("to", ""))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def send_json(self, status, document):
        body = json.dumps(document).encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def update_service(self, scenario, installer, what):
        self.read_body()
        if installer.isdigit():
            size, content = int(installer), None
            sha256 = pattern_sha256(size)
        else:
            name = os.path.basename(installer)
            with open(os.path.join(self.server.files, name), "rb") as source:
                content = source.read()
            size, sha256 = len(content), hashlib.sha256(content).hexdigest()
        if what == "list":
            if scenario == "list-503":
                page = b"<html><body><h1>503 Service Unavailable</h1></body></html>"
                return self.answer({"status": "503"}, page)
            if scenario == "list-503-json":
                return self.send_json(503, {"error": UpdateScenarios.ERROR_LIST})
            if scenario == "list-not-json":
                return self.answer({}, b"<html><body>Welcome!</body></html>")
            if scenario.startswith("fail-once-") and UpdateScenarios.fails_now(scenario):
                return self.send_json(503, {"error": UpdateScenarios.ERROR_ONCE})
            releases = UpdateScenarios.releases(scenario, size, sha256)
            return self.send_json(200, {"releases": releases})
        if what == "record":
            return self.send_json(200, {"requests": UpdateScenarios.records(scenario)})
        if what != "setup":
            return self.send_json(404, {"error": "No such page."})
        if scenario.startswith("resume-"):
            return self.resume_scenario(scenario, size, content)
        if scenario == "setup-404":
            return self.send_json(404, {"error": UpdateScenarios.ERROR_SETUP})
        if scenario == "setup-500":
            return self.answer({"status": "500"}, b"Internal Server Error")
        if content is not None:
            return self.answer({}, content)
        if scenario == "drop":
            return self.cut_short(size // 2, stall=False, announced=size)
        if scenario == "different":
            body = bytearray(pattern(0, size))
            body[size // 2] ^= 0x01
            return self.answer({}, bytes(body))
        sent_size = {"longer": size + 4096, "shorter": size - 4096}.get(scenario, size)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(sent_size))
        self.end_headers()
        piece = 16384 if scenario == "slow" else len(BLOCK)
        for offset in range(0, sent_size, piece):
            self.wfile.write(pattern(offset, min(piece, sent_size - offset)))
            self.wfile.flush()
            if scenario == "slow":
                time.sleep(0.05)

    def resume_scenario(self, scenario, size, content):
        def read(offset, count):
            return content[offset:offset + count] if content is not None else pattern(offset, count)

        range_header = self.headers.get("Range")
        record, earlier = UpdateScenarios.record_setup(scenario, range_header)
        wanted = parse_range(range_header, size)
        if earlier == 0:
            record["status"] = 200
            record["sent"] = size // 3
            return self.cut_short(size // 3, stall=False, announced=size, data=read(0, size // 3))
        if scenario.startswith("resume-503-") and earlier == 1:
            record["status"] = 503
            return self.send_json(503, {"error": UpdateScenarios.ERROR_ONCE})
        if wanted is not None and scenario.startswith("resume-416-"):
            record["status"] = 416
            self.send_response(416)
            self.send_header("Content-Range", f"bytes */{size}")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if wanted is not None and scenario.startswith("resume-wrong-"):
            wanted = (max(wanted[0] - 1, 0), wanted[1])
        if wanted is None or scenario.startswith("resume-ignore-"):
            wanted = None
            start, count = 0, size
        else:
            start, count = wanted[0], wanted[1] - wanted[0] + 1
        record["status"] = 200 if wanted is None else 206
        record["sent"] = count
        if wanted is None:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(size))
            self.end_headers()
            self.send_pieces(start, count, read)
        else:
            self.send_range(size, start, count, read)

    def send_range(self, size, start, count, read):
        """206 with bytes start .. start+count-1 of a body of |size| bytes."""
        self.send_response(206)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Range", f"bytes {start}-{start + count - 1}/{size}")
        self.send_header("Content-Length", str(count))
        self.end_headers()
        self.send_pieces(start, count, read)

    def send_pieces(self, start, count, read):
        for offset in range(start, start + count, len(BLOCK)):
            self.wfile.write(read(offset, min(len(BLOCK), start + count - offset)))
        self.wfile.flush()

    def cut_short(self, size, stall, announced=None, data=None):
        self.read_body()
        self.send_response(200)
        self.send_header("Content-Length", str(size + 1000 if announced is None else announced))
        self.end_headers()
        self.wfile.write(pattern(0, size) if data is None else data)
        self.wfile.flush()
        if stall:
            time.sleep(60)
        self.close_connection = True
        # Close at once rather than waiting for the client's next request.
        self.connection.shutdown(socket.SHUT_RDWR)


def parse_range(header, size):
    """(first, last) byte of a "bytes=A-" or "bytes=A-B" Range header that
    lies within a body of |size| bytes; None for no header or any other form."""
    if not header or not header.startswith("bytes="):
        return None
    first, dash, last = header[len("bytes="):].partition("-")
    if not dash or not first.isdigit() or (last and not last.isdigit()):
        return None
    first = int(first)
    last = min(int(last), size - 1) if last else size - 1
    if first > last:
        return None
    return first, last


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def handle_error(self, request, client_address):
        # Tests stop transfers and refuse certificates on purpose: a client
        # that goes away is no error of the server.
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError, socket.timeout)):
            return
        super().handle_error(request, client_address)


def listen(files, context=None):
    server = Server(("127.0.0.1", 0), Handler)
    server.files = files
    if context is not None:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def closed_port():
    """A port on which nothing listens: bound for a moment, then released."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--tls", nargs=3, action="append", default=[],
                        metavar=("NAME", "CERT", "KEY"),
                        help="an HTTPS listener called NAME with this certificate chain and key")
    parser.add_argument("--files", default=os.getcwd(),
                        help="the folder of installers that /update/... may serve by name")
    args = parser.parse_args()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    ports = [("http", listen(args.files).server_address[1])]
    for name, cert, key in args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        ports.append((name, listen(args.files, context).server_address[1]))
    ports.append(("closed", closed_port()))

    # Written under another name and renamed, so that a reader never sees half of it.
    temporary = args.port_file + ".tmp"
    with open(temporary, "w") as out:
        out.writelines(f"{name} {port}\n" for name, port in ports)
    os.replace(temporary, args.port_file)

    parent = os.getppid()
    while not stop.wait(0.5):
        if os.getppid() != parent:
            break
    return 0


if __name__ == "__main__":
    sys.exit(main())
