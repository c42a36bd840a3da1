"""Starts the real qv450 program against the simulated module and reads its windows
through the accessibility interface, as a person looking at the screen would.

With QV450_E2E_USB_SERVER naming qv450-sim-usb, the module is served on the machine's
USB device controller instead and the program finds it through hidapi, as a real one."""

import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi


# A module on a USB bus under software emulation keeps the program longer between the
# passes in which it answers the accessibility bus than the 0.8 s a call may wait.
if os.environ.get("QV450_E2E_USB_SERVER"):
    pyatspi.setTimeout(10000, 60000)


# Attaching takes a few seconds on an emulated bus; a minute means it never will.
ATTACH_LIMIT_S = 60


class UsbModule:
    """qv450-sim-usb serving the module of a simulator folder (a new one for "1")."""

    def __init__(self, server, simulator):
        self.own_folder = None if simulator.startswith("/") else tempfile.mkdtemp(prefix="qv450-e2e-usb-")
        folder = simulator if self.own_folder is None else self.own_folder
        self.process = subprocess.Popen([server, folder], stdout=subprocess.PIPE)
        line = self._first_line(ATTACH_LIMIT_S)
        if "attached" not in line:
            self.stop()
            raise AssertionError(f"qv450-sim-usb did not attach the module within {ATTACH_LIMIT_S} s: {line!r}")

    def _first_line(self, limit_s):
        """The server's first line, or what came of it by the limit (a server stuck on a
        gadget that never binds must fail the case, not hang the suite)."""
        deadline = time.monotonic() + limit_s
        fd = self.process.stdout.fileno()
        got = b""
        while b"\n" not in got:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                break
            chunk = os.read(fd, 4096)
            if not chunk:
                break
            got += chunk
        return got.decode(errors="replace").split("\n", 1)[0]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=30)
        if self.own_folder:
            shutil.rmtree(self.own_folder, ignore_errors=True)


class Program:
    """One running qv450 with a profile folder of its own."""

    def __init__(self, args=(), home=None, simulator="1"):
        server = os.environ.get("QV450_E2E_USB_SERVER")
        self.usb_module = UsbModule(server, simulator) if server else None
        if self.usb_module:
            simulator = ""
        self.home = home or tempfile.mkdtemp(prefix="qv450-e2e-")
        self.own_home = home is None
        if self.own_home:
            # A profile whose start-up update check is off: these tests are about the
            # module, and no update server answers here.
            with open(os.path.join(self.home, ".qv450rc"), "wb") as settings:
                settings.write(b"\0")
        env = dict(os.environ, HOME=self.home, QV450_SIMULATOR=simulator, LANG="C.UTF-8")
        env.pop("USERPROFILE", None)
        env.pop("LC_ALL", None)
        env.pop("LC_MESSAGES", None)
        self.process = subprocess.Popen([os.environ["QV450_BINARY"], *args], env=env)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.usb_module:
            self.usb_module.stop()

    def cleanup(self):
        self.stop()
        if self.own_home:
            shutil.rmtree(self.home, ignore_errors=True)

    def stored_language(self):
        """The language code in the settings file (the text after the flag byte)."""
        with open(os.path.join(self.home, ".qv450rc"), "rb") as settings:
            return settings.read()[1:].split(b"\0", 1)[0].decode()

    def application(self, timeout=30):
        """The program's accessible application, once it has registered."""
        return wait_for(lambda: next((app for app in desktop_apps()
                                      if app.get_process_id() == self.process.pid), None),
                        timeout, "the program on the accessibility bus")


def desktop_apps():
    desktop = pyatspi.Registry.getDesktop(0)
    return [desktop.getChildAtIndex(i) for i in range(desktop.childCount)
            if desktop.getChildAtIndex(i) is not None]


def wait_for(probe, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            found = probe()
        except Exception:  # the tree changes while it is read
            found = None
        if found:
            return found
        time.sleep(0.2)
    raise AssertionError(f"timed out waiting for {what}")


def menu_item(menu, name, timeout=30):
    """The item of a menu with this name; a child can read as None while the program
    is busy between main-loop passes, so the menu is read again until it answers."""
    return wait_for(lambda: next((child for child in (menu.getChildAtIndex(i) for i in range(menu.childCount))
                                  if child is not None and child.name == name), None),
                    timeout, f'the menu item "{name}"')


def choose_menu_item(window, menu, name):
    """Activates an item of the window's menu bar, found through its menu: a search of
    the whole window would also visit every entry of the vehicle lists (minutes)."""
    bar_menu = wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_MENU, menu)), None), 30, f'the menu "{menu}"')
    menu_item(bar_menu, name).queryAction().doAction(0)


def find_all(root, role, name=None):
    """The nodes of one role below root, in tree order, optionally with one name.

    The program answers the accessibility bus only between the passes of its main
    loop (tens of milliseconds each), so a node-by-node walk of the editor would take
    minutes: the Collection interface finds them in one request."""
    collection = root.queryCollection()
    rule = collection.createMatchRule(pyatspi.StateSet(), collection.MATCH_ALL, "", collection.MATCH_ANY,
                                      [role], collection.MATCH_ANY, "", collection.MATCH_ALL, False)
    matches = collection.getMatches(rule, collection.SORT_ORDER_CANONICAL, 0, True)
    return [node for node in matches if name is None or node.name == name]


def window_titled(app, title, timeout=30):
    return wait_for(lambda: next(iter(find_all(app, pyatspi.ROLE_FRAME, title)), None),
                    timeout, f'the window "{title}"')


def label_reading(root, text, timeout=30):
    return wait_for(lambda: next(iter(find_all(root, pyatspi.ROLE_LABEL, text)), None),
                    timeout, f'a label reading "{text}"')


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def button(window, caption):
    return wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_PUSH_BUTTON, caption)), None),
                    30, f'the button "{caption}"')


def press(window, caption, timeout=30):
    """Presses the button; one the program has just replaced (its accessible already
    gone, without the action interface) is looked up again."""
    def pressed():
        button(window, caption).queryAction().doAction(0)
        return True
    wait_for(pressed, timeout, f'the button "{caption}" pressed')


def step(name, limit_s):
    """Starts a step of a test with a time limit of its own: a step that hangs (a read
    that never returns, a window that never comes) fails once its limit is past,
    naming itself, instead of holding the run until ctest's limit."""
    def out_of_time(signum, frame):
        raise AssertionError(f"step \"{name}\" ran past its limit of {limit_s} s")
    print(f"step: {name}", file=sys.stderr)
    signal.signal(signal.SIGALRM, out_of_time)
    signal.alarm(limit_s)


def steps_done():
    signal.alarm(0)
