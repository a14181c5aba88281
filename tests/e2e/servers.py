"""The HTTP servers of the end-to-end tests, on 127.0.0.1 only, each
started and stopped by the test that uses it: nginx from Debian for what a
real server does (over HTTP or HTTPS), a server of our own for what nginx
won't do, and tinyproxy from Debian as the forward proxy between them."""
import contextlib
import dataclasses
import fcntl
import http.server
import os
import re
import select
import shutil
import socket
import struct
import subprocess
import tempfile
import termios
import threading
import time

import harness

NGINX = "/usr/sbin/nginx"
TINYPROXY = "/usr/bin/tinyproxy"


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
    listen 127.0.0.1:{port}{ssl};
    root {root};
    {rate}
    {tls}
    {redirects}
  }}
}}
"""

# A server of the HTTPS tests: its certificate chain and key.
NGINX_TLS = """ssl_certificate {certificate};
    ssl_certificate_key {key};"""

# Requests under a path answered with a redirect to another address, the
# rest of the path (and the query) kept.
NGINX_REDIRECT = """location ~ ^{prefix}(.*)$ {{ return {status} {target}$1$is_args$args; }}"""


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
    download lasts long enough to be watched. With `tls`, a (certificate
    chain, key) pair of PEM files, it serves them at https://localhost:port/
    instead: Wine checks a certificate against the host name of the address
    and the certificate's DNS names only, never its IP addresses."""

    def __init__(self, root, rate=None, tls=None):
        self.root = os.path.abspath(root)
        self.rate = "limit_rate %s;" % rate if rate else ""
        self.tls = tls
        self.redirects = []
        self.port = free_port()
        self.work = tempfile.mkdtemp(prefix="korvelt-nginx-")
        self.process = None

    def url(self, name):
        if self.tls:
            return "https://localhost:%d/%s" % (self.port, name)
        return "http://127.0.0.1:%d/%s" % (self.port, name)

    def redirect(self, prefix, target, status=302):
        """Answers every request whose path starts with `prefix` ("/moved/")
        with `status` and the location `target` followed by the rest of the
        path; called before the server starts. Returns the server."""
        self.redirects.append(NGINX_REDIRECT.format(prefix=prefix, status=status, target=target))
        return self

    def __enter__(self):
        conf = os.path.join(self.work, "nginx.conf")
        tls = NGINX_TLS.format(certificate=self.tls[0], key=self.tls[1]) if self.tls else ""
        with open(conf, "w") as out:
            out.write(NGINX_CONF.format(work=self.work, port=self.port, root=self.root, rate=self.rate,
                                        ssl=" ssl" if self.tls else "", tls=tls,
                                        redirects="\n    ".join(self.redirects)))
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


# A captive portal's sign-in page, 130 bytes.
PORTAL_PAGE = (b'<html><head><title>Sign in</title></head><body><form action="/login">'
               b'Sign in to use this network.</form></body></html>').ljust(130, b"\n")
ERROR_PAGE = b"<html><body>error</body></html>"
# How long an answer is held back at most when the test never lets it go.
HOLD_SECONDS = 300


def broken_off(length):
    """How much of a body of `length` bytes the stallbody and reset modes
    send before they stop: 40 %, rounded down to whole 8 KiB pieces. The
    setup reads 8 KiB at a time and saves whole reads only, so that it has
    saved every byte sent by the time it waits for more."""
    return length * 2 // 5 // 8192 * 8192


def unsent(connection):
    """The bytes written to a TCP socket that its peer has not yet acknowledged."""
    return struct.unpack("i", fcntl.ioctl(connection.fileno(), termios.TIOCOUTQ, b"\0" * 4))[0]


class FaultHandler(http.server.BaseHTTPRequestHandler):
    """Answers each request as its mode says (see FaultServer); each mode_X
    method answers mode X and returns the status and the bytes of body sent."""

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

    def unmeasured(self, body, status=200):
        self.head(status, [("Connection", "close")])
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

    def part(self, data):
        """What a file server answers the request's range with: the status,
        the body and the headers beside its length."""
        match = re.match(r"bytes=(\d+)-$", self.range or "")
        if match and int(match.group(1)) < len(data):
            start = int(match.group(1))
            return 206, data[start:], [("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))]
        return 200, data, []

    def broken_off(self, data):
        """Answers as ok does, but sends only the part broken_off() says of
        the body; the connection is not used again. Returns the status, the
        bytes sent and where in the file they end."""
        status, body, headers = self.part(data)
        self.head(status, [*headers, ("Content-Length", str(len(body)))])
        sent = broken_off(len(body))
        self.wfile.write(body[:sent])
        self.wfile.flush()
        self.close_connection = True
        return status, sent, len(data) - len(body) + sent

    def hold(self):
        """Sends nothing until the client closes the connection or the
        server is released."""
        self.close_connection = True
        released = self.server.owner.released
        deadline = time.monotonic() + HOLD_SECONDS
        while not released.is_set() and time.monotonic() < deadline:
            if select.select([self.connection], [], [], 0.2)[0]:
                try:
                    if not self.connection.recv(1, socket.MSG_PEEK):
                        return
                except OSError:
                    return
                # Bytes the client sent on: not a close, and not for us.
                released.wait(0.2)

    def reset(self, end):
        """Drops the connection with a reset once the client has received
        everything sent, and saved it up to byte `end` where the server
        knows the file it saves to: under Wine, a reset drops what the
        client has not yet read, even the headers."""
        saved = self.server.owner.saved
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if not unsent(self.connection) and (not saved or os.path.exists(saved) and os.path.getsize(saved) >= end):
                break
            time.sleep(0.01)
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        # Closed here, not shut down by the server, which would send a FIN first.
        os.close(self.connection.detach())
        self.close_connection = True

    def mode_ok(self, data):
        status, body, headers = self.part(data)
        return status, self.whole(status, body, headers)

    def mode_norange(self, data):
        return 200, self.whole(200, data)

    def mode_nolength(self, data):
        return 200, self.unmeasured(data)

    def mode_wronglength(self, data):
        return 200, self.whole(200, data + b"\0")

    def mode_short(self, data):
        self.head(200, [("Content-Length", str(len(data))), ("Connection", "close")])
        self.wfile.write(data[:len(data) // 2])
        self.wfile.flush()
        self.close_connection = True
        return 200, len(data) // 2

    def mode_slow(self, data):
        self.head(200, [("Content-Length", str(len(data)))])
        for start in range(0, len(data), 8192):
            self.wfile.write(data[start:start + 8192])
            self.wfile.flush()
            time.sleep(0.02)
        return 200, len(data)

    def mode_chunked(self, data):
        return 200, self.chunks([data[i:i + 16384] for i in range(0, len(data), 16384)])

    def mode_chunkedlonger(self, data):
        return self.mode_chunked(data + b"\xEE" * 1000)

    def mode_nolengthlonger(self, data):
        return 200, self.unmeasured(data + b"\xEE" * 1000)

    def mode_nolengthshort(self, data):
        return 200, self.unmeasured(data[:len(data) // 2])

    def mode_portal(self, data):
        return 200, self.chunks([PORTAL_PAGE])

    def mode_portalcut(self, data):
        return 200, self.chunks([PORTAL_PAGE], last=False)

    def mode_endless(self, data):
        self.head(200, [("Transfer-Encoding", "chunked")])
        piece = bytes(range(256)) * 256
        sent = 0
        try:
            while sent < self.server.owner.ENDLESS:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                sent += len(piece)
            self.wfile.write(b"0\r\n\r\n")
        except OSError:
            self.close_connection = True
        return 200, sent

    def mode_held(self, data):
        self.head(200, [("Content-Length", str(len(data)))])
        self.wfile.write(data[:len(data) // 2])
        self.wfile.flush()
        self.server.owner.released.wait(120)
        self.wfile.write(data[len(data) // 2:])
        return 200, len(data)

    def mode_stallhead(self, data):
        self.hold()
        return 0, 0

    def mode_stallbody(self, data):
        status, sent, _ = self.broken_off(data)
        self.hold()
        return status, sent

    def mode_reset(self, data):
        status, sent, end = self.broken_off(data)
        self.reset(end)
        return status, sent

    def redirect(self, location):
        return 302, self.whole(302, b"", [("Location", location)])

    def mode_redirect(self, data):
        return self.redirect("/ok/" + self.rest)

    def mode_loop(self, data):
        return self.redirect(self.path)

    def mode_loopurl(self, data):
        return self.redirect("http://127.0.0.1:%d%s" % (self.server.server_address[1], self.path))

    def mode_emptylocation(self, data):
        return self.redirect("")

    def do_GET(self):
        owner = self.server.owner
        with owner.answering:
            owner.busy += 1
        try:
            owner.arrived.set()
            began = time.time()
            self.range = self.headers.get("Range")
            parts = self.path.split("/", 2)
            mode, self.rest = (parts[1], parts[2]) if len(parts) == 3 else ("", "")
            if mode == "scripted":
                mode = owner.script.pop(0) if len(owner.script) > 1 else owner.script[0]
            segments = [s for s in re.split(r"[?#]", self.rest, 1)[0].split("/") if s]
            file = os.path.join(owner.root, segments[-1]) if segments else ""
            error = re.fullmatch(r"([45]\d\d)(nolength)?", mode)
            answer = getattr(self, "mode_" + mode, None)
            if error:
                status = int(error.group(1))
                sent = self.unmeasured(ERROR_PAGE, status) if error.group(2) else self.whole(status, ERROR_PAGE)
            elif not os.path.isfile(file):
                status, sent = 404, self.whole(404, b"no such file")
            elif answer is None:
                status, sent = 400, self.whole(400, b"unknown mode")
            else:
                status, sent = answer(harness.read(file))
            ended = time.time()
            owner.log.append(Request("GET", self.path, status, sent, self.range, ended, ended - began))
        finally:
            with owner.answering:
                owner.busy -= 1
                owner.answering.notify_all()


class FaultServer:
    """Serves the files of `root` as http://127.0.0.1:port/MODE/PATH, for
    what nginx won't do. The file is the last segment of PATH that is not
    empty, its query and fragment cut (so ok/fwlink/?linkid=1 serves the
    file "fwlink"; Wine's WinINet sends a fragment on). MODE says how it is
    answered:

    ok              200 with its length, or 206 for a range from a byte on
    norange         200 and the whole body, whatever range is asked for
    nolength        200 without a length, the connection closed at the end
    wronglength     200 with a length and a body one byte longer than the file
    short           the whole length announced, half the body sent, then closed
    slow            the whole file in 8 KiB pieces, 20 ms apart
    chunked         200, the file in chunks without a length
    chunkedlonger   the same with 1,000 bytes more
    nolengthlonger  200 without a length, 1,000 bytes more, then closed
    nolengthshort   200 without a length, half the file, then closed
    portal          200, the sign-in page in chunks
    portalcut       200, the sign-in page as a chunk, then closed without
                    the last chunk
    endless         200, 200 MiB in chunks, until the client goes
    held            200 with its length, half the file, then the rest once
                    the test calls release() (at most two minutes later)
    stallhead       no answer: the request is read, then nothing is sent
                    until the client closes the connection or the test
                    calls release(); logged with status 0
    stallbody       as ok, headers and 40 % of the body (see broken_off),
                    then nothing, as stallhead
    reset           as ok, headers and 40 % of the body, then a reset once
                    the client has them, saved in the file `saved` where the
                    test names it
    redirect        302 to /ok/PATH
    loop            302 to its own path, without scheme and host
    loopurl         302 to its own absolute URL
    emptylocation   302 with a Location: header of no value
    NNN             that status (400 to 599) with a short page and its length
    NNNnolength     the same without a length, the connection closed
    scripted        each request answered as the next mode of `script`,
                    the last one for every request after

    `arrived` is set at each request's first line; `log` holds each request
    once it is answered, with the bytes of body sent, when the answer ended
    and how long it took. Stopping the server releases every answer held
    back and waits for them, so that the log is whole afterwards."""

    ENDLESS = 200 << 20

    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.log = []
        self.arrived = threading.Event()
        self.released = threading.Event()
        self.answering = threading.Condition()
        self.busy = 0
        self.script = ["ok"]
        self.saved = None
        self.server = None
        self.thread = None

    def url(self, mode, path):
        return "http://127.0.0.1:%d/%s/%s" % (self.server.server_address[1], mode, path)

    def release(self):
        self.released.set()

    def idle(self, seconds=30):
        """Waits until no request is being answered; False if one still is
        after `seconds`."""
        with self.answering:
            return self.answering.wait_for(lambda: self.busy == 0, seconds)

    def requests(self):
        return list(self.log)

    def __enter__(self):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), FaultHandler)
        self.server.daemon_threads = True
        self.server.owner = self
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        harness.open_servers.append(self)
        return self

    def __exit__(self, *exc):
        harness.open_servers.remove(self)
        self.released.set()
        self.idle()
        self.server.shutdown()
        self.server.server_close()
        self.thread.join(timeout=30)


# ---------------------------------------------------------------------------
# A forward proxy, set as the Wine prefix's proxy for the length of a test.

TINYPROXY_CONF = """Port {port}
Listen 127.0.0.1
Allow 127.0.0.1
Timeout 60
MaxClients 16
LogFile "{work}/tinyproxy.log"
LogLevel Info
PidFile "{work}/tinyproxy.pid"
DisableViaHeader Yes
{auth}
"""


@dataclasses.dataclass(frozen=True)
class ProxyRequest:
    """One request as the proxy logged it: its method and what it asked for
    (a whole URL for a plain request, host:port for a CONNECT)."""
    method: str
    target: str


class Tinyproxy:
    """tinyproxy as a forward proxy at 127.0.0.1:port, run in the
    foreground with a configuration and a log of its own (never the
    system's service). With `credentials`, a (user, password) pair, it
    answers every request that does not give them with 407."""

    def __init__(self, credentials=None):
        self.credentials = credentials
        self.port = free_port()
        self.work = tempfile.mkdtemp(prefix="korvelt-tinyproxy-")
        self.process = None

    @property
    def address(self):
        return "127.0.0.1:%d" % self.port

    def __enter__(self):
        conf = os.path.join(self.work, "tinyproxy.conf")
        auth = "BasicAuth %s %s" % self.credentials if self.credentials else ""
        with open(conf, "w") as out:
            out.write(TINYPROXY_CONF.format(port=self.port, work=self.work, auth=auth))
        self.process = subprocess.Popen([TINYPROXY, "-d", "-c", conf], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        try:
            wait_for_port(self.port)
        except AssertionError:
            self.process.kill()
            self.process.wait()
            raise
        harness.open_servers.append(self)
        return self

    def __exit__(self, *exc):
        harness.open_servers.remove(self)
        self.process.terminate()
        self.process.wait(timeout=30)
        shutil.rmtree(self.work, ignore_errors=True)

    def requests(self):
        """Each request line the proxy logged so far, in order."""
        log = os.path.join(self.work, "tinyproxy.log")
        if not os.path.exists(log):
            return []
        with open(log, errors="replace") as lines:
            return [ProxyRequest(*match.groups()) for match in
                    (re.search(r"Request \(file descriptor \d+\): (\S+) (\S+) HTTP/", line) for line in lines) if match]


INTERNET_SETTINGS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"
# What the prefix's WinINet reads of a user's proxy settings: whether a
# proxy is used, which one, and the addresses that bypass it.
PROXY_VALUES = ("ProxyEnable", "ProxyServer", "ProxyOverride")


def _registry_entry(key, name):
    """(type, data) of a registry value of the prefix, or None."""
    status, output = harness.wine_output(["reg", "query", key, "/v", name])
    if status != 0:
        return None
    for line in output.splitlines():
        match = re.match(r"\s+%s\s+(REG_\w+)\s*(.*)$" % re.escape(name), line)
        if match:
            return match.group(1), match.group(2).strip()
    return None


def _reg(*arguments):
    status, output = harness.wine_output(["reg", *arguments])
    if status != 0:
        raise AssertionError("reg %s failed: %s" % (" ".join(arguments), output))


def _put_registry_entry(key, name, entry):
    if entry is None:
        if _registry_entry(key, name) is not None:
            _reg("delete", key, "/v", name, "/f")
        return
    kind, data = entry
    # reg query shows a DWORD in hexadecimal; reg add reads decimal.
    if kind == "REG_DWORD":
        data = str(int(data, 16))
    _reg("add", key, "/v", name, "/t", kind, "/d", data, "/f")


@contextlib.contextmanager
def prefix_proxy(address):
    """The Wine prefix's user uses the proxy at `address` ("host:port") for
    every address, as its Internet Settings say, while the block runs; the
    settings found before are put back however the block ends."""
    before = {name: _registry_entry(INTERNET_SETTINGS, name) for name in PROXY_VALUES}
    try:
        _put_registry_entry(INTERNET_SETTINGS, "ProxyEnable", ("REG_DWORD", "0x1"))
        _put_registry_entry(INTERNET_SETTINGS, "ProxyServer", ("REG_SZ", address))
        _put_registry_entry(INTERNET_SETTINGS, "ProxyOverride", None)
        yield
    finally:
        for name, entry in before.items():
            _put_registry_entry(INTERNET_SETTINGS, name, entry)
