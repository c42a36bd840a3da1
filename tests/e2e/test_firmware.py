"""Firmware from the firmware folder beside the program: "Change firmware" flashes a
demo image and the status shows the new version; a configuration write whose CAN
level needs the other variant leaves the module on that variant's image."""

import os
import shutil
import sys
import tempfile

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from qv450_driver import Program, find_all, label_reading, menu_item, wait_for, window_titled  # noqa: E402

MAIN_TITLE = "Velmora programmer QV450 v.2.4.0"


def node(root, role, name, what):
    return wait_for(lambda: next(iter(find_all(root, role, name)), None), 30, what)


def press(root, caption):
    node(root, pyatspi.ROLE_PUSH_BUTTON, caption, f'the button "{caption}"').queryAction().doAction(0)


def close_result_message(app, text):
    """Waits for the flash's result message, checks it and presses its OK."""
    window = node(app, pyatspi.ROLE_FRAME, "Message", "the message window")
    label_reading(window, text, timeout=90)
    press(window, "OK")


def module_setting(folder, key):
    with open(os.path.join(folder, "module.conf")) as conf:
        for line in conf:
            name, _, value = line.partition("=")
            if name.strip() == key:
                return value.strip()
    return None


def change_firmware_from_the_menu():
    program = Program()
    try:
        app = program.application()
        window = window_titled(app, MAIN_TITLE)
        label_reading(window, "QV450-1605")
        # Through the Tools menu: a search of the whole window for menu items walks
        # every theme's item too.
        tools = node(window, pyatspi.ROLE_MENU, "Tools", "the Tools menu")
        menu_item(tools, "Change firmware").queryAction().doAction(0)
        dialog = node(app, pyatspi.ROLE_FRAME, "Change firmware", "the version dialog")
        combo = node(dialog, pyatspi.ROLE_COMBO_BOX, None, "the version list")
        assert combo.name == "QV450 version 1611", combo.name
        press(dialog, "Program")
        close_result_message(app, "Successfully programmed device.")
        label_reading(window, "QV450-1611", timeout=60)
    finally:
        program.cleanup()


def choose(combo, entry):
    menu = combo.getChildAtIndex(0)
    item = next(menu.getChildAtIndex(i) for i in range(menu.childCount) if menu.getChildAtIndex(i).name == entry)
    item.queryAction().doAction(0)


def text_of(node_):
    text = node_.queryText()
    return text.getText(0, text.characterCount)


def level_250_changes_the_variant():
    root = tempfile.mkdtemp(prefix="qv450-e2e-module-")
    folder = os.path.join(root, "module")
    program = Program(simulator=folder)
    try:
        app = program.application()
        window = window_titled(app, MAIN_TITLE)
        label_reading(window, "QV450-1605")
        field = node(window, pyatspi.ROLE_TEXT, None, "the CAN level field")
        wait_for(lambda: text_of(field) == "3", 30, "the module's CAN level in the field")
        make = wait_for(lambda: find_all(window, pyatspi.ROLE_COMBO_BOX), 30, "the editor's lists")[0]
        choose(make, "Tesla")
        wait_for(lambda: text_of(field) == "250", 30, "the Tesla S's CAN level 250 in the field")
        press(window, "Save")
        question = node(app, pyatspi.ROLE_DIALOG, None, "the firmware change question")
        press(question, "Yes")
        close_result_message(app, "Successfully programmed device.")
        # The newest release of 1605's word of versions, in variant B.
        label_reading(window, "QV450-1611", timeout=60)
        wait_for(lambda: module_setting(folder, "variant") == "2", 30, "variant B in the module")
        assert module_setting(folder, "firmware") == "1611", module_setting(folder, "firmware")
        with open(os.path.join(folder, "memory.bin"), "rb") as memory:
            assert memory.read()[0x01] == 249, "CAN level 250 in the module's memory"
    finally:
        program.cleanup()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    change_firmware_from_the_menu()
    level_250_changes_the_variant()
    print("2 passed, 0 failed")
