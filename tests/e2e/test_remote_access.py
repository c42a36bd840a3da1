"""Remote access end to end, all real programs on loopback: the tool with a simulated
module logs in to qv450-relay with the code that qv450-cli printed; the operator
reads the configuration, writes a changed one, flashes a demo firmware; a wrong code is
refused, a second operator cannot take the session, and a killed operator leaves the
tool's window usable. Operators reach the relay over TLS with a throwaway certificate."""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from qv450_driver import (Program, choose_menu_item, find_all, label_reading, step, steps_done, wait_for,  # noqa: E402
                          window_titled)

TOKEN = "e2e-operator-token"
BIN = os.path.dirname(os.environ["QV450_BINARY"])
FIRMWARE = os.path.join(os.path.dirname(BIN), "firmware", "QV450_1611_GRUPA_A.bin")
CERTIFICATES = os.path.join(os.path.dirname(__file__), "..", "relay", "make_test_certificates.sh")
CA_FILE = None  # set once the certificates exist


def remote(operator_port):
    """The start of a qv450-cli command line for the relay's operator port."""
    return [os.path.join(BIN, "qv450-cli"), "--server", f"127.0.0.1:{operator_port}", "--ca-file", CA_FILE]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def text_of(node):
    text = node.queryText()
    return text.getText(0, text.characterCount)


def module_memory(folder):
    with open(os.path.join(folder, "memory.bin"), "rb") as memory:
        return memory.read()


class Operator:
    """qv450-cli open, fed commands on its standard input."""

    def __init__(self, operator_port):
        self.process = subprocess.Popen(
            [*remote(operator_port), "open"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN), text=True, bufsize=1)
        self.code = self.process.stdout.readline().strip()
        assert re.fullmatch(r"\d{8}", self.code), self.code

    def command(self, line, until):
        """Sends one command and reads output lines until one matches `until`."""
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        lines = []
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            out = self.process.stdout.readline()
            if not out:
                raise AssertionError(f"{line}: no more output; stderr: {self.process.stderr.read()}")
            lines.append(out.rstrip("\r\n"))
            if re.search(until, out):
                return lines
        raise AssertionError(f"{line}: timed out, got {lines}")


def run():
    global CA_FILE
    root = tempfile.mkdtemp(prefix="qv450-e2e-remote-")
    subprocess.run([CERTIFICATES, root], check=True)
    CA_FILE = os.path.join(root, "ca.crt")
    config = os.path.join(root, "relay.conf")
    with open(config, "w") as conf:
        conf.write(f"tls_certificate = {root}/server.crt\ntls_key = {root}/server.key\n")
    folder = os.path.join(root, "module")
    tool_port = free_port()
    os.environ["QV450_RELAY_SERVER"] = f"127.0.0.1:{tool_port}"
    program = Program(simulator=folder)
    relay = operator = None
    try:
        step("start the tool and the relay", 90)
        app = program.application()
        main = window_titled(app, "Velmora programmer QV450 v.2.4.0")
        label_reading(main, "QV450-1605")
        relay = subprocess.Popen(
            [os.path.join(BIN, "qv450-relay"), "--tool-port", str(tool_port), "--operator-port", "0",
             "--bind", "127.0.0.1", "--config", config], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN), text=True)
        operator_port = int(re.findall(r"port (\d+)", relay.stdout.readline())[1])

        choose_menu_item(main, "Tools", "Enable remote access")
        window = window_titled(app, "Remote access")
        entry = wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_TEXT)), None), 30, "the password entry")
        toggle = wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_TOGGLE_BUTTON)), None), 30, "the toggle")

        step("a wrong code", 60)
        operator = Operator(operator_port)
        # A wrong code is refused.
        entry.queryEditableText().setTextContents("0" if operator.code != "0" else "1")
        toggle.queryAction().doAction(0)
        message = wait_for(lambda: next((label for label in find_all(app, pyatspi.ROLE_LABEL)
                                         if label.name.startswith("Login failed.")), None), 30, "Login failed.")
        press_ok = wait_for(lambda: next(iter(find_all(app, pyatspi.ROLE_PUSH_BUTTON, "OK")), None), 30, "OK")
        press_ok.queryAction().doAction(0)
        del message

        step("login", 60)
        entry.queryEditableText().setTextContents(operator.code)
        toggle.queryAction().doAction(0)
        label_reading(window, "Connected to Velmora server.")

        step("identify and read-config", 120)
        assert operator.command("identify", r"^QV450-")[-1].startswith("QV450-1605"), "identity"
        config = operator.command("read-config", r"^J2_12_trigger=")
        assert "canlevel=3" in config, config

        changed = os.path.join(root, "changed.cfg")
        with open(changed, "w") as cfg:
            cfg.write("carnumber=87\r\ncanlevel=10\r\nJ2_2_signal=2\r\n")
        step("write-config", 120)
        operator.command(f"write-config {changed}", r"configuration written")
        memory = module_memory(folder)
        assert memory[0x01] == 9 and memory[0x05:0x07] == bytes([0, 87]), memory[:8]
        assert "J2_2_signal=2" in operator.command("read-config", r"^J2_12_trigger=")

        step("flash", 180)
        assert operator.command(f"flash {FIRMWARE}", r"^QV450-")[-1].startswith("QV450-1611"), "new firmware"

        step("a second operator, a mistyped command", 90)
        # A second operator cannot join a session that has one.
        joined = subprocess.run(
            [*remote(operator_port),
             "--session", operator.code, "state"], capture_output=True, text=True,
            env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN), timeout=60)
        assert joined.returncode != 0 and "already has an operator" in joined.stderr, joined.stderr

        # A mistyped command ends at once with a usage line; a command without a session
        # prints the code the fitter needs.
        env = dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN)
        mistyped = subprocess.run([*remote(operator_port), "monitor", "abc"], capture_output=True, text=True, env=env, timeout=10)
        assert mistyped.returncode == 2 and "usage:" in mistyped.stderr, mistyped.stderr
        alone = subprocess.Popen([*remote(operator_port), "state"], stderr=subprocess.PIPE, text=True, env=env)
        assert re.search(r"session code \d{8}", alone.stderr.readline()), "the code of a new session"
        alone.kill()
        alone.wait()

        step("a killed operator, then another", 90)
        # A killed operator leaves the tool connected and its window usable; another
        # operator joins with the code.
        operator.process.send_signal(signal.SIGKILL)
        operator.process.wait()
        state = subprocess.run(
            [*remote(operator_port),
             "--session", operator.code, "identify"], capture_output=True, text=True,
            env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN), timeout=60)
        assert state.returncode == 0 and state.stdout.startswith("QV450-1611"), (state.stdout, state.stderr)

        step("serial", 90)
        # Serial bytes with "@" both ways: the simulated module's port echoes them.
        serial = subprocess.run(
            [*remote(operator_port),
             "--session", operator.code, "serial"], input="a@b@@c\n", capture_output=True, text=True,
            env=dict(os.environ, QV450_OPERATOR_TOKEN=TOKEN), timeout=60)
        assert serial.returncode == 0 and serial.stdout == "a@b@@c\n", (serial.stdout, serial.stderr)
        label_reading(window, "Remote access active (CAN).")
        step("disconnect", 60)
        toggle.queryAction().doAction(0)
        wait_for(lambda: toggle.name == "Connect", 30, "the toggle back to Connect")
        window.queryComponent()  # still there
        steps_done()
        print("remote access: login, configuration, flash, refusals and a lost operator passed")
    finally:
        if operator and operator.process.poll() is None:
            operator.process.kill()
        if relay:
            relay.terminate()
            relay.wait()
        program.cleanup()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    run()
    print("1 passed, 0 failed")
