#!/usr/bin/python3
"""Reaches a running program through the accessibility bus, the way a screen reader or a switch
user does, without the pointer or the keyboard:

  a11y.py press PID NAME [SECONDS]   presses the push button NAME (a caption without its leading
                                     blanks), once it is showing and enabled
  a11y.py find PID TEXT [SECONDS]    prints the name of the first showing object whose name
                                     contains TEXT
  a11y.py text PID NAME [SECONDS]    prints the text of the showing object named NAME

Each waits up to SECONDS (30) for what it looks for; exit code 1 if it never turned up. The
program must have its accessibility bridge on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 for Qt).
"""
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Debian 12's Atspi marks the action calls deprecated; their successors are not there yet.
warnings.filterwarnings("ignore", category=DeprecationWarning)


def showing(node):
    return node.get_state_set().contains(Atspi.StateType.SHOWING)


def walk(node, depth=0):
    """Every object under node, depth first; objects that vanish on the way are skipped."""
    if node is None or depth > 40:
        return
    try:
        yield node
        children = [node.get_child_at_index(i) for i in range(node.get_child_count())]
    except GLib.Error:
        return
    for child in children:
        yield from walk(child, depth + 1)


def application(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except GLib.Error:
            continue
    return None


def look(pid, test):
    app = application(pid)
    if app is None:
        return None
    for node in walk(app):
        try:
            if test(node):
                return node
        except GLib.Error:
            continue
    return None


def press(node):
    for k in range(Atspi.Action.get_n_actions(node)):
        if Atspi.Action.get_action_name(node, k).lower() in ("press", "click"):
            # A command may open a message box and answer only once that is closed: the press
            # is delivered, its reply not waited for.
            Atspi.set_timeout(1000, -1)
            try:
                Atspi.Action.do_action(node, k)
            except GLib.Error:
                pass
            return True
    return False


def main():
    if len(sys.argv) < 4 or sys.argv[1] not in ("press", "find", "text"):
        print(__doc__, file=sys.stderr)
        return 2
    command, pid, what = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    deadline = time.time() + (float(sys.argv[4]) if len(sys.argv) > 4 else 30)
    if command == "press":
        def test(n):
            return (n.get_role() == Atspi.Role.PUSH_BUTTON and n.get_name() == what and showing(n)
                    and n.get_state_set().contains(Atspi.StateType.ENABLED))
    elif command == "find":
        def test(n):
            return what in (n.get_name() or "") and showing(n)
    else:
        def test(n):
            return n.get_name() == what and showing(n) and "Text" in n.get_interfaces()
    while time.time() < deadline:
        node = look(pid, test)
        if node is not None:
            if command == "press":
                if press(node):
                    return 0
            elif command == "find":
                print(node.get_name())
                return 0
            else:
                print(Atspi.Text.get_text(node, 0, Atspi.Text.get_character_count(node)))
                return 0
        time.sleep(0.3)
    print("a11y.py: %s %r not found in process %d" % (command, what, pid), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
