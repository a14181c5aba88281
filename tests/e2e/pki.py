"""Certificates for the HTTPS tests, made with openssl in a temporary folder
by the tests that need them and thrown away after: no key is ever kept.

A test CA, which a test trusts in its Wine prefix for as long as it runs,
issues the leaves a server presents: a good one for localhost, an expired
one, one for another host name. A second CA, never trusted, issues a leaf
for localhost too. Wine checks the host name against the certificate's DNS
names only, never its IP addresses, so every leaf names localhost (or not)
by DNS and the tests' addresses say localhost.

Trust lives in the local machine's Root store of the Wine prefix, changed
by tests/e2e/tools/root_store.exe; the tests of a prefix run one at a time,
so a CA trusted for one test is trusted for no other."""
import contextlib
import datetime
import os
import shutil
import subprocess
import tempfile

import harness

# openssl ca's settings: any subject, the leaf's extensions from a file of
# its own, nothing copied from the request.
CA_CONF = """[ca]
default_ca = test_ca
[test_ca]
dir = {dir}
database = $dir/index.txt
new_certs_dir = $dir/issued
serial = $dir/serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
"""

CA_EXTENSIONS = """basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
"""

LEAF_EXTENSIONS = """basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = {names}
"""

# Every certificate is valid from long ago, so that the expired leaf lies
# inside its CA's time and only its own end is wrong.
START = "20190101000000Z"


def days_from_now(days):
    """openssl's form of the time `days` from now, in UTC."""
    return (datetime.datetime.now(datetime.timezone.utc) + datetime.timedelta(days=days)).strftime("%Y%m%d%H%M%SZ")


def openssl(*arguments, cwd=None):
    subprocess.run(["openssl", *arguments], check=True, cwd=cwd, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=120)


class Authority:
    """A CA of our own: its certificate (PEM and DER) and key."""

    def __init__(self, folder, name):
        self.dir = os.path.join(folder, name.lower().replace(" ", "-"))
        os.makedirs(os.path.join(self.dir, "issued"))
        with open(os.path.join(self.dir, "index.txt"), "w"):
            pass
        with open(os.path.join(self.dir, "serial"), "w") as out:
            out.write("1000\n")
        self.conf = os.path.join(self.dir, "ca.cnf")
        with open(self.conf, "w") as out:
            out.write(CA_CONF.format(dir=self.dir))
        self.key = os.path.join(self.dir, "ca.key")
        self.pem = os.path.join(self.dir, "ca.pem")
        self.der = os.path.join(self.dir, "ca.der")
        request = os.path.join(self.dir, "ca.csr")
        extensions = os.path.join(self.dir, "ca.ext")
        with open(extensions, "w") as out:
            out.write(CA_EXTENSIONS)
        openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key, "-out", request,
                "-subj", "/CN=Korvelt " + name)
        openssl("ca", "-batch", "-notext", "-selfsign", "-config", self.conf, "-keyfile", self.key, "-in", request,
                "-out", self.pem, "-extfile", extensions, "-startdate", START, "-enddate", days_from_now(30))
        openssl("x509", "-in", self.pem, "-outform", "DER", "-out", self.der)

    def issue(self, name, dns_name, end=None):
        """A leaf for `dns_name`, valid until `end` (openssl's
        YYYYMMDDHHMMSSZ) or for 30 days from now; returns (certificate, key)
        as PEM files, the certificate followed by the CA's as a server sends
        its chain."""
        key = os.path.join(self.dir, name + ".key")
        request = os.path.join(self.dir, name + ".csr")
        extensions = os.path.join(self.dir, name + ".ext")
        leaf = os.path.join(self.dir, name + ".leaf.pem")
        with open(extensions, "w") as out:
            out.write(LEAF_EXTENSIONS.format(names="DNS:" + dns_name))
        openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
                "-subj", "/CN=" + dns_name)
        openssl("ca", "-batch", "-notext", "-config", self.conf, "-cert", self.pem, "-keyfile", self.key,
                "-in", request, "-out", leaf, "-extfile", extensions, "-startdate", START,
                "-enddate", end or days_from_now(30))
        chain = os.path.join(self.dir, name + ".pem")
        with open(chain, "w") as out:
            for part in (leaf, self.pem):
                with open(part) as source:
                    out.write(source.read())
        return chain, key


class TestPki:
    """The test CA, the untrusted CA and the leaves they issue, made once
    into a temporary folder; `remove()` throws them away. Each leaf is a
    (certificate, key) pair of PEM files for nginx."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="korvelt-pki-")
        try:
            self.ca = Authority(self.folder, "Test CA")
            self.untrusted_ca = Authority(self.folder, "Untrusted CA")
            self.good = self.ca.issue("localhost", "localhost")
            self.expired = self.ca.issue("expired", "localhost", end="20200101000000Z")
            self.other_host = self.ca.issue("elsewhere", "elsewhere.test")
            self.untrusted = self.untrusted_ca.issue("untrusted", "localhost")
        except BaseException:
            self.remove()
            raise

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


ROOT_STORE = os.path.join(harness.TOOLS, "root_store.exe")


def root_store(command, authority):
    """root_store.exe's `command` ("add", "remove" or "has") on the
    certificate of `authority`; returns (its exit status, its output)."""
    return harness.wine_output([ROOT_STORE, command, harness.windows_path(authority.der)])


@contextlib.contextmanager
def trusted(authority):
    """`authority` trusted by the prefix while the block runs, and no longer
    once it ends, however it ends."""
    status, output = root_store("add", authority)
    if status != 0:
        raise AssertionError("the CA could not be trusted: " + output)
    try:
        yield
    finally:
        status, output = root_store("remove", authority)
        if status != 0:
            raise AssertionError("the CA stays trusted in the prefix: " + output)
