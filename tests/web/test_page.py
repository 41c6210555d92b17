"""The control page in a real browser (headless Chromium), against `tavloctl serve` on the
simulated matrix: what it shows, what a click puts on the wire, how soon it follows changes
made elsewhere, and the login off loopback. Screenshots at desktop and phone width go to
$TAVLO_SCREENSHOTS."""
import os
import shutil
import tempfile
import time
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

import webserve
from webserve import wait_until

SCREENSHOTS = os.environ.get("TAVLO_SCREENSHOTS", "screenshots")


def crosspoint(driver, output, input_):
    return driver.find_element(
        By.CSS_SELECTOR, f'button.cross[data-output="{output}"][data-input="{input_}"]')


def shown_routing(driver):
    """Output -> input, as the page marks it (aria-pressed), for every output marked."""
    routing = {}
    for button in driver.find_elements(By.CSS_SELECTOR, 'button.cross[aria-pressed="true"]'):
        routing[int(button.get_attribute("data-output"))] = int(button.get_attribute("data-input"))
    return routing


def expected_routing(state):
    return {o["number"]: o["input"] for o in state["outputs"]}


def screenshot(driver, name, width, mobile):
    """The whole page at the given width, as a phone or a desktop shows it."""
    metrics = {"width": width, "height": 800, "deviceScaleFactor": 1, "mobile": mobile}
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
    metrics["height"] = driver.execute_script("return document.documentElement.scrollHeight")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
    os.makedirs(SCREENSHOTS, exist_ok=True)
    driver.save_screenshot(os.path.join(SCREENSHOTS, name))
    driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})


def result_beside(driver, control):
    """The result shown under the control's row, scene, fieldset or field, or None."""
    return driver.execute_script(
        "const holder = arguments[0].closest('tr, li, fieldset, .field');"
        "const next = holder.tagName === 'TR' ? holder.nextElementSibling : holder;"
        "const result = next && next.querySelector('.result');"
        "if (!result) return null;"
        "const box = result.getBoundingClientRect();"
        "return {text: result.textContent, top: box.top, bottom: box.bottom,"
        "        height: window.innerHeight};", control)


# Each word of every name as the page lays it out: how many line boxes it takes (1: whole).
WORD_LINES = """
const found = [];
for (const node of document.querySelectorAll(arguments[0])) {
  const text = node.firstChild;
  if (!text || text.nodeType !== Node.TEXT_NODE) continue;
  for (const match of text.data.matchAll(/\\S+/g)) {
    const range = document.createRange();
    range.setStart(text, match.index);
    range.setEnd(text, match.index + match[0].length);
    const tops = new Set([...range.getClientRects()].map((r) => Math.round(r.top)));
    found.push([match[0], tops.size, node.title]);
  }
}
return found;
"""


def set_width(driver, width, mobile):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": 800, "deviceScaleFactor": 1,
                            "mobile": mobile})


def controls_enabled(driver):
    """Whether each control of the page can be used: button, input or select."""
    return [not c.get_attribute("disabled") for c in driver.find_elements(
        By.CSS_SELECTOR, "#controls button, #controls input, #controls select")]


class PageOnLoopback(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="tavlo-web-")
        cls.matrix = webserve.Matrix(cls.folder)
        cls.server = webserve.Server(cls.matrix)
        if not cls.server.wait_acquired():
            raise RuntimeError("the server never had the matrix's whole state")
        cls.driver = webserve.browser()
        cls.driver.get(cls.server.url)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.stop()
        cls.matrix.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def wait_routing(self, routing, timeout=3):
        return wait_until(lambda: shown_routing(self.driver) == routing, timeout)

    def new_client_commands(self, before, count, timeout=3):
        wait_until(lambda: len(self.matrix.client_commands()) >= before + count, timeout)
        time.sleep(0.3)  # anything more would have followed within the pause
        return self.matrix.client_commands()[before:]

    def test_grid_shows_the_matrix_routing_and_names(self):
        state = self.server.state()
        self.assertTrue(self.wait_routing(expected_routing(state)), shown_routing(self.driver))
        for n in range(1, 5):
            heading = self.driver.find_element(By.ID, f"in-{n}").text
            self.assertIn(state["inputs"][n - 1]["name"], heading)
            row = self.driver.find_element(By.ID, f"out-{n}").text
            self.assertIn(state["outputs"][n - 1]["hdmiName"], row)
            self.assertIn(state["outputs"][n - 1]["hdbtName"], row)
        routed = crosspoint(self.driver, 1, state["outputs"][0]["input"])
        self.assertEqual("routed", routed.find_element(By.CLASS_NAME, "word").text)
        self.assertIn(state["outputs"][0]["hdmiName"], routed.accessible_name)
        self.assertEqual(state["device"]["model"], self.driver.find_element(By.ID, "model").text)
        self.assertEqual(state["device"]["firmware"],
                         self.driver.find_element(By.ID, "firmware").text)
        self.assertIn("connected", self.driver.find_element(By.ID, "link-state").text)
        screenshot(self.driver, "page-desktop.png", 1280, mobile=False)
        screenshot(self.driver, "page-phone.png", 390, mobile=True)

    def test_click_sends_exactly_one_route_and_grid_follows_the_matrix(self):
        state = self.server.state()
        self.assertTrue(self.wait_routing(expected_routing(state)))
        output = 2
        target = state["outputs"][output - 1]["input"] % 4 + 1
        before = len(self.matrix.client_commands())
        # Read in the click's own turn, before any answer can be handled: the click alone marks
        # the crosspoint as waiting, never as routed.
        at_click = self.driver.execute_script(
            "const b = arguments[0]; b.click();"
            "return [b.getAttribute('aria-pressed'), b.querySelector('.word').textContent];",
            crosspoint(self.driver, output, target))
        self.assertEqual(["false", "routing"], at_click)
        self.assertEqual([f"#video_d out{output} matrix={target}"],
                         self.new_client_commands(before, 1))
        routing = expected_routing(state)
        routing[output] = target
        self.assertTrue(self.wait_routing(routing), shown_routing(self.driver))
        self.assertEqual(routing, expected_routing(self.server.state()))

    def test_route_to_all_outputs_by_keyboard(self):
        button = self.driver.find_element(By.CSS_SELECTOR, 'button.all[data-input="3"]')
        self.assertIn("to all outputs", button.accessible_name)
        before = len(self.matrix.client_commands())
        button.send_keys(Keys.ENTER)
        self.assertEqual(["#video_d out0 matrix=3"], self.new_client_commands(before, 1))
        self.assertTrue(self.wait_routing({1: 3, 2: 3, 3: 3, 4: 3}), shown_routing(self.driver))

    def test_route_made_with_tavloctl_appears_within_a_second(self):
        state = self.server.state()
        self.assertTrue(self.wait_routing(expected_routing(state)))
        target = state["outputs"][3]["input"] % 4 + 1
        self.server.tavloctl("route", str(target), "4")
        sent = time.monotonic()
        shown = wait_until(lambda: crosspoint(self.driver, 4, target)
                           .get_attribute("aria-pressed") == "true", 2, step=0.01)
        elapsed = time.monotonic() - sent
        self.assertTrue(shown)
        print(f"tavloctl route shown in the page after {elapsed * 1000:.0f} ms")
        self.assertLess(elapsed, 1.0)

    def test_scene_save_asks_first_and_recall_brings_the_routing_back(self):
        self.server.call("POST", "api/v1/route", {"input": 1, "output": "all", "wait": True})
        self.assertTrue(self.wait_routing({1: 1, 2: 1, 3: 1, 4: 1}), shown_routing(self.driver))
        before = len(self.matrix.client_commands())
        save = self.driver.find_element(By.CSS_SELECTOR, '#scenes li[data-scene="6"] .save')
        save.click()
        dialog = self.driver.find_element(By.ID, "save-dialog")
        self.assertTrue(dialog.is_displayed())
        self.assertIn("scene 6", dialog.text)
        dialog.find_element(By.CSS_SELECTOR, 'button[value="cancel"]').click()
        save.click()
        dialog.find_element(By.CSS_SELECTOR, 'button[value="save"]').click()
        self.assertEqual(["#group6 exe=1"], self.new_client_commands(before, 1))

        self.server.call("POST", "api/v1/route", {"input": 2, "output": "all", "wait": True})
        self.assertTrue(self.wait_routing({1: 2, 2: 2, 3: 2, 4: 2}))
        before = len(self.matrix.client_commands())
        self.driver.find_element(By.CSS_SELECTOR, '#scenes li[data-scene="6"] .recall').click()
        self.assertEqual(["#group6 exe=2"], self.new_client_commands(before, 1))
        self.assertTrue(self.wait_routing({1: 1, 2: 1, 3: 1, 4: 1}), shown_routing(self.driver))

    def test_audio_and_edid_controls_send_their_commands(self):
        self.assertTrue(self.wait_routing(expected_routing(self.server.state())))
        before = len(self.matrix.client_commands())
        switch = self.driver.find_element(
            By.CSS_SELECTOR, 'fieldset[data-output="2"] .switch[data-path="spdif"]')
        was_on = switch.get_attribute("aria-pressed") == "true"
        switch.click()
        self.assertEqual([f"#audio_d out2 spdif={0 if was_on else 1}"],
                         self.new_client_commands(before, 1))
        self.assertTrue(wait_until(
            lambda: switch.get_attribute("aria-pressed") == ("false" if was_on else "true"), 3))
        self.assertEqual("off" if was_on else "on", switch.find_element(By.CLASS_NAME, "word").text)

        before = len(self.matrix.client_commands())
        self.driver.find_element(By.CSS_SELECTOR, 'input[name="audio-in-3"][value="a"]').click()
        select = self.driver.find_element(By.ID, "edid-1")
        select.find_element(By.CSS_SELECTOR, 'option[value="user:3"]').click()
        self.assertEqual(["#audio_d in3 enc=2", "#edid_d in1 mode=1 data=3"],
                         self.new_client_commands(before, 2))


    def test_the_result_of_an_action_shows_beside_its_control_also_on_a_phone(self):
        state = self.server.state()
        self.assertTrue(self.wait_routing(expected_routing(state)))
        set_width(self.driver, 390, mobile=True)
        try:
            # The grid's last row, far down a phone's page.
            target = state["outputs"][3]["input"] % 4 + 1
            button = crosspoint(self.driver, 4, target)
            self.driver.execute_script("arguments[0].scrollIntoView({block: 'end'})", button)
            button.click()
            result = wait_until(lambda: result_beside(self.driver, button), 3)
            self.assertTrue(result, "no result under the grid's row")
            self.assertIn(f"Input {target} to output 4: sent", result["text"])
            self.assertGreaterEqual(result["top"], 0)
            self.assertLessEqual(result["bottom"], result["height"], "the result is out of view")
            screenshot(self.driver, "page-result-phone.png", 390, mobile=True)

            switch = self.driver.find_element(
                By.CSS_SELECTOR, 'fieldset[data-output="3"] .switch[data-path="iis"]')
            switch.click()
            result = wait_until(lambda: result_beside(self.driver, switch), 3)
            self.assertTrue(result, "no result in the switch's fieldset")
            self.assertIn("Audio iis of output 3: sent", result["text"])
            self.assertIsNone(result_beside(self.driver, button), "the earlier result stays")
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def test_long_names_break_between_words_and_show_whole_on_hover(self):
        names = {1: "Conference Hall", 2: "Videoconferencer", 3: "Left Camera 2"}
        for port, name in names.items():
            self.server.call("POST", "api/v1/name",
                             {"kind": "input", "port": port, "name": name, "wait": True})
        self.assertTrue(wait_until(
            lambda: names[2] in self.driver.find_element(By.ID, "in-2").get_attribute(
                "textContent"), 3))
        try:
            for width, mobile in ((390, True), (1280, False)):
                set_width(self.driver, width, mobile)
                words = self.driver.execute_script(WORD_LINES, "#grid .name, #scenes .name")
                self.assertTrue(words)
                split = [(word, lines) for word, lines, _ in words if lines > 1]
                self.assertEqual([], split, f"words broken across lines at {width} px")
                titles = {title for _, _, title in words}
                self.assertTrue(set(names.values()) <= titles, titles)
            screenshot(self.driver, "page-long-names-phone.png", 390, mobile=True)
        finally:
            self.driver.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})

    def test_no_log_out_without_a_session(self):
        self.assertFalse(self.driver.find_element(By.ID, "logout").is_displayed())


class PageOffLoopback(unittest.TestCase):
    TOKEN = "b7c2e1f04a9d"

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="tavlo-web-")
        cls.matrix = webserve.Matrix(cls.folder)
        # Listening on every address, reached here through loopback.
        cls.server = webserve.Server(cls.matrix, http="0.0.0.0:0", token=cls.TOKEN,
                                     folder=cls.folder)
        cls.driver = webserve.browser()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.stop()
        cls.matrix.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_without_the_token_the_page_shows_the_login_and_sends_nothing(self):
        self.driver.get(self.server.url)
        login = self.driver.find_element(By.ID, "login")
        self.assertTrue(wait_until(login.is_displayed, 5))
        self.assertFalse(self.driver.find_element(By.ID, "controls").is_displayed())
        for button in self.driver.find_elements(By.CSS_SELECTOR, "button.cross"):
            self.assertFalse(button.is_displayed())
        screenshot(self.driver, "page-login-phone.png", 390, mobile=True)

        field = self.driver.find_element(By.ID, "token")
        field.send_keys("not-the-token", Keys.ENTER)
        error = self.driver.find_element(By.ID, "login-error")
        self.assertTrue(wait_until(lambda: "wrong token" in error.text, 5), error.text)
        self.assertTrue(login.is_displayed())
        self.assertEqual([], self.matrix.client_commands())

        field.clear()
        field.send_keys(self.TOKEN, Keys.ENTER)
        self.assertTrue(wait_until(
            lambda: len(self.driver.find_elements(
                By.CSS_SELECTOR, 'button.cross[aria-pressed="true"]')) == 4, 10))
        cookie = self.driver.get_cookie("tavlo_session")
        self.assertTrue(cookie["httpOnly"])
        self.assertEqual("Strict", cookie["sameSite"])
        crosspoint(self.driver, 1, 4).click()
        self.assertTrue(wait_until(
            lambda: "#video_d out1 matrix=4" in self.matrix.client_commands(), 3))

        # The session ends at the press of a button: the server forgets it, the page asks again.
        logout = self.driver.find_element(By.ID, "logout")
        self.assertTrue(logout.is_displayed())
        logout.click()
        self.assertTrue(wait_until(login.is_displayed, 5))
        self.assertFalse(logout.is_displayed())
        self.driver.refresh()
        self.assertTrue(wait_until(
            lambda: self.driver.find_element(By.ID, "login").is_displayed(), 5),
            "the session outlived its log-out")


class PageWhileTheLineIsDown(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="tavlo-web-")
        cls.matrix = webserve.Matrix(cls.folder)
        cls.server = webserve.Server(cls.matrix)
        if not cls.server.wait_acquired():
            raise RuntimeError("the server never had the matrix's whole state")
        cls.driver = webserve.browser()
        cls.driver.get(cls.server.url)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.stop()
        cls.matrix.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_every_control_is_greyed_and_says_why_until_the_line_returns(self):
        self.assertTrue(wait_until(lambda: len(shown_routing(self.driver)) == 4, 5))
        self.assertTrue(all(controls_enabled(self.driver)))
        notice = self.driver.find_element(By.ID, "down-notice")
        self.assertFalse(notice.is_displayed())

        self.matrix.stop()
        self.assertTrue(wait_until(lambda: not any(controls_enabled(self.driver)), 5),
                        controls_enabled(self.driver))
        self.assertTrue(notice.is_displayed())
        self.assertIn("line to the matrix is down", notice.text)
        for control in self.driver.find_elements(By.CSS_SELECTOR, "#controls button, #controls select"):
            self.assertIn("down", control.get_attribute("title"))
        screenshot(self.driver, "page-line-down-phone.png", 390, mobile=True)

        self.matrix = webserve.Matrix(self.folder)
        self.assertTrue(wait_until(lambda: all(controls_enabled(self.driver)), 10),
                        controls_enabled(self.driver))
        self.assertFalse(notice.is_displayed())
        self.assertEqual("", crosspoint(self.driver, 1, 2).get_attribute("title") or "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
