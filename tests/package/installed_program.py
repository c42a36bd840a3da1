"""The program extracted from the qv450 package starts, connects to the simulated module
and lists the themes of the folder its package links. Run by check_packages.sh through
tests/e2e/run_e2e.sh, with QV450_BINARY the extracted program and QV450_THEMES_DIR the
folder the package's themes link points to."""

import os
import sys

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from qv450_driver import Program, find_all, label_reading, wait_for, window_titled  # noqa: E402


def theme_menu_captions(app):
    def probe():
        bar = find_all(app, pyatspi.ROLE_MENU_BAR)[0]
        themes = next(iter(find_all(bar, pyatspi.ROLE_MENU, "Themes")), None)
        return themes and [item.name for item in find_all(themes, pyatspi.ROLE_MENU_ITEM)]
    return wait_for(probe, 30, 'the "Themes" menu')


def expected_themes():
    folder = os.environ["QV450_THEMES_DIR"]
    return sorted((name for name in os.listdir(folder) if not name.startswith(".")),
                  key=os.fsencode)


def installed_program_connects_and_lists_the_system_themes():
    program = Program()
    try:
        app = program.application()
        window = window_titled(app, "Velmora programmer QV450 v.2.4.0")
        label_reading(window, "QV450-1605")
        themes = theme_menu_captions(app)
        assert themes == expected_themes(), f"{themes} != {expected_themes()}"
        assert themes, "no GTK themes installed to list"
    finally:
        program.cleanup()


if __name__ == "__main__":
    installed_program_connects_and_lists_the_system_themes()
    print("1 passed, 0 failed")
