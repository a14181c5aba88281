"""The HTTP servers of the end-to-end tests, on 127.0.0.1 only, each
started and stopped by the test that uses it: nginx from Debian for what a
real server does, and a server of our own for what nginx won't do."""
import http.server
import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time

import harness

NGINX = "/usr/sbin/nginx"


def free_port():
    """A port that nothing listens on at the moment."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise AssertionError("nothing listens on port %d" % port)


NGINX_CONF = """daemon off;
user root;
worker_processes 1;
pid {work}/nginx.pid;
error_log {work}/error.log;
events {{ worker_connections 64; }}
http {{
  log_format plain '$request_method $uri $status $body_bytes_sent "$http_range" $msec $request_time';
  access_log {work}/access.log plain;
  client_body_temp_path {work}/body;
  proxy_temp_path {work}/proxy;
  fastcgi_temp_path {work}/fastcgi;
  uwsgi_temp_path {work}/uwsgi;
  scgi_temp_path {work}/scgi;
  default_type application/octet-stream;
  sendfile on;
  server {{
    listen 127.0.0.1:{port};
    root {root};
    {rate}
  }}
}}
"""


class Request:
    """One request as a server logged it; nginx also tells when it ended
    (`finished`, seconds since the epoch) and how long it took from its
    first byte read (`seconds`), to the millisecond."""

    def __init__(self, method, path, status, sent, range_header, finished=None, seconds=None):
        self.method, self.path, self.status, self.sent, self.range = method, path, status, sent, range_header
        self.finished, self.seconds = finished, seconds

    @property
    def started(self):
        return self.finished - self.seconds

    def __repr__(self):
        return "%s %s %d %d %r" % (self.method, self.path, self.status, self.sent, self.range)


class Nginx:
    """nginx serving the files of `root` at http://127.0.0.1:port/; `rate`
    (say "2m") limits each response to that many bytes a second, so that a
    download lasts long enough to be watched."""

    def __init__(self, root, rate=None):
        self.root = os.path.abspath(root)
        self.rate = "limit_rate %s;" % rate if rate else ""
        self.port = free_port()
        self.work = tempfile.mkdtemp(prefix="korvelt-nginx-")
        self.process = None

    def url(self, name):
        return "http://127.0.0.1:%d/%s" % (self.port, name)

    def __enter__(self):
        conf = os.path.join(self.work, "nginx.conf")
        with open(conf, "w") as out:
            out.write(NGINX_CONF.format(work=self.work, port=self.port, root=self.root, rate=self.rate))
        self.process = subprocess.Popen([NGINX, "-p", self.work, "-c", conf], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        wait_for_port(self.port)
        harness.open_servers.append(self)
        return self

    def __exit__(self, *exc):
        harness.open_servers.remove(self)
        self.process.terminate()
        self.process.wait(timeout=30)
        shutil.rmtree(self.work, ignore_errors=True)

    def requests(self):
        """What the access log holds so far, a Request a line."""
        log = os.path.join(self.work, "access.log")
        if not os.path.exists(log):
            return []
        found = []
        with open(log) as lines:
            for line in lines:
                match = re.match(r'(\S+) (\S+) (\d+) (\d+) "(.*)" (\S+) (\S+)$', line)
                if match:
                    range_header = None if match.group(5) == "-" else match.group(5)
                    found.append(Request(match.group(1), match.group(2), int(match.group(3)), int(match.group(4)),
                                         range_header, float(match.group(6)), float(match.group(7))))
        return found


class FaultServer:
    """Serves the files of `root` as http://127.0.0.1:port/MODE/NAME, where
    MODE says how it misbehaves:

    ok            200 with its length, or 206 for a range from a byte on
    nolength      200 without a length, the connection closed at the end
    wronglength   200 with a length and a body one byte longer than the file
    404, 500      that status with a short page and its length
    404nolength, 500nolength   the same without a length
    redirect      302 to /ok/NAME
    norange       200 and the whole body, whatever range is asked for
    short         the whole length announced, half the body sent, then closed
    slow          the whole file in 8 KiB pieces, 20 ms apart
    """

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.log = []
        self.server = None
        self.thread = None

    def url(self, mode, name):
        return "http://127.0.0.1:%d/%s/%s" % (self.server.server_address[1], mode, name)

    def __enter__(self):
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def send(self, status, body, length=True, headers=()):
                self.send_response(status)
                for name, value in headers:
                    self.send_header(name, value)
                if length:
                    self.send_header("Content-Length", str(len(body)))
                else:
                    self.send_header("Connection", "close")
                    self.close_connection = True
                self.end_headers()
                self.wfile.write(body)
                return len(body)

            def do_GET(self):
                parts = self.path.split("/", 2)
                mode, name = (parts[1], parts[2]) if len(parts) == 3 else ("", "")
                path = os.path.join(outer.root, os.path.basename(name))
                range_header = self.headers.get("Range")
                status, sent = 404, 0
                if not os.path.isfile(path) and mode not in ("404", "404nolength", "500", "500nolength"):
                    sent = self.send(404, b"no such file")
                else:
                    data = b""
                    if os.path.isfile(path):
                        with open(path, "rb") as source:
                            data = source.read()
                    page = b"<html><body>error</body></html>"
                    status = 200
                    if mode == "ok":
                        match = re.match(r"bytes=(\d+)-$", range_header or "")
                        if match and int(match.group(1)) < len(data):
                            start = int(match.group(1))
                            status = 206
                            sent = self.send(206, data[start:], headers=[
                                ("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))])
                        else:
                            sent = self.send(200, data)
                    elif mode == "norange":
                        sent = self.send(200, data)
                    elif mode == "nolength":
                        sent = self.send(200, data, length=False)
                    elif mode == "wronglength":
                        sent = self.send(200, data + b"\0")
                    elif mode in ("404", "500"):
                        status = int(mode)
                        sent = self.send(status, page)
                    elif mode in ("404nolength", "500nolength"):
                        status = int(mode[:3])
                        sent = self.send(status, page, length=False)
                    elif mode == "redirect":
                        status = 302
                        sent = self.send(302, b"", headers=[("Location", "/ok/" + name)])
                    elif mode == "short":
                        self.send_response(200)
                        self.send_header("Content-Length", str(len(data)))
                        self.send_header("Connection", "close")
                        self.end_headers()
                        self.wfile.write(data[:len(data) // 2])
                        self.wfile.flush()
                        self.close_connection = True
                        sent = len(data) // 2
                    elif mode == "slow":
                        self.send_response(200)
                        self.send_header("Content-Length", str(len(data)))
                        self.end_headers()
                        for start in range(0, len(data), 8192):
                            self.wfile.write(data[start:start + 8192])
                            self.wfile.flush()
                            time.sleep(0.02)
                        sent = len(data)
                    else:
                        status = 400
                        sent = self.send(400, b"unknown mode")
                outer.log.append(Request("GET", self.path, status, sent, range_header))

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        harness.open_servers.append(self)
        return self

    def requests(self):
        return list(self.log)

    def __exit__(self, *exc):
        harness.open_servers.remove(self)
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(timeout=30)


# ---------------------------------------------------------------------------
# Answers that hold a download to the size and the file its author pinned:
# bodies without a length, longer or shorter than the file, a sign-in page,
# an endless stream, answers that change from one request to the next, one
# held back.

# A captive portal's sign-in page, 130 bytes.
PORTAL_PAGE = (b'<html><head><title>Sign in</title></head><body><form action="/login">'
               b'Sign in to use this network.</form></body></html>').ljust(130, b"\n")


class PinningServer:
    """Serves the files of `root` as http://127.0.0.1:port/MODE/PATH, the
    file being the last segment of PATH that is not empty, its query and
    fragment cut (so ok/fwlink/?linkid=1 serves the file "fwlink"; Wine's
    WinINet sends a fragment on). MODE says how:

    ok              200 with its length, or 206 for a range from a byte on
    chunked         200, the file in chunks without a length
    chunkedlonger   the same with 1,000 bytes more
    nolengthlonger  200 without a length, 1,000 bytes more, then closed
    nolengthshort   200 without a length, half the file, then closed
    portal          200, the sign-in page in chunks
    portalcut       200, the sign-in page as a chunk, then closed without
                    the last chunk
    scripted        each request answered as the next mode of `script`,
                    the last one for every request after
    endless         200, 200 MiB in chunks, until the client goes
    held            200 with its length, half the file, then the rest once
                    the test calls release() (at most two minutes later)
    404, 500        that status with a short page and its length

    `arrived` is set at each request's first line; `log` holds each request
    once it is answered, with the bytes of body sent."""

    ENDLESS = 200 << 20

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.log = []
        self.arrived = threading.Event()
        self.released = threading.Event()
        self.script = ["ok"]
        self.server = None
        self.thread = None

    def url(self, mode, path):
        return "http://127.0.0.1:%d/%s/%s" % (self.server.server_address[1], mode, path)

    def release(self):
        self.released.set()

    def __enter__(self):
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def head(self, status, headers):
                self.send_response(status)
                for name, value in headers:
                    self.send_header(name, value)
                self.end_headers()

            def whole(self, status, body, headers=()):
                self.head(status, [*headers, ("Content-Length", str(len(body)))])
                self.wfile.write(body)
                return len(body)

            def unmeasured(self, body):
                self.head(200, [("Connection", "close")])
                self.close_connection = True
                self.wfile.write(body)
                return len(body)

            def chunks(self, pieces, last=True):
                self.head(200, [("Transfer-Encoding", "chunked")])
                sent = 0
                for piece in pieces:
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                    sent += len(piece)
                if last:
                    self.wfile.write(b"0\r\n\r\n")
                else:
                    self.wfile.flush()
                    self.close_connection = True
                return sent

            def served(self, data, range_header):
                match = re.match(r"bytes=(\d+)-$", range_header or "")
                if match and int(match.group(1)) < len(data):
                    start = int(match.group(1))
                    return 206, self.whole(206, data[start:], [
                        ("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))])
                return 200, self.whole(200, data)

            def endless(self):
                self.head(200, [("Transfer-Encoding", "chunked")])
                piece = bytes(range(256)) * 256
                sent = 0
                try:
                    while sent < outer.ENDLESS:
                        self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                        sent += len(piece)
                    self.wfile.write(b"0\r\n\r\n")
                except OSError:
                    self.close_connection = True
                return sent

            def held(self, data):
                self.head(200, [("Content-Length", str(len(data)))])
                self.wfile.write(data[:len(data) // 2])
                self.wfile.flush()
                outer.released.wait(120)
                self.wfile.write(data[len(data) // 2:])
                return len(data)

            def do_GET(self):
                outer.arrived.set()
                path = re.split(r"[?#]", self.path, 1)[0]
                parts = path.split("/", 2)
                mode, rest = (parts[1], parts[2]) if len(parts) == 3 else ("", "")
                segments = [s for s in rest.split("/") if s]
                file = os.path.join(outer.root, segments[-1]) if segments else ""
                range_header = self.headers.get("Range")
                if mode == "scripted":
                    mode = outer.script.pop(0) if len(outer.script) > 1 else outer.script[0]
                data = b""
                if os.path.isfile(file):
                    with open(file, "rb") as source:
                        data = source.read()
                status = 200
                if mode in ("404", "500"):
                    status = int(mode)
                    sent = self.whole(status, b"<html><body>error</body></html>")
                elif not os.path.isfile(file):
                    status, sent = 404, self.whole(404, b"no such file")
                elif mode == "ok":
                    status, sent = self.served(data, range_header)
                elif mode == "chunked":
                    sent = self.chunks([data[i:i + 16384] for i in range(0, len(data), 16384)])
                elif mode == "chunkedlonger":
                    longer = data + b"\xEE" * 1000
                    sent = self.chunks([longer[i:i + 16384] for i in range(0, len(longer), 16384)])
                elif mode == "nolengthlonger":
                    sent = self.unmeasured(data + b"\xEE" * 1000)
                elif mode == "nolengthshort":
                    sent = self.unmeasured(data[:len(data) // 2])
                elif mode == "portal":
                    sent = self.chunks([PORTAL_PAGE])
                elif mode == "portalcut":
                    sent = self.chunks([PORTAL_PAGE], last=False)
                elif mode == "endless":
                    sent = self.endless()
                elif mode == "held":
                    sent = self.held(data)
                else:
                    status, sent = 400, self.whole(400, b"unknown mode")
                outer.log.append(Request("GET", self.path, status, sent, range_header))

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.released.set()
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(timeout=30)
