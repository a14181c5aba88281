"""Quiet runs under Wine that download over HTTPS from nginx on 127.0.0.1,
its certificates issued by a test CA that the test trusts in its Wine
prefix for as long as it runs: a download over HTTPS is verified and
installed, an http address may move up to https but an https one never down
to http, and a certificate from a CA not trusted, an expired one or one for
another host opens nothing: no request is sent, nothing is saved or run."""
import hashlib
import os
import time
import unittest
from contextlib import ExitStack

import control_ids as ids
import driver
import pki
from harness import finish, installed_marker, probe_dialogs, start_windows, uninstall, windows_path
from servers import Nginx
from test_pinned_downloads import PinnedDownloadTest


def other_windows(report):
    """The dialogs in a dialog probe's report beyond the quiet run's status
    window (its line of text and nothing else), as (caption, texts)."""
    found, current = [], None
    for line in report.splitlines():
        match = driver.DIALOG.match(line)
        if match:
            current = driver.Dialog(match)
            found.append(current)
            continue
        match = driver.CONTROL.match(line)
        if match and current is not None:
            current.controls.append(driver.Control(match, current))
    return [(d.caption, d.texts()) for d in found if any(c.id != ids.IDC_STATUS_TEXT for c in d.controls)]


class SecureDownloadTest(PinnedDownloadTest):
    """A test CA trusted in the prefix for the tests of the class, the
    leaves it and an untrusted CA issue, and quiet runs watched by a dialog
    probe; each setup downloads one prerequisite, two.exe, pinned by
    ExactSize and Sha256."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.pki = pki.TestPki()
        cls.addClassCleanup(cls.pki.remove)
        cls.enterClassContext(pki.trusted(cls.pki.ca))
        status, output = pki.root_store("has", cls.pki.untrusted_ca)
        if status != 1:
            raise AssertionError("the untrusted CA is in the prefix's Root store: " + output)

    def setUp(self):
        super().setUp()
        self.serve("two.exe", self.program)
        self.digest = ["Sha256=" + hashlib.sha256(self.program).hexdigest().upper()]

    def started(self, stack, *servers):
        """Starts `servers` for the length of `stack`; their requests are
        kept with the case's state when it fails."""
        for server in servers:
            stack.enter_context(server)
            self.servers.append(server)
        return servers

    def run_quiet(self, url, timeout=300):
        """Packs a quiet setup whose one prerequisite downloads `url` into
        the case's folder and runs it to its end, a dialog probe watching it
        and the programs it starts. Whatever the download came to, the run
        ends with 0 and the main package installed (and removed again).
        Returns the windows it showed beyond its status window."""
        setup = self.make_setup([("two", url, self.size, self.digest)])
        probe = probe_dialogs(timeout + 60)
        try:
            time.sleep(1.5)  # the probe is watching before the setup starts
            run = start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder)
            probe.watch(run)
            code = finish(run, timeout, probe=probe)
        finally:
            probe.kill()
            probe.wait()
        self.assertEqual(code, 0, run.output())
        self.assertTrue(os.path.exists(installed_marker(self.product)), "the main package is installed")
        uninstall(self.package)
        return other_windows(probe.output())

    def assert_came_through(self, comes):
        """The download was saved whole and run, or nothing was saved and
        nothing run."""
        if comes:
            self.assertEqual(self.ran(), ["two"])
            self.assertEqual(self.left(), {"two.exe": self.program})
        else:
            self.assertEqual(self.ran(), [])
            self.assertEqual(self.left(), {})


class HttpsTest(SecureDownloadTest):
    """What comes of an address by the certificate of its server and the
    redirects on its way."""

    # label, the server the address names, its path there, the requests
    # each server answers (path and status), whether the file comes through
    CASES = [
        ("https", "good", "two.exe", {"good": [("/two.exe", 200)]}, True),
        ("http moved up to https", "plain", "moved/two.exe",
         {"plain": [("/moved/two.exe", 301)], "good": [("/two.exe", 200)]}, True),
        ("http found up at https", "plain", "found/two.exe",
         {"plain": [("/found/two.exe", 302)], "good": [("/two.exe", 200)]}, True),
        # Following it would fetch the file in the clear.
        ("https down to http", "good", "down/two.exe", {"good": [("/down/two.exe", 302)]}, False),
        # A certificate refused sends no request at all.
        ("a CA not trusted", "untrusted", "two.exe", {}, False),
        ("an expired certificate", "expired", "two.exe", {}, False),
        ("a certificate for another host", "other host", "two.exe", {}, False),
    ]

    # The file comes through only from a server whose certificate holds,
    # over https from there on: saved whole and run. Otherwise nothing is
    # saved or run. Either way the quiet run shows no window but its status.
    def test_certificates_and_redirects(self):
        for label, where, path, answered, comes in self.CASES:
            self.fresh_folder()
            with self.subTest(label), ExitStack() as stack, self.kept_on_failure(label):
                plain = Nginx(self.served)
                good = Nginx(self.served, tls=self.pki.good)
                plain.redirect("/moved/", good.url(""), 301).redirect("/found/", good.url(""), 302)
                good.redirect("/down/", plain.url(""), 302)
                servers = {"plain": plain, "good": good, "untrusted": Nginx(self.served, tls=self.pki.untrusted),
                           "expired": Nginx(self.served, tls=self.pki.expired),
                           "other host": Nginx(self.served, tls=self.pki.other_host)}
                self.started(stack, *servers.values())
                windows = self.run_quiet(servers[where].url(path))
                self.assertEqual({name: [(r.path, r.status) for r in server.requests()]
                                  for name, server in servers.items() if server.requests()}, answered)
                self.assert_came_through(comes)
                self.assertEqual(windows, [])


if __name__ == "__main__":
    unittest.main()
