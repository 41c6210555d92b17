"""The page over https: `tavloctl serve --http --tls-cert` in front of a simulated matrix, and a
headless Chromium that trusts the server's self-signed certificate (made by `tavloctl tls-cert`)
by its public key, and only that one.
"""
import base64
import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

import webserve
from webserve import wait_until


def spki_hash(certificate):
    """base64 of the SHA-256 of the certificate's public key, as Chromium names a key."""
    key = subprocess.run(["openssl", "x509", "-in", certificate, "-noout", "-pubkey"],
                         capture_output=True, check=True).stdout
    der = subprocess.run(["openssl", "pkey", "-pubin", "-outform", "der"], input=key,
                         capture_output=True, check=True).stdout
    return base64.b64encode(hashlib.sha256(der).digest()).decode()


class PageOverTls(unittest.TestCase):
    TOKEN = "5e1f-tls-page-93ab"

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="tavlo-web-tls-")
        certs = os.path.join(cls.folder, "certs")
        subprocess.run([webserve.TAVLOCTL, "tls-cert", "--out", certs, "--host", "127.0.0.1"],
                       check=True, capture_output=True)
        cert, key = os.path.join(certs, "tavlo.crt"), os.path.join(certs, "tavlo.key")
        cls.matrix = webserve.Matrix(cls.folder)
        cls.server = webserve.Server(cls.matrix, http="0.0.0.0:0", token=cls.TOKEN,
                                     folder=cls.folder,
                                     extra=["--tls-cert", cert, "--tls-key", key])
        cls.driver = webserve.browser(
            flags=[f"--ignore-certificate-errors-spki-list={spki_hash(cert)}"])

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.stop()
        cls.matrix.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_page_over_https_logs_in_with_a_secure_cookie_and_routes(self):
        self.assertTrue(self.server.url.startswith("https://"), self.server.url)
        self.driver.get(self.server.url)
        login = self.driver.find_element(By.ID, "login")
        self.assertTrue(wait_until(login.is_displayed, 5))
        self.driver.find_element(By.ID, "token").send_keys(self.TOKEN, Keys.ENTER)
        self.assertTrue(wait_until(
            lambda: len(self.driver.find_elements(
                By.CSS_SELECTOR, 'button.cross[aria-pressed="true"]')) == 4, 10))
        cookie = self.driver.get_cookie("tavlo_session")
        self.assertTrue(cookie["secure"])
        self.assertTrue(cookie["httpOnly"])
        # The WebSocket (wss://) carries the click; the matrix gets exactly that route.
        self.driver.find_element(
            By.CSS_SELECTOR, 'button.cross[data-output="2"][data-input="3"]').click()
        self.assertTrue(wait_until(
            lambda: "#video_d out2 matrix=3" in self.matrix.client_commands(), 3),
            self.matrix.client_commands())

    def test_plain_http_to_the_tls_port_gets_no_page(self):
        plain = self.server.url.replace("https://", "http://")
        driver = webserve.browser()
        try:
            driver.get(plain)
            self.assertEqual([], driver.find_elements(By.ID, "login"))
        finally:
            driver.quit()


if __name__ == "__main__":
    unittest.main(verbosity=2)
