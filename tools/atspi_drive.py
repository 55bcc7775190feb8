#!/usr/bin/env python3
"""Drives the running Kestrix through the desktop's accessibility interface (AT-SPI), as assistive
technology would: finds controls by role and accessible name, presses buttons, fills entries and
activates menu items. The screenshot script uses it to bring the window into each view.

    atspi_drive.py STEP...   each STEP one of:
        wait-app                          the program shows its window
        press ROLE NAME                   a control's first action (button, check box...)
        menu TOP ITEM                     item ITEM of the menu bar's menu TOP (both from 0), by keyboard
        key KEY                           a key press (xdotool's key names)
        set-text NAME TEXT                an entry's text
        select-row TABLE-INDEX ROW [ROW]  rows of the database list (0) or a key table (1, 2)
        wait ROLE NAME                    until such a control exists and is showing
        wait-gone ROLE NAME               until it no longer shows
ROLE is an AT-SPI role name ("push button", "toggle button", "menu item", "dialog"...); NAME is matched
exactly, or as a prefix when it ends with "*".
"""
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

TIMEOUT = 30


def matches(node, role, name):
    try:
        if role and node.get_role_name() != role:
            return False
        text = node.get_name() or ""
    except gi.repository.GLib.Error:
        return False
    return text.startswith(name[:-1]) if name.endswith("*") else text == name


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.get_child_count()
    except gi.repository.GLib.Error:
        return
    for i in range(count):
        yield from walk(node.get_child_at_index(i), depth + 1)


def application():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and (app.get_name() or "").startswith("kestrix"):
            return app
    return None


def showing(node):
    # The toolkit marks shown widgets "visible" (it does not set "showing").
    try:
        return node.get_state_set().contains(Atspi.StateType.VISIBLE)
    except gi.repository.GLib.Error:
        return False


def find(role, name, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        app = application()
        for node in walk(app):
            if matches(node, role, name) and showing(node):
                return node
        time.sleep(0.2)
    sys.exit(f"atspi_drive: no showing {role} named {name!r}")


def press(role, name):
    node = find(role, name)
    if Atspi.Accessible.get_n_actions(node) > 0:
        Atspi.Accessible.do_action(node, 0)
        return
    sys.exit(f"atspi_drive: {role} {name!r} has no action (menu items: use the menu step)")


def keys(*names):
    subprocess.run(["xdotool", "key", "--delay", "150", *names], check=True)


def menu(top, item):
    """The menu bar's menu number `top` (from 0), its item number `item`, by keyboard as a user does:
    the toolkit's menu items offer no accessible action."""
    keys("F10", *(["Right"] * top), *(["Down"] * (item + 1)), "Return")


def set_text(name, text):
    node = find("text", name) if name else None
    Atspi.EditableText.set_text_contents(node, text)


def tables():
    app = application()
    return [n for n in walk(app) if n.get_role_name() in ("table", "tree table") and showing(n)]


def select_rows(index, rows):
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        found = tables()
        if len(found) > index:
            Atspi.Selection.clear_selection(found[index])
            for row in rows:
                Atspi.Selection.select_child(found[index], row)
            return
        time.sleep(0.2)
    sys.exit(f"atspi_drive: no table {index}")


def wait_gone(role, name):
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        if not any(matches(n, role, name) and showing(n) for n in walk(application())):
            return
        time.sleep(0.2)
    sys.exit(f"atspi_drive: {role} {name!r} still shows")


def main(args):
    while args:
        step = args.pop(0)
        if step == "wait-app":
            find("frame", "*")
        elif step == "press":
            press(args.pop(0), args.pop(0))
        elif step == "menu":
            menu(int(args.pop(0)), int(args.pop(0)))
        elif step == "key":
            keys(args.pop(0))
        elif step == "set-text":
            set_text(args.pop(0), args.pop(0))
        elif step == "select-row":
            index = int(args.pop(0))
            rows = [int(args.pop(0))]
            while args and args[0].isdigit():
                rows.append(int(args.pop(0)))
            select_rows(index, rows)
        elif step == "wait":
            find(args.pop(0), args.pop(0))
        elif step == "wait-gone":
            wait_gone(args.pop(0), args.pop(0))
        else:
            sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
