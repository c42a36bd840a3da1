"""The support console: a second qv450 on the same display joins, through a link with
a round trip of at least 300 ms, the relay session of the fitter's tool and its
simulated module; it writes a changed pin, flashes a demo image and watches a signal
set through the simulator. The module ends with both. The line then stalls: the
console says so within seconds and lets the user keep waiting, or give up a flash,
which it says leaves the module without firmware, as the fitter's tool does once the
relay is gone. Before all that, "Remote console..." in the fitter's tool fails to
reach a relay and gives the local tool back."""

import os
import queue
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
from qv450_driver import (Program, button, choose_menu_item, find_all, label_reading, press, step,  # noqa: E402
                          steps_done, wait_for, window_titled)
from test_diagnostics import MAIN_TITLE, SEND_CLOSE_WIN, cell_point, screen_colour, tell_module  # noqa: E402
from test_firmware import close_result_message, module_setting, node  # noqa: E402
import test_remote_access  # noqa: E402
from test_remote_access import BIN, CERTIFICATES, TOKEN, Operator, free_port, module_memory, text_of  # noqa: E402


def slow_port(target_port, flowing, delay=0.15):
    """Forwards one connection to target_port, everything 150 ms late each way: a line
    with a round trip of 300 ms, which carries what is sent meanwhile. While `flowing`
    is clear the line holds everything: the session stalls."""
    listener = socket.create_server(("127.0.0.1", 0))

    def pump(source, sink):
        line = queue.Queue()

        def deliver():
            while (item := line.get()) is not None:
                due, data = item
                time.sleep(max(0.0, due - time.monotonic()))
                flowing.wait()
                try:
                    sink.sendall(data)
                except OSError:
                    break
            # Another thread may still be reading the socket: only a shutdown ends
            # the connection at once.
            try:
                sink.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sink.close()

        threading.Thread(target=deliver, daemon=True).start()
        try:
            while data := source.recv(65536):
                line.put((time.monotonic() + delay, data))
        except OSError:
            pass
        line.put(None)

    def serve():
        client, server = listener.accept()[0], socket.create_connection(("127.0.0.1", target_port))
        threading.Thread(target=pump, args=(client, server), daemon=True).start()
        pump(server, client)

    threading.Thread(target=serve, daemon=True).start()
    return listener.getsockname()[1]


def fitter_logs_in(app, operator_port):
    """qv450-cli opens a session, the fitter's tool logs in, the opener leaves."""
    opener = Operator(operator_port)
    choose_menu_item(window_titled(app, MAIN_TITLE), "Tools", "Enable remote access")
    window = window_titled(app, "Remote access")
    entry = wait_for(lambda: find_all(window, pyatspi.ROLE_TEXT), 30, "the password entry")[0]
    entry.queryEditableText().setTextContents(opener.code)
    find_all(window, pyatspi.ROLE_TOGGLE_BUTTON)[0].queryAction().doAction(0)
    label_reading(window, "Connected to Velmora server.")
    opener.process.stdin.close()
    assert opener.process.wait(timeout=30) == 0
    return opener.code


def label_starting(root, start, timeout=30):
    """A label whose text starts so, below root (or below what root() gives)."""
    return wait_for(lambda: next((label for label in find_all(root() if callable(root) else root, pyatspi.ROLE_LABEL)
                                  if label.name.startswith(start)), None), timeout, f'a label starting "{start}"')


def console_from_the_dialog_gives_the_local_tool_back(fitter, token_file):
    """Tools > Remote console... on a relay that is not there: the console cannot start,
    says why, and the local tool comes back."""
    app = fitter.application()
    choose_menu_item(window_titled(app, MAIN_TITLE), "Tools", "Remote console...")
    dialog = wait_for(lambda: next(iter(find_all(app, pyatspi.ROLE_DIALOG, "Remote console")), None), 30,
                      "the Remote console dialog")
    fields = {"Relay server (host[:port])": f"127.0.0.1:{free_port()}", "Session code": "12345678",
              "Operator token file": token_file, "CA file (empty: the system's certificates)": ""}
    for caption, text in fields.items():
        entry = wait_for(lambda: next(iter(find_all(dialog, pyatspi.ROLE_TEXT, caption)), None), 30, caption)
        entry.queryEditableText().setTextContents(text)
    wait_for(lambda: find_all(dialog, pyatspi.ROLE_CHECK_BOX), 30, "the insecure choice")[0].queryAction().doAction(0)
    press(dialog, "OK")
    # The program has replaced itself: it is looked up afresh on the bus.
    said = label_starting(lambda: fitter.application(timeout=5), "The remote console cannot start", timeout=60)
    assert "local tool starts again" in said.name, said.name
    message = wait_for(lambda: next(iter(find_all(fitter.application(timeout=5), pyatspi.ROLE_FRAME, "Message")), None),
                       30, "the message")
    press(message, "OK")
    main = wait_for(lambda: next(iter(find_all(fitter.application(timeout=5), pyatspi.ROLE_FRAME, MAIN_TITLE)), None),
                    60, "the local tool back")
    label_reading(main, "QV450-1605", timeout=60)


def editor_ready(window):
    """Waits until the editor takes input again: its configuration is not on its way. An
    action taken while it is (a screen reader's gets past the input grab) is ignored."""
    wait_for(lambda: button(window, "Save").getState().contains(pyatspi.STATE_SENSITIVE), 60,
             "the editor ready for input")


def settled_memory(folder):
    first = module_memory(folder)
    time.sleep(2)
    return first if module_memory(folder) == first else None


def run():
    root = tempfile.mkdtemp(prefix="qv450-e2e-console-")
    folder, token_file, tool_port = os.path.join(root, "module"), os.path.join(root, "token"), free_port()
    # Operators reach the relay over TLS with a throwaway certificate.
    subprocess.run([CERTIFICATES, root], check=True)
    test_remote_access.CA_FILE = ca_file = os.path.join(root, "ca.crt")
    config = os.path.join(root, "relay.conf")
    with open(config, "w") as conf:
        conf.write(f"tls_certificate = {root}/server.crt\ntls_key = {root}/server.key\n")
    os.environ["QV450_RELAY_SERVER"] = f"127.0.0.1:{tool_port}"
    fitter, console = Program(simulator=folder), None
    relay = subprocess.Popen([os.path.join(BIN, "qv450-relay"), "--tool-port", str(tool_port), "--operator-port",
                              "0", "--bind", "127.0.0.1", "--config", config], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN), text=True)
    flowing = threading.Event()
    flowing.set()
    try:
        step("the console dialog gives the local tool back", 150)
        with open(token_file, "w") as token:
            token.write(TOKEN + "\n")
        label_reading(window_titled(fitter.application(), MAIN_TITLE), "QV450-1605")
        console_from_the_dialog_gives_the_local_tool_back(fitter, token_file)

        step("the fitter logs in, the console joins", 150)
        app = fitter.application()
        operator_port = int(re.findall(r"port (\d+)", relay.stdout.readline())[1])
        code = fitter_logs_in(app, operator_port)
        server = f"127.0.0.1:{slow_port(operator_port, flowing)}"
        console = Program(["--relay", server, "--session", code, "--token-file", token_file, "--ca-file", ca_file])
        capp = console.application()
        window = window_titled(capp, f"{MAIN_TITLE} - remote, session {code} at {server}")
        label_reading(window, "QV450-1605", timeout=60)
        field = wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_TEXT)), None), 60, "the CAN level field")
        wait_for(lambda: text_of(field) == "3", 60, "the module's CAN level read through the relay")
        # The pin rows come after the level: a pin changed before they are in is read over.
        editor_ready(window)

        step("write a pin", 150)
        before = module_memory(folder)
        pin = wait_for(lambda: find_all(window, pyatspi.ROLE_COMBO_BOX)[2:3], 60, "the pin rows")[0]
        menu = wait_for(lambda: pin.getChildAtIndex(0), 30, "the pin's list")
        entries = [menu.getChildAtIndex(i) for i in range(menu.childCount)]
        next(entry for entry in entries if entry is not None and entry.name != pin.name).queryAction().doAction(0)
        press(window, "Save")
        wait_for(lambda: module_memory(folder)[8:] != before[8:], 60, "the changed pin in the module's memory")
        written = wait_for(lambda: settled_memory(folder), 60, "the whole write in the module's memory")

        step("flash", 200)
        editor_ready(window)
        choose_menu_item(window, "Tools", "Change firmware")
        press(node(capp, pyatspi.ROLE_FRAME, "Change firmware", "the version dialog"), "Program")
        close_result_message(capp, "Successfully programmed device.")
        try:
            label_reading(window, "QV450-1611", timeout=90)
        except AssertionError:
            shown = [label.name for label in find_all(capp, pyatspi.ROLE_LABEL) if label.name][:12]
            raise AssertionError(f"no QV450-1611 after the flash; labels: {shown}")
        assert module_setting(folder, "firmware") == "1611", module_setting(folder, "firmware")
        assert module_memory(folder)[8:] == written[8:], "the written configuration survives the flash"

        step("signal monitor", 120)
        editor_ready(window)
        press(window, "Signal monitor")
        x, y = cell_point(window_titled(capp, "Signal monitor"), "SEND_CLOSE_WIN")
        tell_module(folder, f"set {SEND_CLOSE_WIN}")
        wait_for(lambda: screen_colour(x, y) == "0000FF", 60, "SEND_CLOSE_WIN lit blue through the relay")


        step("a stalled load, waited for", 120)
        flowing.clear()
        press(window, "Load")
        stalled = window_titled(capp, "Remote session stalled", timeout=15)
        assert "stalled" in label_starting(stalled, "The remote session is stalled").name
        press(stalled, "Keep waiting")
        flowing.set()
        wait_for(lambda: not find_all(capp, pyatspi.ROLE_FRAME, "Remote session stalled"), 60, "the stall over")
        # The editor was built afresh for the new firmware: its field is looked up again.
        wait_for(lambda: text_of(find_all(window, pyatspi.ROLE_TEXT)[0]) == "3", 60,
                 "the load done once the line flows again")

        step("a stalled flash, given up", 200)
        editor_ready(window)
        choose_menu_item(window, "Tools", "Change firmware")
        press(node(capp, pyatspi.ROLE_FRAME, "Change firmware", "the version dialog"), "Program")
        window_titled(capp, "Loading firmware... Do not close this window!", timeout=60)
        time.sleep(3)
        flowing.clear()
        press(window_titled(capp, "Remote session stalled", timeout=15), "Give up")
        flowing.set()
        said = label_starting(capp, "Write error!", timeout=60)
        assert "without working firmware" in said.name, said.name
        press(node(capp, pyatspi.ROLE_FRAME, "Message", "the message window"), "OK")
        label_starting(window, "Remote session lost: the wait for the fitter's tool was given up", timeout=60)

        step("the relay gone in the middle of the flash", 90)
        relay.terminate()
        said = label_starting(app, "The remote session ended while the module's firmware", timeout=60)
        assert "Program" in said.name, said.name
        steps_done()
    finally:
        for program in (console, fitter):
            if program:
                program.cleanup()
        relay.terminate()
        relay.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    run()
    print("1 passed, 0 failed")
