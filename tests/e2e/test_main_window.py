"""The main window connects to the simulated module, in English and with --lang pl."""

import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import pyatspi  # noqa: E402
from qv450_driver import Program, find_all, label_reading, window_titled  # noqa: E402


def connects_in_english():
    program = Program()
    try:
        app = program.application()
        window = window_titled(app, "Velmora programmer QV450 v.2.4.0")
        label_reading(window, "QV450-1605")
        # The build's share/themes leads to the system's themes, so the menu is there.
        assert find_all(window, pyatspi.ROLE_MENU, "Themes"), "no Themes menu"
    finally:
        program.cleanup()


def polish_from_the_command_line_is_kept():
    program = Program(["--lang", "pl"])
    try:
        app = program.application()
        window = window_titled(app, "Programator Velmora QV450 v.2.4.0")
        label_reading(window, "QV450-1605")
        assert program.stored_language() == "pl", program.stored_language()
    finally:
        program.cleanup()


if __name__ == "__main__":
    connects_in_english()
    polish_from_the_command_line_is_kept()
    print("2 passed, 0 failed")
