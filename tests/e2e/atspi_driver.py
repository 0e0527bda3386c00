"""Drives the real tallyport binary through the desktop accessibility interface,
as a screen reader would: windows and controls are found by role and name."""
import os
import subprocess
import sys
import time

import pyatspi

TIMEOUT = 30.0
_proc = [None]


def demo_environment(demo):
    """The environment that points the program at a demo installation."""
    env = dict(os.environ)
    env.update({
        "XDG_CONFIG_DIRS": os.path.join(demo, "etc", "xdg"),
        "XDG_CONFIG_HOME": os.path.join(demo, "home", ".config"),
        "APPDATA": os.path.join(demo, "home", "AppData", "Roaming"),
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "QT_ACCESSIBILITY": "1",
        "QT_QPA_PLATFORM": "xcb",
    })
    return env


def start(binary, env):
    _proc[0] = subprocess.Popen([binary], env=env)
    return _proc[0]


def finish(proc):
    """Waits for the program to end by itself; it must exit with 0."""
    try:
        code = proc.wait(timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        proc.kill()
        fail("tallyport did not end after its window closed")
    if code != 0:
        fail("exit code %d" % code)


def stop():
    """Ends a program left running by a failed script."""
    proc = _proc[0]
    if proc is not None and proc.poll() is None:
        proc.kill()
        proc.wait()


def describe(node, depth=0):
    """The accessible tree under a node, for the failure report."""
    lines = []
    try:
        lines.append("  " * depth + "%s %r" % (node.getRoleName(), node.name))
        for i in range(node.childCount):
            lines += describe(node.getChildAtIndex(i), depth + 1)
    except Exception:
        pass
    return lines


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


def fail(message):
    print("FAIL:", message)
    app = app_of(_proc[0].pid) if _proc[0] is not None else None
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


def find(node, role, name=None):
    """First node, the given one included, with this role (and name)."""
    try:
        if node.getRole() == role and (name is None or node.name == name):
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


def showing_windows():
    app = app_of(_proc[0].pid) if _proc[0] is not None else None
    if app is None:
        return []
    out = []
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        try:
            if w is not None and w.getState().contains(pyatspi.STATE_SHOWING):
                out.append(w)
        except Exception:
            pass
    return out


def window(name):
    return wait_for("window '%s'" % name,
                    lambda: next((w for w in showing_windows() if w.name == name), None))


def message_box(text):
    """The shown window whose text contains `text`."""
    return wait_for("a box saying %r" % text,
                    lambda: next((w for w in showing_windows()
                                  if any(text in t for t in texts(w))), None))


def press(win, name):
    button = wait_for("button '%s'" % name, lambda: find(win, pyatspi.ROLE_PUSH_BUTTON, name))
    button.queryAction().doAction(0)


def answer(text):
    """Presses OK in the box that says `text` and waits until it has gone."""
    box = message_box(text)
    press(box, "OK")
    wait_for("the box %r gone" % text,
             lambda: None if any(text in t for w in showing_windows() for t in texts(w)) else True)
    return box


def type_into(win, name, text):
    field = wait_for("field '%s'" % name, lambda: find(win, pyatspi.ROLE_TEXT, name)
                     or find(win, pyatspi.ROLE_PASSWORD_TEXT, name))
    field.queryEditableText().setTextContents(text)


def log_in(user, password):
    login = window("Login to Tallyport")
    type_into(login, "User Name", user)
    type_into(login, "Password", password)
    press(login, "OK")
    return login
