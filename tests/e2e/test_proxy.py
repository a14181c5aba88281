"""Downloads through a forward proxy under Wine: tinyproxy on 127.0.0.1 set
as the Wine prefix's proxy in its user's Internet Settings for the length of
a test. Plain requests and CONNECT for HTTPS go through it and the file is
verified; a proxy that asks for credentials (407) fails a quiet run's
download at once without any window, while in the wizard the system's
credentials dialog lets the user sign in and the download goes on."""
import os
import unittest
from contextlib import ExitStack

import control_ids as ids
import driver
from harness import finish, installed_marker, screenshot, start_windows, stop_run, windows_path, wine_output
from servers import Nginx, ProxyRequest, Tinyproxy, prefix_proxy
from test_https import SecureDownloadTest
from test_pinned_downloads import SETUP, pack_as_given

NEXT, FINISH, HINT, LIST = ids.kNextButton, ids.kFinishButton, ids.IDC_STEP_HINT, ids.IDC_PREREQ_LIST
INSTALL_HINT = "Please press the Next button to install the prerequisites."
FINISH_HINT = "Please press the Finish button to install the main application."
CREDENTIALS = ("korvelt", "Pr0xy-s3cret")
# Wine's dialog for a proxy's credentials (wininet's IDD_PROXYDLG): its
# caption, and the ids of its User and Password boxes.
PROXY_DIALOG = "Enter Network Password"
USER_BOX, PASSWORD_BOX = 1027, 1028


def registry_holds(folder, text):
    """Whether the prefix's registry holds `text` anywhere: in a name or a
    string, or as the bytes of a binary value, in ANSI or UTF-16."""
    found = False
    for root in ("HKCU", "HKLM"):
        exported = os.path.join(folder, root + ".reg")
        status, output = wine_output(["reg", "export", root, windows_path(exported), "/y"], timeout=120)
        if status != 0:
            raise AssertionError("reg export %s failed: %s" % (root, output))
        with open(exported, "rb") as file:
            data = file.read()
        # A UTF-16 file with a byte order mark; a binary value is written
        # as hexadecimal bytes, broken over lines ending in a backslash.
        lines = data.decode("utf-16") if data.startswith(b"\xff\xfe") else data.decode("latin-1")
        flat = lines.replace("\\\r\n", "").replace("\\\n", "").replace(" ", "").lower()
        forms = [text.lower(), ",".join("%02x" % b for b in text.encode("latin-1")),
                 ",".join("%02x" % b for b in text.encode("utf-16-le"))]
        found = found or any(form in flat for form in forms)
    return found


class ProxiedDownloadTest(SecureDownloadTest):
    """Downloads from nginx through tinyproxy, set as the prefix's proxy."""

    def through_proxy(self, stack, tls, credentials=None):
        """An nginx, over https with `tls`, and a tinyproxy (asking for
        `credentials`) set as the prefix's proxy for the length of `stack`;
        returns both."""
        nginx, proxy = self.started(stack, Nginx(self.served, tls=tls), Tinyproxy(credentials))
        stack.enter_context(prefix_proxy(proxy.address))
        return nginx, proxy

    def proxy_request(self, nginx):
        """What the proxy is asked for two.exe on `nginx`: the URL itself,
        or a tunnel to its host for https."""
        url = nginx.url("two.exe")
        if url.startswith("https:"):
            return ProxyRequest("CONNECT", "localhost:%d" % nginx.port)
        return ProxyRequest("GET", url)


class ProxyTest(ProxiedDownloadTest):
    """What goes through the proxy, and what a proxy's 407 does to a quiet
    run."""

    # A plain request and a CONNECT tunnel: the proxy's log shows the one
    # request, the server answers it, and the file is verified and run.
    def test_plain_and_connect(self):
        for label, tls in [("http", None), ("https", self.pki.good)]:
            self.fresh_folder()
            with self.subTest(label), ExitStack() as stack, self.kept_on_failure(label):
                nginx, proxy = self.through_proxy(stack, tls)
                windows = self.run_quiet(nginx.url("two.exe"))
                self.assertEqual(proxy.requests(), [self.proxy_request(nginx)])
                self.assertEqual([(r.path, r.status) for r in nginx.requests()], [("/two.exe", 200)])
                self.assert_came_through(True)
                self.assertEqual(windows, [])

    # A proxy that answers 407: the quiet run asks nobody, neither by a
    # dialog nor by asking again; its one request reached the proxy and
    # no further, and nothing is saved or run.
    def test_credentials_asked_in_a_quiet_run(self):
        for label, tls in [("http", None), ("https", self.pki.good)]:
            self.fresh_folder()
            with self.subTest(label), ExitStack() as stack, self.kept_on_failure(label):
                nginx, proxy = self.through_proxy(stack, tls, CREDENTIALS)
                windows = self.run_quiet(nginx.url("two.exe"))
                self.assertEqual(windows, [])
                self.assertEqual(proxy.requests(), [self.proxy_request(nginx)])
                self.assertEqual(nginx.requests(), [])
                self.assert_came_through(False)


class WizardProxyTest(ProxiedDownloadTest):
    """The wizard behind a proxy that asks for credentials."""

    def wizard_setup(self, url):
        lines = ["[PREREQUISITES]", "App1=Web Runtime", "", "[App1]", "Url=" + url, "ExactSize=%d" % self.size,
                 *self.digest, "CommandLine=/log:%s /name:two" % windows_path(self.log),
                 # Found once its program has run: the log the program writes.
                 "SearchType=0", "SearchString=%s" % windows_path(self.log)]
        return pack_as_given(os.path.join(self.setup_folder, SETUP), self.folder, "\r\n".join(lines) + "\r\n",
                             "--main", os.path.join(self.folder, "App.msi"))

    def page(self, watcher, test, what, timeout=60):
        return watcher.wait_for(lambda d: d.caption == "Korvelt Setup" and test(d), timeout=timeout, what=what)

    # An https download through the proxy: the system's dialog asks for the
    # proxy's credentials, the user types them and presses OK, and the
    # download goes on through the proxy's tunnel; the prerequisite and the
    # main package install. The password is written nowhere.
    def test_user_signs_in_to_the_proxy(self):
        self.fresh_folder()
        with ExitStack() as stack, self.kept_on_failure("wizard"):
            nginx, proxy = self.through_proxy(stack, self.pki.good, CREDENTIALS)
            setup = self.wizard_setup(nginx.url("two.exe"))
            watcher = driver.Watcher()
            stack.callback(watcher.stop)
            run = watcher.watch(start_windows('"%s"' % windows_path(setup), cwd=self.setup_folder))

            stack.callback(stop_run, run)
            info = self.page(watcher, lambda d: d.control(id=NEXT) is not None and d.control(id=NEXT).enabled,
                             "the Information page")
            driver.click(info.control(id=NEXT))
            page = self.page(watcher, lambda d: d.control(id=LIST) is not None and
                             [r[-1] for r in d.control(id=LIST).rows] == ["Download"], "the PreRequisites page")
            driver.click(page.control(id=NEXT))

            asked = watcher.wait_for(lambda d: d.caption == PROXY_DIALOG and d.control(id=PASSWORD_BOX) is not None,
                                     what="the proxy's credentials dialog")
            self.assertIn(proxy.address, asked.texts(), "the dialog names the proxy")
            screenshot("proxy-credentials")
            driver.click(asked.control(id=USER_BOX))
            driver.type_text(CREDENTIALS[0], into=asked)
            driver.click(asked.control(id=PASSWORD_BOX))
            driver.type_text(CREDENTIALS[1], into=asked)
            typed = watcher.wait_for(lambda d: d.handle == asked.handle and
                                     d.control(id=USER_BOX).text == CREDENTIALS[0], what="the user name typed")
            screenshot("proxy-credentials-typed")
            driver.click(typed.control(text="OK"))

            def step(hint, actions):
                return lambda d: d.control(id=HINT) is not None and d.control(id=HINT).text == hint and \
                    [r[-1] for r in d.control(id=LIST).rows] == actions
            page = self.page(watcher, step(INSTALL_HINT, ["Install"]), "the install step with the download done",
                             timeout=120)
            driver.click(page.control(id=NEXT))
            page = self.page(watcher, step(FINISH_HINT, ["Installed"]), "the finish step with the row installed")
            driver.click(page.control(id=FINISH))
            code = finish(run, timeout=300, probe=watcher.probe)
            self.assertEqual(code, 0)
            # The dialog was asked for once: one sign-in was enough.
            self.assertEqual(len({d.handle for d in watcher.history if d.caption == PROXY_DIALOG}), 1)
            # Asked without credentials first, then again with them; only
            # the tunnel with them reached the server.
            requests = proxy.requests()
            self.assertGreaterEqual(len(requests), 2)
            self.assertEqual(set(requests), {self.proxy_request(nginx)})
            self.assertEqual([(r.path, r.status) for r in nginx.requests()], [("/two.exe", 200)])
            self.assert_came_through(True)
            self.assertTrue(os.path.exists(installed_marker(self.product)), "the main package is installed")
            for name, data in self.left().items():
                self.assertNotIn(CREDENTIALS[1].encode(), data, name)
            self.assertFalse(registry_holds(self.folder, CREDENTIALS[1]), "the password is in the registry")


if __name__ == "__main__":
    unittest.main()
