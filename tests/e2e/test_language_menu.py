"""Choosing another language in the Language menu restarts the tool in that language
and remembers it."""

import os
import sys

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from qv450_driver import Program, find_all, label_reading, wait_for, window_titled  # noqa: E402


def menu_item(app, caption):
    # Only the menu bar's items: every list of the editor holds hundreds more.
    def probe():
        bar = find_all(app, pyatspi.ROLE_MENU_BAR)[0]
        return next(iter(find_all(bar, pyatspi.ROLE_MENU_ITEM, caption)), None)
    return wait_for(probe, 30, f'the menu item "{caption}"')


def switching_to_polish_restarts_in_polish():
    program = Program()
    try:
        app = program.application()
        window_titled(app, "Velmora programmer QV450 v.2.4.0")
        menu_item(app, "Polski").queryAction().doAction(0)
        # The new copy replaces the old one in the same process and registers anew.
        title = "Programator Velmora QV450 v.2.4.0"
        window = wait_for(lambda: next(iter(find_all(program.application(timeout=5), pyatspi.ROLE_FRAME, title)),
                                       None), 60, f'the window "{title}"')
        label_reading(window, "QV450-1605")
        assert program.stored_language() == "pl", program.stored_language()
    finally:
        program.cleanup()


if __name__ == "__main__":
    switching_to_polish_restarts_in_polish()
    print("1 passed, 0 failed")
