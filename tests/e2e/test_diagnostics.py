"""Watching the module: the signal monitor lights the cell of a signal the simulated
module was told to set through its command file, and the console sends a command and
shows the module's answer and event texts in its log."""

import os
import shutil
import subprocess
import sys
import tempfile

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from qv450_driver import (Program, find_all, label_reading, press, text_of,  # noqa: E402
                          wait_for, window_titled)

MAIN_TITLE = "Velmora programmer QV450 v.2.4.0"
SEND_CLOSE_WIN = 29  # never set by the demo; lit in #0000FF


def tell_module(folder, *lines):
    with open(os.path.join(folder, "commands"), "a") as commands:
        commands.write("".join(line + "\n" for line in lines))


def screen_colour(x, y):
    """The colour of one screen pixel, as "RRGGBB"."""
    out = subprocess.run(["import", "-window", "root", "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                         check=True, capture_output=True, text=True).stdout
    return out.split("#", 2)[-1][:6].upper()


def cell_point(monitor, label):
    cell = find_all(monitor, pyatspi.ROLE_PUSH_BUTTON, label)[0]
    box = cell.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x + 4, box.y + box.height // 2


def press_keys(window_title, keys):
    window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + window_title],
                            check=True, capture_output=True, text=True).stdout.split()[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)
    subprocess.run(["xdotool", "key", "--clearmodifiers", keys], check=True)


def monitor_lights_a_signal_set_from_outside(program, folder):
    window = window_titled(program.application(), MAIN_TITLE)
    label_reading(window, "QV450-1605")
    press(window, "Signal monitor")
    monitor = window_titled(program.application(), "Signal monitor")
    x, y = cell_point(monitor, "SEND_CLOSE_WIN")
    wait_for(lambda: screen_colour(x, y) != "0000FF", 30, "the plain cell")
    tell_module(folder, f"set {SEND_CLOSE_WIN}")
    wait_for(lambda: screen_colour(x, y) == "0000FF", 30, "SEND_CLOSE_WIN lit blue")
    tell_module(folder, f"release {SEND_CLOSE_WIN}")
    wait_for(lambda: screen_colour(x, y) != "0000FF", 30, "SEND_CLOSE_WIN plain again")


def console_talks_to_the_module(program, folder):
    press_keys(MAIN_TITLE, "ctrl+s")
    console = window_titled(program.application(), "Console")
    command, data, log = wait_for(lambda: find_all(console, pyatspi.ROLE_TEXT)[:3] or None, 30, "the console's texts")
    response = next(node for node in find_all(console, pyatspi.ROLE_CHECK_BOX) if node.name == "Response")
    response.queryAction().doAction(0)
    command.queryEditableText().setTextContents("4a")
    data.queryEditableText().setTextContents("OK")
    press(console, "Send")
    wait_for(lambda: '>01 - 4A4F4B - "JOK"' in text_of(log), 30, "the module's response line")
    assert "<\\x4a OK" in text_of(log), text_of(log)

    tell_module(folder, "event 1* DOOR told from outside")
    wait_for(lambda: ">1* DOOR told from outside" in text_of(log), 30, "the module's event text")


if __name__ == "__main__":
    root = tempfile.mkdtemp(prefix="qv450-e2e-module-")
    module_folder = os.path.join(root, "module")
    qv450 = Program(simulator=module_folder)
    try:
        monitor_lights_a_signal_set_from_outside(qv450, module_folder)
        console_talks_to_the_module(qv450, module_folder)
    finally:
        qv450.cleanup()
        shutil.rmtree(root, ignore_errors=True)
    print("2 passed, 0 failed")
