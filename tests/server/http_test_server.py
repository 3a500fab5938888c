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
  /stall/N   Content-Length N + 1000, then N bytes, then nothing for a minute.
  /drop/N    Content-Length N + 1000, then N bytes, then the connection closes.
  /echo      any method: 200 with the request line, the header lines and a
             blank line (each ended by CR LF), then the request body as
             received.
"""

import argparse
import http.server
import os
import signal
import socket
import ssl
import sys
import threading
import time
import urllib.parse

PATTERN_PERIOD = 251
# A whole number of pattern periods, about 1 MiB, sent again and again.
BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 4177))


def pattern(offset, length):
    """length bytes of the test pattern starting at offset."""
    out = bytearray()
    start = offset % PATTERN_PERIOD
    while len(out) < length:
        piece = BLOCK[start:start + (length - len(out))]
        out += piece
        start = 0
    return bytes(out)


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
                self.answer(query, None, int(parts[1]))
            elif parts[0] == "stall" and len(parts) == 2:
                self.cut_short(int(parts[1]), stall=True)
            elif parts[0] == "drop" and len(parts) == 2:
                self.cut_short(int(parts[1]), stall=False)
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

    def cut_short(self, size, stall):
        self.read_body()
        self.send_response(200)
        self.send_header("Content-Length", str(size + 1000))
        self.end_headers()
        self.wfile.write(pattern(0, size))
        self.wfile.flush()
        if stall:
            time.sleep(60)
        self.close_connection = True
        # Close at once rather than waiting for the client's next request.
        self.connection.shutdown(socket.SHUT_RDWR)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False

    def handle_error(self, request, client_address):
        # Tests stop transfers and refuse certificates on purpose: a client
        # that goes away is no error of the server.
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError, socket.timeout)):
            return
        super().handle_error(request, client_address)


def listen(context=None):
    server = Server(("127.0.0.1", 0), Handler)
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
    args = parser.parse_args()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())

    ports = [("http", listen().server_address[1])]
    for name, cert, key in args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        ports.append((name, listen(context).server_address[1]))
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
