"""The support person's console: a second qv450 on the same display joins a relay
session that the fitter's tool (with the simulated module) is logged in to, over a
link that adds a 300 ms round trip, reads the configuration, changes a pin and writes
it, flashes a demo image and watches a signal set through the simulator; the fitter's
module ends with both. A lost session is said."""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from qv450_driver import Program, find_all, label_reading, press, wait_for, window_titled  # noqa: E402
from test_diagnostics import SEND_CLOSE_WIN, cell_point, screen_colour, tell_module  # noqa: E402
from test_firmware import close_result_message, module_setting, node  # noqa: E402
from test_remote_access import BIN, TOKEN, free_port, module_memory, text_of  # noqa: E402

MAIN_TITLE = "Velmora programmer QV450 v.2.4.0"
ONE_WAY_DELAY = 0.15


def delaying_proxy(target_port):
    """A loopback port that forwards to target_port, each direction 150 ms late."""
    listener = socket.create_server(("127.0.0.1", 0))

    def pump(source, sink):
        late = []  # (due time, bytes) in arrival order
        ready = threading.Condition()

        def send_when_due():
            while True:
                with ready:
                    while not late:
                        ready.wait()
                    due, data = late.pop(0)
                time.sleep(max(0.0, due - time.monotonic()))
                if not data:
                    sink.close()
                    return
                try:
                    sink.sendall(data)
                except OSError:
                    return

        threading.Thread(target=send_when_due, daemon=True).start()
        while True:
            try:
                data = source.recv(65536)
            except OSError:
                data = b""
            with ready:
                late.append((time.monotonic() + ONE_WAY_DELAY, data))
                ready.notify()
            if not data:
                return

    def serve():
        client, _ = listener.accept()
        server = socket.create_connection(("127.0.0.1", target_port))
        for pair in ((client, server), (server, client)):
            threading.Thread(target=pump, args=pair, daemon=True).start()

    threading.Thread(target=serve, daemon=True).start()
    return listener.getsockname()[1]


def fitter_logs_in(app, operator_port):
    """A session opened by qv450-remote, the fitter's tool logged in; the opener leaves."""
    opener = subprocess.Popen([os.path.join(BIN, "qv450-remote"), "--server", f"127.0.0.1:{operator_port}", "open"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                              env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN))
    code = opener.stdout.readline().strip()
    next(iter(find_all(app, pyatspi.ROLE_MENU_ITEM, "Enable remote access"))).queryAction().doAction(0)
    window = window_titled(app, "Remote access")
    entry = wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_TEXT)), None), 30, "the password entry")
    entry.queryEditableText().setTextContents(code)
    find_all(window, pyatspi.ROLE_TOGGLE_BUTTON)[0].queryAction().doAction(0)
    label_reading(window, "Connected to Velmora server.")
    opener.stdin.close()
    assert opener.wait(timeout=30) == 0
    return code


def change_first_pin(window):
    pin = wait_for(lambda: find_all(window, pyatspi.ROLE_COMBO_BOX)[2:3] or None, 60, "the pin rows")[0]
    menu = pin.getChildAtIndex(0)
    entry = next(menu.getChildAtIndex(i) for i in range(menu.childCount) if menu.getChildAtIndex(i).name != pin.name)
    entry.queryAction().doAction(0)
    return entry.name


def settled_memory(folder):
    """The module's memory once a write has ended: the same for two seconds."""
    first = module_memory(folder)
    time.sleep(2)
    return first if module_memory(folder) == first else None


def run():
    root = tempfile.mkdtemp(prefix="qv450-e2e-console-")
    folder = os.path.join(root, "module")
    tool_port = free_port()
    os.environ["QV450_RELAY_SERVER"] = f"127.0.0.1:{tool_port}"
    fitter = Program(simulator=folder)
    relay = console = None
    try:
        app = fitter.application()
        label_reading(window_titled(app, MAIN_TITLE), "QV450-1605")
        relay = subprocess.Popen([os.path.join(BIN, "qv450-relay"), "--tool-port", str(tool_port),
                                  "--operator-port", "0", "--bind", "127.0.0.1"], stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL, env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN), text=True)
        operator_port = int(re.findall(r"port (\d+)", relay.stdout.readline())[1])
        code = fitter_logs_in(app, operator_port)

        token_file = os.path.join(root, "token")
        with open(token_file, "w") as token:
            token.write(TOKEN + "\n")
        server = f"127.0.0.1:{delaying_proxy(operator_port)}"
        console = Program(["--relay", server, "--session", code, "--token-file", token_file])
        capp = console.application()
        window = window_titled(capp, f"{MAIN_TITLE} - remote, session {code} at {server}")
        label_reading(window, "QV450-1605", timeout=60)
        field = wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_TEXT)), None), 60, "the CAN level field")
        wait_for(lambda: text_of(field) == "3", 60, "the module's CAN level read through the relay")

        print("step: write a pin", file=sys.stderr)
        before = module_memory(folder)
        change_first_pin(window)
        press(window, "Save")
        wait_for(lambda: module_memory(folder)[8:] != before[8:], 60, "the changed pin in the module's memory")
        written = wait_for(lambda: settled_memory(folder), 60, "the whole write in the module's memory")

        print("step: flash", file=sys.stderr)
        tools = node(window, pyatspi.ROLE_MENU, "Tools", "the Tools menu")
        next(tools.getChildAtIndex(i) for i in range(tools.childCount)
             if tools.getChildAtIndex(i).name == "Change firmware").queryAction().doAction(0)
        press(node(capp, pyatspi.ROLE_FRAME, "Change firmware", "the version dialog"), "Program")
        close_result_message(capp, "Successfully programmed device.")
        label_reading(window, "QV450-1611", timeout=90)
        assert module_setting(folder, "firmware") == "1611", module_setting(folder, "firmware")
        assert module_memory(folder)[8:] == written[8:], "the written configuration survives the flash"

        print("step: signal monitor", file=sys.stderr)
        press(window, "Signal monitor")
        x, y = cell_point(window_titled(capp, "Signal monitor"), "SEND_CLOSE_WIN")
        tell_module(folder, f"set {SEND_CLOSE_WIN}")
        wait_for(lambda: screen_colour(x, y) == "0000FF", 60, "SEND_CLOSE_WIN lit blue through the relay")

        relay.terminate()
        relay.wait()
        wait_for(lambda: any(label.name.startswith("Remote session lost")
                             for label in find_all(window, pyatspi.ROLE_LABEL)), 60, "the lost session said")
        print("remote console: configuration, pin, flash, signal monitor and a lost session passed")
    finally:
        if console:
            console.cleanup()
        if relay and relay.poll() is None:
            relay.terminate()
            relay.wait()
        fitter.cleanup()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    run()
    print("1 passed, 0 failed")
