"""The program extracted from the qv450 package starts, connects to the simulated module,
lists the themes of the folder its package links and checks for updates on the server
named by QV450_UPDATE_SERVER. Run by check_packages.sh through tests/e2e/run_e2e.sh, with
QV450_BINARY the extracted program and QV450_THEMES_DIR the folder the package's themes
link points to; the server offers version 2.5.0."""

import os
import subprocess
import sys

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from qv450_driver import Program, find_all, label_reading, press, wait_for, window_titled  # noqa: E402


def theme_menu_captions(app):
    def probe():
        bar = find_all(app, pyatspi.ROLE_MENU_BAR)[0]
        themes = next(iter(find_all(bar, pyatspi.ROLE_MENU, "Themes")), None)
        return themes and [item.name for item in find_all(themes, pyatspi.ROLE_MENU_ITEM)]
    return wait_for(probe, 30, 'the "Themes" menu')


def click(node):
    """Clicks the middle of a node with the pointer. A menu item's action over the
    accessibility bus would not return before the modal windows its handler opens close."""
    def on_screen():
        box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return box if box.x >= 0 and box.y >= 0 and box.width > 0 else None
    box = wait_for(on_screen, 30, f'"{node.name}" on screen')
    subprocess.run(["xdotool", "mousemove", "--sync", str(box.x + box.width // 2),
                    str(box.y + box.height // 2), "click", "1"], check=True)


def expected_themes():
    folder = os.environ["QV450_THEMES_DIR"]
    return sorted((name for name in os.listdir(folder) if not name.startswith(".")),
                  key=os.fsencode)


def installed_program_connects_lists_the_system_themes_and_checks_for_updates():
    program = Program()
    try:
        app = program.application()
        window = window_titled(app, "Velmora programmer QV450 v.2.4.0")
        label_reading(window, "QV450-1605")
        themes = theme_menu_captions(app)
        assert themes == expected_themes(), f"{themes} != {expected_themes()}"
        assert themes, "no GTK themes installed to list"

        # Turning the start-up check on checks at once.
        bar = find_all(app, pyatspi.ROLE_MENU_BAR)[0]
        click(find_all(bar, pyatspi.ROLE_MENU, "Tools")[0])
        click(find_all(bar, pyatspi.ROLE_MENU_ITEM, "Check for updates at startup")[0])
        offer = "Version 2.5.0 is available.\nDo you want to download latest version?"
        question = wait_for(lambda: next((dialog for dialog in find_all(app, pyatspi.ROLE_DIALOG)
                                          if find_all(dialog, pyatspi.ROLE_LABEL, offer)), None),
                            30, "the offer of version 2.5.0")
        press(question, "No")
    finally:
        program.cleanup()


if __name__ == "__main__":
    installed_program_connects_lists_the_system_themes_and_checks_for_updates()
    print("1 passed, 0 failed")
