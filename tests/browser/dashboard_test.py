#!/usr/bin/env python3
"""The dashboard in a real browser: a headless server on a generated world with three bots,
Chromium driven by Selenium opens the page, enters the token, sees the bots in the player list
and on the map, kicks one (which disappears, and whose bot sees its connection closed), bans
one from its row and then a bot named like every address (only that name is banned), pauses
the server and sees a new bot refused with "Server is paused.".

Exits 77, which CTest counts as skipped, with the reason on standard output, where Chromium,
its driver or Selenium is missing or cannot start. With --screenshots DIR it also saves the
page's pictures for the documentation."""

import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIPPED = 77
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WAIT = 60  # seconds for anything the test waits on
BOTS = ["ada", "bert", "cleo"]


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(SKIPPED)


def until(what, done, seconds=WAIT):
    """Polls done() until it returns something true; fails the test naming `what` after `seconds`."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = done()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def alert_of(driver):
    """The page's open alert or confirm box, or None."""
    from selenium.common.exceptions import NoAlertPresentException
    try:
        return driver.switch_to.alert
    except NoAlertPresentException:
        return None


def reserve_udp_range():
    """64 UDP ports no other test program uses, the way the C++ tests take them: bind the
    range's first port (servers never use it) and check that the others are free."""
    first, ranges = 10048, 340
    start = os.getpid() % ranges
    for i in range(ranges):
        base = first + 64 * ((start + i) % ranges)
        lock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        try:
            lock.bind(("", base))
        except OSError:
            lock.close()
            continue
        free = True
        for n in range(1, 64):
            probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            try:
                probe.bind(("", base + n))
            except OSError:
                free = False
            finally:
                probe.close()
            if not free:
                break
        if free:
            return base, lock
        lock.close()
    raise RuntimeError("no free UDP port range for the test")


class Session:
    def __init__(self, args, work):
        self.args, self.work = args, work
        self.processes = []

    def start(self, argv, name):
        out = open(os.path.join(self.work, name + ".out"), "w")
        p = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        p.output = out.name
        self.processes.append(p)
        return p

    def stop_all(self):
        for p in self.processes:
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for p in self.processes:
            try:
                p.wait(timeout=30)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


def output_of(process):
    with open(process.output) as f:
        return f.read()


def browser(work):
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError as e:
        skip("python3-selenium is not installed (" + str(e) + ")")
    for program in (CHROMIUM, CHROMEDRIVER):
        if not os.access(program, os.X_OK):
            skip(program + " is not installed")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--disable-dev-shm-usage", "--window-size=1400,1000",
                 "--user-data-dir=" + os.path.join(work, "profile")):
        options.add_argument(flag)
    try:
        return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    except Exception as e:  # noqa: BLE001 - any failure to start means this machine cannot run it
        skip("Chromium cannot start here: " + str(e).splitlines()[0])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--bot", required=True)
    parser.add_argument("--mkworld", required=True)
    parser.add_argument("--screenshots")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="zqo-dashboard-")
    session = Session(args, work)
    driver = None
    try:
        driver = browser(work)
        from selenium.webdriver.common.by import By

        game = os.path.join(work, "game")
        subprocess.run([args.mkworld, game], check=True, stdout=subprocess.DEVNULL)
        base, lock = reserve_udp_range()
        server = session.start([args.server, "--headless", "--game-dir", game, "--tcp-port", "0",
                                "--base-udp-port", str(base), "--max-clients", "8",
                                "--admin-listen", "127.0.0.1:0"], "server")
        log_path = os.path.join(game, "ZQOSRV.LOG")

        def log():
            return open(log_path).read() if os.path.exists(log_path) else ""

        admin = until("the admin API's log line", lambda: re.search(
            r"Admin API listening on (http://127\.0\.0\.1:\d+/)", log()))
        url = admin.group(1)
        tcp_port = re.search(r"Server is TCP listening on (\d+)", log()).group(1)
        token_path = os.path.join(game, "zqosrv-admin.token")
        assert "Admin token made in " + token_path + " (mode 0600)." in log()
        assert os.stat(token_path).st_mode & 0o777 == 0o600
        token = open(token_path).read().strip()

        def api(path):
            request = urllib.request.Request(url.rstrip("/") + path,
                                             headers={"Authorization": "Bearer " + token})
            opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
            with opener.open(request, timeout=10) as response:
                return json.loads(response.read())

        bots = {name: session.start([args.bot, "--port", tcp_port, "--name", name, "--walk",
                                     "--seconds", "300"], "bot-" + name) for name in BOTS}
        until("three players", lambda: len(api("/api/players")["players"]) == 3)

        # The page asks for the token, then keeps it in session storage.
        driver.get(url)
        until("the token form", lambda: driver.find_element(By.ID, "login").is_displayed())
        driver.find_element(By.ID, "token-input").send_keys(token)
        driver.find_element(By.CSS_SELECTOR, "#token-form button[type=submit]").click()
        until("the dashboard", lambda: driver.find_element(By.ID, "dashboard").is_displayed())
        assert driver.execute_script(
            "return sessionStorage.getItem('zqosrv-admin-token')") == token

        def rows():
            return set(driver.execute_script(
                "return [...document.querySelectorAll('#players tbody tr td.name')]"
                ".map(td => td.textContent)"))

        def dots():
            """name -> the dot's left edge in pixels, as drawn now."""
            return dict(driver.execute_script(
                "return [...document.querySelectorAll('#map .dot')]"
                ".map(d => [d.textContent, parseFloat(getComputedStyle(d).left)])"))

        until("the bots in the player list", lambda: set(rows()) == set(BOTS))
        until("the bots on the map", lambda: set(dots()) == set(BOTS))
        until("the map picture", lambda: driver.execute_script(
            "const i = document.getElementById('map-image'); return i.complete && i.naturalWidth"))
        # Each dot stands where its player is: 4 tiles a pixel, shown at 4x.
        for player in api("/api/players")["players"]:
            left = dots()[player["name"]]
            assert abs(left - (player["x"] + 0.5)) < 30, (player, left)
        until("the start-up lines in the log view",
              lambda: "Server is TCP listening on" in driver.find_element(By.ID, "log").text)
        assert driver.find_element(By.ID, "state").text == "running"
        if args.screenshots:
            until("every ping", lambda: all(p["ping_ms"] is not None
                                            for p in api("/api/players")["players"]))
            time.sleep(1.5)  # the page shows them and the dots' moves settle
            driver.save_screenshot(os.path.join(args.screenshots, "dashboard.png"))

        # Kick bert: gone from the list and the map, and the bot saw its connection closed.
        driver.find_element(
            By.XPATH, "//tr[td[@class='name' and text()='bert']]//button[@class='kick']").click()
        until("bert gone from the list", lambda: set(rows()) == {"ada", "cleo"})
        until("bert gone from the map", lambda: set(dots()) == {"ada", "cleo"})
        assert bots["bert"].wait(timeout=WAIT) == 1, output_of(bots["bert"])
        assert "connections lost" in output_of(bots["bert"]) and \
            "bot: 1 clients" in output_of(bots["bert"]), output_of(bots["bert"])
        assert bots["ada"].poll() is None and bots["cleo"].poll() is None
        until("the kick in the log view", lambda: "kicked by the admin API (127.0.0.1)"
              in driver.find_element(By.ID, "log").text)

        # Ban cleo, once the page's question is answered: gone, told why, and listed.
        driver.find_element(
            By.XPATH, "//tr[td[@class='name' and text()='cleo']]//button[@class='ban']").click()
        until("the ban's question", lambda: alert_of(driver)).accept()
        until("cleo gone from the list", lambda: set(rows()) == {"ada"})
        assert bots["cleo"].wait(timeout=WAIT) == 1, output_of(bots["cleo"])
        assert 'told "You are banned."' in output_of(bots["cleo"]), output_of(bots["cleo"])
        assert [(b["target"], b["kind"]) for b in api("/api/bans")["bans"]] == [("cleo", "name")]
        assert bots["ada"].poll() is None

        # A player named like every address: its row's Ban bans that name, and nobody else.
        wide = "0.0.0.0/0"
        bots[wide] = session.start([args.bot, "--port", tcp_port, "--name", wide, "--walk",
                                    "--seconds", "300"], "bot-wide")
        until("the wide name in the list", lambda: set(rows()) == {"ada", wide})
        driver.find_element(
            By.XPATH, "//tr[td[@class='name' and text()='" + wide + "']]//button[@class='ban']"
        ).click()
        until("the ban's question", lambda: alert_of(driver)).accept()
        until("the wide name gone from the list", lambda: set(rows()) == {"ada"})
        assert bots[wide].wait(timeout=WAIT) == 1, output_of(bots[wide])
        assert 'told "You are banned."' in output_of(bots[wide]), output_of(bots[wide])
        assert sorted((b["target"], b["kind"]) for b in api("/api/bans")["bans"]) == \
            [(wide, "name"), ("cleo", "name")]
        assert bots["ada"].poll() is None, output_of(bots["ada"])

        # Pause: a new bot is refused.
        driver.find_element(By.ID, "pause-button").click()
        until("the paused state", lambda: driver.find_element(By.ID, "state").text == "paused")
        assert driver.find_element(By.ID, "pause-button").text == "Resume"
        late = session.start([args.bot, "--port", tcp_port, "--name", "dora", "--trace",
                              "--seconds", "5"], "bot-dora")
        assert late.wait(timeout=WAIT) == 1, output_of(late)
        assert 'ServerFull Text="Server is paused."' in output_of(late), output_of(late)
        assert len(api("/api/players")["players"]) == 1
        if args.screenshots:
            driver.save_screenshot(os.path.join(args.screenshots, "dashboard-paused.png"))

        # A wrong token is refused and asked for again.
        driver.execute_script("sessionStorage.setItem('zqosrv-admin-token', 'not-the-token-xyz')")
        driver.refresh()
        until("the refusal", lambda: driver.find_element(By.ID, "login-error").text ==
              "That token is not the server's.")
        assert server.poll() is None, output_of(server)
        lock.close()
        print("dashboard: 1 passed, 0 failed")
        return 0
    finally:
        if driver is not None:
            driver.quit()
        session.stop_all()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
