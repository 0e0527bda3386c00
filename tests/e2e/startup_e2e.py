"""The real tallyport binary driven through the accessibility interface.

A demo installation is written, the program is started, a user without the
export permission is refused, a user with it logs in, a choice is changed and
the window is closed; the next start shows the saved choice again.
"""
import os
import sqlite3
import subprocess
import sys
import tempfile
import time

import pyatspi

BINARY, MAKE_DEMO = sys.argv[1], sys.argv[2]
TIMEOUT = 30.0


CURRENT_PID = [None]


def describe(node, depth=0):
    """The accessible tree of a window, for the failure report."""
    lines = []
    try:
        lines.append("  " * depth + "%s %r" % (node.getRoleName(), node.name))
        for i in range(node.childCount):
            lines += describe(node.getChildAtIndex(i), depth + 1)
    except Exception:
        pass
    return lines


def fail(message):
    print("FAIL:", message)
    app = app_of(CURRENT_PID[0]) if CURRENT_PID[0] else None
    if app is not None:
        print("\n".join(describe(app)[:80]))
    sys.exit(1)


def wait_for(what, probe, timeout=TIMEOUT):
    end = time.time() + timeout
    while time.time() < end:
        found = probe()
        if found is not None:
            return found
        time.sleep(0.2)
    fail("timed out waiting for " + what)


def app_of(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            pass
    return None


def find(node, role, name):
    """First descendant with this role and accessible name, or None."""
    try:
        if node.getRole() == role and node.name == name:
            return node
        for i in range(node.childCount):
            hit = find(node.getChildAtIndex(i), role, name)
            if hit is not None:
                return hit
    except Exception:
        return None
    return None


def texts(node):
    out = []
    try:
        if node.getRole() in (pyatspi.ROLE_LABEL, pyatspi.ROLE_STATIC):
            out.append(node.name)
        for i in range(node.childCount):
            out += texts(node.getChildAtIndex(i))
    except Exception:
        pass
    return out


def window(pid, name):
    def probe():
        app = app_of(pid)
        if app is None:
            return None
        for i in range(app.childCount):
            w = app.getChildAtIndex(i)
            if w is not None and w.name == name and w.getState().contains(pyatspi.STATE_SHOWING):
                return w
        return None
    return wait_for("window '%s'" % name, probe)


def type_into(win, name, text):
    field = wait_for("field '%s'" % name, lambda: find(win, pyatspi.ROLE_TEXT, name)
                     or find(win, pyatspi.ROLE_PASSWORD_TEXT, name))
    field.queryEditableText().setTextContents(text)


def press(win, name):
    button = wait_for("button '%s'" % name, lambda: find(win, pyatspi.ROLE_PUSH_BUTTON, name))
    button.queryAction().doAction(0)


def click_radio(win, name):
    radio = wait_for("radio '%s'" % name, lambda: find(win, pyatspi.ROLE_RADIO_BUTTON, name))
    radio.queryAction().doAction(0)
    return radio


def is_checked(win, name):
    radio = wait_for("radio '%s'" % name, lambda: find(win, pyatspi.ROLE_RADIO_BUTTON, name))
    return radio.getState().contains(pyatspi.STATE_CHECKED)


def settings_memo(people_dir):
    path = os.path.join(people_dir, "awgerpt.zeldat")
    con = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    try:
        cols = [r[1] for r in con.execute("PRAGMA table_info(records)")]
        memo = [c for c in cols if c.lower() == "reportinformation"][0]
        ident = [c for c in cols if c.lower() == "id"][0]
        row = con.execute('SELECT "%s" FROM records WHERE "%s" = 20003' % (memo, ident)).fetchone()
        return None if row is None else row[0]
    finally:
        con.close()


def start(env):
    proc = subprocess.Popen([BINARY], env=env)
    CURRENT_PID[0] = proc.pid
    return proc


def finish(proc):
    try:
        code = proc.wait(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        proc.kill()
        fail("tallyport did not end after its window closed")
    if code != 0:
        fail("exit code %d" % code)


def main():
    root = tempfile.mkdtemp(prefix="tallyport-e2e-")
    demo = os.path.join(root, "suite")
    subprocess.run([MAKE_DEMO, demo, "--size", "tiny"], check=True, stdout=subprocess.DEVNULL)
    people_dir = os.path.join(demo, "Suite", "ZELDATA")

    env = dict(os.environ)
    env.update({
        "XDG_CONFIG_DIRS": os.path.join(demo, "etc", "xdg"),
        "XDG_CONFIG_HOME": os.path.join(demo, "home", ".config"),
        "APPDATA": os.path.join(demo, "home", "AppData", "Roaming"),
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "QT_ACCESSIBILITY": "1",
        "QT_QPA_PLATFORM": "xcb",
    })

    # First run: a refusal, then a good log-in, a choice, and close.
    proc = start(env)
    login = window(proc.pid, "Login to Tallyport")
    type_into(login, "User Name", "visitor")
    type_into(login, "Password", "visitor")
    press(login, "OK")
    box = window(proc.pid, "Error!")
    if "User doesn't have required permissions. Login cancelled" not in texts(box):
        fail("permission refusal not shown: %r" % texts(box))
    press(box, "OK")
    # The refusal empties the password once the box has gone; type only after that.
    password = find(login, pyatspi.ROLE_PASSWORD_TEXT, "Password")
    wait_for("the password emptied",
             lambda: True if password.queryText().characterCount == 0 else None)
    type_into(login, "User Name", "OFFICE")
    type_into(login, "Password", "office")
    press(login, "OK")
    main_window = window(proc.pid, "Tallyport")
    if not is_checked(main_window, "Contributors in the People Module"):
        fail("a first start should choose the People module")
    click_radio(main_window, "All Synods")
    wait_for("All Synods checked", lambda: True if is_checked(main_window, "All Synods") else None)
    press(main_window, "Exit")
    finish(proc)

    memo = settings_memo(people_dir)
    if memo is None or not memo.startswith("0\r\n"):
        fail("settings record not saved as expected: %r" % memo)

    # Second run: the saved choice is back.
    proc = start(env)
    login = window(proc.pid, "Login to Tallyport")
    type_into(login, "User Name", "admin")
    type_into(login, "Password", "admin")
    press(login, "OK")
    main_window = window(proc.pid, "Tallyport")
    if not is_checked(main_window, "All Synods"):
        fail("the saved contributors choice was not restored")
    press(main_window, "Exit")
    finish(proc)
    print("e2e: login refused and accepted, settings saved and restored")


main()
