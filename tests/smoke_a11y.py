"""Drives the real desktop program through the accessibility tree (AT-SPI), as a screen reader
does: starts the accessibility bus and then the program, finds windows and controls by role and
name, prints the tree of each of the program's windows and checks that every control in it has a
name, hides MESSAGE through File > Encode Message in Picture with the dialogs filled through
their text fields, decodes it back through File > Decode Picture, reads the Message Offsets box,
opens the About window's web link through its action and leaves through File > Exit. Checks
where the focus is after each step and that the status line announces how each run ended.

    smoke_a11y.py MIREL FOLDER MESSAGE

FOLDER holds carrier.bmp; the new picture is FOLDER/a11y.bmp (password tulip, offset 7). Run by
smoke_a11y.sh on a session bus of its own; the program's standard error goes to FOLDER/stderr.txt.
"""
import os
import re
import subprocess
import sys
import time

import pyatspi
from gi.repository import Gio, GLib

mirel, folder, message = sys.argv[1:4]
# A headless Wayland compositor has no seat: no window ever gets the keyboard, so nothing has the
# focus there.
keyboard = "DISPLAY" in os.environ
# Roles that only group or frame other objects: a screen reader passes over them unnamed.
STRUCTURE = {pyatspi.ROLE_FILLER, pyatspi.ROLE_PANEL, pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_SCROLL_BAR,
             pyatspi.ROLE_SEPARATOR}


def fail(text):
    print("smoke_a11y: " + text, file=sys.stderr)
    sys.exit(1)


def wait_for(what, probe, seconds=15):
    """Returns what probe returns once it is not None or False, handling the events that came
    in meanwhile; fails after the given time."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            found = probe()
        except GLib.Error:  # an object that went away between two calls
            found = None
        if found:
            return found
        time.sleep(0.05)
    fail("waited in vain for " + what)


def descendants(root):
    yield root
    for child in root:
        if child is not None:
            yield from descendants(child)


def find(root, role, name=None):
    found = next((o for o in descendants(root) if o.getRole() == role and (name is None or o.name == name)), None)
    if found is None:
        fail("no %s named %r in %s" % (pyatspi.Atspi.role_get_name(role), name, root.name))
    return found


def window(title):
    """The program's showing window whose title starts with title, given the keyboard where the
    display has one."""
    found = wait_for("the window " + title, lambda: next(
        (w for w in app if w is not None and w.name.startswith(title)
         and w.getState().contains(pyatspi.STATE_SHOWING)), None))
    if keyboard:
        # Xvfb has no window manager to give the new window the keyboard: do what one does.
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + re.escape(title),
                        "windowfocus", "--sync"], check=True, stdout=subprocess.DEVNULL)
    return found


def check_tree(top):
    """Prints the tree of top and fails when a control in it has no name."""
    print("== " + top.name)
    unnamed = []
    for o in descendants(top):
        depth = 0
        parent = o
        while parent != top:
            parent, depth = parent.parent, depth + 1
        print("  " * depth + "%s %r%s" % (o.getRoleName(), o.name, " (%s)" % o.description if o.description else ""))
        if not o.name and o.getRole() not in STRUCTURE:
            unnamed.append(o.getRoleName())
    if unnamed:
        fail("unnamed in %s: %s" % (top.name, ", ".join(unnamed)))


def act(o):
    """Runs the first action of o without waiting for the reply: a menu item answers only once
    what it started, dialogs and all, has ended."""
    bus.call(o.app.bus_name, o.path, "org.a11y.atspi.Action", "DoAction", GLib.Variant("(i)", (0,)), None,
             Gio.DBusCallFlags.NONE, -1, None, None, None)


def expect_focus(top, role, name):
    if not keyboard:
        return
    wait_for("the focus on %r in %s" % (name, top.name), lambda: any(
        o.getRole() == role and o.name == name and o.getState().contains(pyatspi.STATE_FOCUSED)
        for o in descendants(top)))


def fill_settings(password, offset):
    settings = window("Password")
    expect_focus(settings, pyatspi.ROLE_PASSWORD_TEXT, "Password")
    if password is not None:
        find(settings, pyatspi.ROLE_PASSWORD_TEXT, "Password").queryEditableText().setTextContents(password)
    find(settings, pyatspi.ROLE_TEXT, "Offset").queryEditableText().setTextContents(offset)
    act(find(settings, pyatspi.ROLE_PUSH_BUTTON, "OK"))


def choose_file(title, path, button):
    dialog = window(title)
    expect_focus(dialog, pyatspi.ROLE_TEXT, "File name:")
    find(dialog, pyatspi.ROLE_TEXT, "File name:").queryEditableText().setTextContents(path)
    act(find(dialog, pyatspi.ROLE_PUSH_BUTTON, button))


def back_to_main():
    """The main window again, once the windows above it have gone."""
    wait_for("the other windows to close", lambda: not any(
        w is not None and w != main and w.getState().contains(pyatspi.STATE_SHOWING) for w in app))
    expect_focus(window("Mirel v"), pyatspi.ROLE_TEXT, "Message")


def run_ended(prefix):
    wait_for("a status line starting with " + prefix, lambda: status.name.startswith(prefix), 30)
    back_to_main()


# The accessibility bus first: a program started before it never joins the tree under Wayland.
session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
address = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None, None,
                            Gio.DBusCallFlags.NONE, -1, None).unpack()[0]
session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                  GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))), None,
                  Gio.DBusCallFlags.NONE, -1, None)
bus = Gio.DBusConnection.new_for_address_sync(address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                                              Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
announced = []


def note_announcement(event):
    try:
        if event.source.getRole() == pyatspi.ROLE_STATUS_BAR:
            announced.append(event.source.name)
    except GLib.Error:  # a window's controls that went with it
        pass


pyatspi.Registry.registerEventListener(note_announcement, "object:property-change:accessible-name")

with open(os.path.join(folder, "stderr.txt"), "wb") as stderr:
    program = subprocess.Popen([mirel], cwd=folder, stderr=stderr)
desktop = pyatspi.Registry.getDesktop(0)


def joined():
    if program.poll() is not None:
        fail("the program ended with status %d before it showed a window" % program.returncode)
    return next((a for a in desktop if a is not None and a.get_process_id() == program.pid), None)


app = wait_for("mirel in the accessibility tree", joined)
main = window("Mirel v")
check_tree(main)
text = find(main, pyatspi.ROLE_TEXT, "Message")
status = find(main, pyatspi.ROLE_STATUS_BAR)
back_to_main()

# Hide the message, then decode it back into the emptied box.
text.queryEditableText().setTextContents(message)
act(find(main, pyatspi.ROLE_MENU_ITEM, "Encode Message in Picture"))
check_tree(window("Password"))
fill_settings("tulip", "7")
choose_file("Bitmap To Encode", os.path.join(folder, "carrier.bmp"), "Open")
choose_file("Save Encoded Bitmap As", os.path.join(folder, "a11y.bmp"), "Save")
run_ended("Encoded a11y.bmp")

text.queryEditableText().setTextContents("")
act(find(main, pyatspi.ROLE_MENU_ITEM, "Decode Picture"))
choose_file("Decode Bitmap", os.path.join(folder, "a11y.bmp"), "Open")
fill_settings(None, "7")
run_ended("Decoded a11y.bmp")
decoded = text.queryText().getText(0, -1)
if decoded != message:
    fail("decoded %r" % decoded)
for end in ("Encoded a11y.bmp", "Decoded a11y.bmp"):
    if end not in announced:
        fail("the status line did not announce %r, only %r" % (end, announced))

# A message box: its text is read from the tree, OK closes it.
act(find(main, pyatspi.ROLE_MENU_ITEM, "Message Offsets"))
box = window("Mirel - Message Offsets")
check_tree(box)
if not any("Length:" in o.name for o in descendants(box)):
    fail("the Message Offsets box shows no text")
act(find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"))
back_to_main()

# The About window: links with their addresses; the web link opens through its action.
act(find(main, pyatspi.ROLE_MENU_ITEM, "About Mirel..."))
about = window("About Mirel")
check_tree(about)
expect_focus(about, pyatspi.ROLE_PUSH_BUTTON, "Update")
web = find(about, pyatspi.ROLE_LINK, "corvane.example")
if web.description != "http://www.corvane.example/":
    fail("the web link is not a link to its address")
act(web)
opened = os.path.join(folder, "opened.txt")
wait_for("the web link to be opened", lambda: os.path.exists(opened) and "corvane" in open(opened).read())
act(find(about, pyatspi.ROLE_PUSH_BUTTON, "OK"))
wait_for("the About window to close", lambda: not any(w is not None and w.name == "About Mirel" for w in app))

act(find(main, pyatspi.ROLE_MENU_ITEM, "Exit"))
try:
    if program.wait(15) != 0:
        fail("the program ended with status %d" % program.returncode)
except subprocess.TimeoutExpired:
    program.kill()
    fail("the program did not end after File > Exit")
