"""A fitter's round: the editor fills from the module, a vehicle chosen from the lists
and a typed CAN level are written with "Save" into the module's memory, and "Load"
shows them again."""

import os
import sys
import tempfile
import shutil

import pyatspi

sys.path.insert(0, os.path.dirname(__file__))
from qv450_driver import (Program, find_all, label_reading, press, text_of,  # noqa: E402
                          wait_for, window_titled)


def level_field(window):
    # The editor's only editable text field is the CAN level.
    return wait_for(lambda: next(iter(find_all(window, pyatspi.ROLE_TEXT)), None), 30, "the CAN level field")


def lists(window):
    return wait_for(lambda: find_all(window, pyatspi.ROLE_COMBO_BOX), 30, "the editor's lists")


def choose(combo, entry):
    menu = combo.getChildAtIndex(0)
    item = next(menu.getChildAtIndex(i) for i in range(menu.childCount) if menu.getChildAtIndex(i).name == entry)
    item.queryAction().doAction(0)


def module_memory(folder):
    with open(os.path.join(folder, "memory.bin"), "rb") as memory:
        return memory.read()


def save_and_load_a_new_level():
    root = tempfile.mkdtemp(prefix="qv450-e2e-module-")
    folder = os.path.join(root, "module")
    program = Program(simulator=folder)
    try:
        window = window_titled(program.application(), "Velmora programmer QV450 v.2.4.0")
        label_reading(window, "QV450-1605")
        field = level_field(window)
        wait_for(lambda: text_of(field) == "3", 30, "the module's CAN level 3 in the field")
        make, model = lists(window)[:2]
        assert (make.name, model.name) == ("Audi", "A1 8X year 2010->"), (make.name, model.name)

        choose(make, "Citroen")
        wait_for(lambda: model.name == "Berlingo II B9 year 2008-2018", 30, "the make's first model")
        wait_for(lambda: text_of(field) == "10", 30, "the model's CAN level in the field")
        press(window, "Save")
        wait_for(lambda: module_memory(folder)[0x01] == 9, 30, "CAN level 10 in the module's memory")
        # The vehicle number is written after the level, in an exchange of its own.
        wait_for(lambda: module_memory(folder)[0x05:0x07] == bytes([0, 87]), 30,
                 "vehicle number 87 in the module's memory")

        field.queryEditableText().setTextContents("31")
        press(window, "Save")
        wait_for(lambda: module_memory(folder)[0x01] == 30, 30, "CAN level 31 in the module's memory")

        field.queryEditableText().setTextContents("5")
        press(window, "Load")
        wait_for(lambda: text_of(field) == "31", 30, "the module's CAN level 31 read back")
    finally:
        program.cleanup()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    save_and_load_a_new_level()
    print("1 passed, 0 failed")
