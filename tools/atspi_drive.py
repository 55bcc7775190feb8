#!/usr/bin/env python3
"""Drives the running Kestrix through the desktop's accessibility interface (AT-SPI), as assistive
technology would: finds controls by role and accessible name, presses buttons, fills entries and
activates menu items. The screenshot script uses it to bring the window into each view.

    atspi_drive.py STEP...   each STEP one of:
        wait-app                          the program shows its window
        press ROLE NAME                   a control's first action (button, check box...)
        click ROLE NAME                   a mouse click on a control (check boxes have no action)
        menu TOP ITEM                     item ITEM (its label, or its number among the enabled items) of
                                          the menu bar's menu TOP (from 0), by keyboard
        key KEY                           a key press (xdotool's key names)
        type TEXT                         typing TEXT into the focused control
        set-text NAME TEXT                an entry's text
        select-row TABLE-INDEX ROW [ROW]  rows of the database list (0) or a key table (1, 2)
        select-name TABLE-INDEX NAME... . the rows showing these texts in a cell (none: no row); "." ends
        wait ROLE NAME                    until such a control exists and is showing
        wait-gone ROLE NAME               until it no longer shows
        key-watch KEY ROLE NAME NEW-NAME  a key press, then until the control named NAME before it is
                                          named NEW-NAME (a status line)
        dump                              print the showing controls' tree (roles and names)
ROLE is an AT-SPI role name ("push button", "toggle button", "menu item", "dialog"...); NAME is matched
exactly, or as a pattern when it holds a "*" (any text).
"""
import fnmatch
import re
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
    return fnmatch.fnmatchcase(text, name) if "*" in name else text == name


def walk(node, depth=0):
    """The node and its showing descendants. Hidden parts (closed menus, pages not in front, windows going
    away) are not entered: asking this toolkit version about the children of a widget on its way out can
    end the program."""
    if node is None or depth > 40:
        return
    yield node
    if depth > 0 and not showing(node):
        return
    try:
        count = node.get_child_count()
    except gi.repository.GLib.Error:
        return
    # A table keeps widgets for about 200 rows only; asking this toolkit version about the others can end
    # the program, so a longer table is not entered.
    if count > 200 and node.get_role_name() in ("table", "tree table"):
        return
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except gi.repository.GLib.Error:
            return
        yield from walk(child, depth + 1)


def application():
    # The newest first: a program that has just ended may still be listed for a moment.
    desktop = Atspi.get_desktop(0)
    for i in reversed(range(desktop.get_child_count())):
        try:
            app = desktop.get_child_at_index(i)
            if app is not None and (app.get_name() or "").startswith("kestrix"):
                app.get_child_count()
                return app
        except gi.repository.GLib.Error:
            continue
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
        # A pressed button may close its window. This toolkit version can end the program when it is asked
        # about a window that is being taken down, so no question goes out before the window is gone.
        time.sleep(0.5)
        return
    sys.exit(f"atspi_drive: {role} {name!r} has no action (menu items: use the menu step)")


def click(role, name):
    """A mouse click in the middle of a control, for controls that offer no accessible action (this toolkit
    version gives check boxes none)."""
    node = find(role, name)
    box = node.get_extents(Atspi.CoordType.WINDOW)
    top = node
    while top.get_parent() is not None and top.get_parent().get_role_name() != "application":
        top = top.get_parent()
    title = "^" + re.escape(top.get_name() or "") + "$"
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], capture_output=True,
                           text=True, check=False).stdout.split()
    if not found:
        sys.exit(f"atspi_drive: no window titled {top.get_name()!r}")
    subprocess.run(["xdotool", "mousemove", "--window", found[0], str(box.x + box.width // 2),
                    str(box.y + box.height // 2), "click", "1"], check=True)
    time.sleep(0.3)


def keys(*names):
    subprocess.run(["xdotool", "key", "--delay", "150", *names], check=True)


def menu_items():
    """The items of the open menu, in order: the toolkit shows a menu as a popover whose items carry
    their labels as names."""
    for node in walk(application()):
        if node.get_role_name() == "menu" and showing(node):
            return [n for n in walk(node) if n.get_role_name().endswith("menu item") and showing(n)]
    return []


def sensitive(node):
    try:
        return node.get_state_set().contains(Atspi.StateType.SENSITIVE)
    except gi.repository.GLib.Error:
        return False


def menu(top, item):
    """Item `item` of the menu bar's menu number `top` (from 0), by keyboard as a user does: the toolkit's
    menu items offer no accessible action. The menu opens with its first enabled item highlighted and the
    arrow keys skip disabled items, so the item is reached by counting the enabled items above it. `item`
    is the item's label, or its number among the enabled items."""
    keys("F10", *(["Right"] * top))
    if item.isdigit():
        steps = int(item)
    else:
        end = time.monotonic() + TIMEOUT
        while True:
            items = menu_items()
            names = [n.get_name() for n in items]
            if item in names:
                target = items[names.index(item)]
                if not sensitive(target):
                    keys("Escape", "Escape")
                    sys.exit(f"atspi_drive: menu item {item!r} is disabled")
                steps = sum(1 for n in items[: names.index(item)] if sensitive(n))
                break
            if time.monotonic() > end:
                keys("Escape", "Escape")
                sys.exit(f"atspi_drive: no menu item {item!r} in menu {top} (items: {names})")
            time.sleep(0.2)
    keys(*(["Down"] * steps), "Return")
    # The menu closes in the program's next frames; the next step looks at the window only after that.
    time.sleep(0.3)


def type_text(text):
    subprocess.run(["xdotool", "type", "--delay", "20", text], check=True)


def set_text(name, text):
    """The text of the entry named `name`: a plain entry shows as "text", a search entry as "entry"."""
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        for node in walk(application()):
            if node.get_role_name() in ("text", "entry") and matches(node, None, name) and showing(node):
                Atspi.EditableText.set_text_contents(node, text)
                return
        time.sleep(0.2)
    sys.exit(f"atspi_drive: no showing entry named {name!r}")


def selectable(table):
    """The part of a table that takes selections: the toolkit keeps the rows of a column view in an inner
    list, and only that list offers the selection interface."""
    if "Selection" in table.get_interfaces():
        return table
    for i in range(table.get_child_count()):
        child = table.get_child_at_index(i)
        if child is not None and child.get_role_name() == "list" and "Selection" in child.get_interfaces():
            return child
    return table


def tables():
    app = application()
    return [selectable(n) for n in walk(app) if n.get_role_name() in ("table", "tree table") and showing(n)]


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


def row_names(row):
    return {n.get_name() for n in walk(row) if n.get_role_name() == "label"}


def select_named(index, names):
    """Selects the rows of table `index` that show one of `names` in a cell (none: clears the selection)."""
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        found = tables()
        if len(found) > index:
            table = found[index]
            rows = [table.get_child_at_index(i) for i in range(table.get_child_count())]
            wanted = [i for i, row in enumerate(rows) if row is not None and row_names(row) & set(names)]
            if len(wanted) == len(names):
                Atspi.Selection.clear_selection(table)
                for i in wanted:
                    Atspi.Selection.select_child(table, i)
                return
        time.sleep(0.2)
    sys.exit(f"atspi_drive: table {index} does not show {names}")


def key_watch(key, role, name, new_name):
    """Presses `key`, then waits until the control named `name` before the press is named `new_name`: a
    status line whose text changes faster than the whole window can be searched is watched alone."""
    node = find(role, name)
    keys(key)
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        if matches(node, role, new_name):
            return
        time.sleep(0.02)
    sys.exit(f"atspi_drive: {role} {name!r} did not become {new_name!r}")


def wait_gone(role, name):
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        if not any(matches(n, role, name) and showing(n) for n in walk(application())):
            return
        time.sleep(0.2)
    sys.exit(f"atspi_drive: {role} {name!r} still shows")


def dump():
    def show(node, depth):
        if node is None or depth > 40 or not (depth == 0 or showing(node)):
            return
        try:
            print(f"{'  ' * depth}{node.get_role_name()} {node.get_name()!r}")
            count = node.get_child_count()
        except gi.repository.GLib.Error:
            return
        for i in range(count):
            show(node.get_child_at_index(i), depth + 1)

    show(application(), 0)


def main(args):
    while args:
        step = args.pop(0)
        if step == "wait-app":
            find("frame", "*")
        elif step == "press":
            press(args.pop(0), args.pop(0))
        elif step == "click":
            click(args.pop(0), args.pop(0))
        elif step == "menu":
            menu(int(args.pop(0)), args.pop(0))
        elif step == "key":
            keys(args.pop(0))
        elif step == "type":
            type_text(args.pop(0))
        elif step == "set-text":
            set_text(args.pop(0), args.pop(0))
        elif step == "select-row":
            index = int(args.pop(0))
            rows = [int(args.pop(0))]
            while args and args[0].isdigit():
                rows.append(int(args.pop(0)))
            select_rows(index, rows)
        elif step == "select-name":
            index = int(args.pop(0))
            names = []
            while args and args[0] != ".":
                names.append(args.pop(0))
            if args:
                args.pop(0)
            select_named(index, names)
        elif step == "wait":
            find(args.pop(0), args.pop(0))
        elif step == "key-watch":
            key_watch(args.pop(0), args.pop(0), args.pop(0), args.pop(0))
        elif step == "wait-gone":
            wait_gone(args.pop(0), args.pop(0))
        elif step == "dump":
            dump()
        else:
            sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
