"""The real tallyport binary driven through the accessibility interface.

A demo installation is written, the program is started, a user without the
export permission is refused, a user with it logs in, a choice is changed and
the window is closed; the next start shows the saved choice again.
"""
import os
import shutil
import sqlite3
import subprocess
import sys
import tempfile

import pyatspi

from atspi_driver import (demo_environment, fail, find, finish, log_in, press, start, stop,
                          texts, type_into, wait_for, window)

BINARY, MAKE_DEMO = sys.argv[1], sys.argv[2]


def radio(win, name):
    return wait_for("radio '%s'" % name, lambda: find(win, pyatspi.ROLE_RADIO_BUTTON, name))


def is_checked(win, name):
    return radio(win, name).getState().contains(pyatspi.STATE_CHECKED)


def settings_memo(people_dir):
    """The memo of the settings record, read straight from the table file."""
    path = os.path.join(people_dir, "awgerpt.zeldat")
    con = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    try:
        row = con.execute('SELECT "ReportInformation" FROM records WHERE "ID" = 20003').fetchone()
        return None if row is None else row[0]
    finally:
        con.close()


def main(root):
    demo = os.path.join(root, "suite")
    subprocess.run([MAKE_DEMO, demo, "--size", "tiny"], check=True, stdout=subprocess.DEVNULL)
    people_dir = os.path.join(demo, "Suite", "ZELDATA")
    env = demo_environment(demo)

    # First run: a refusal, then a good log-in, a choice, and close.
    proc = start(BINARY, env)
    login = log_in("visitor", "visitor")
    box = window("Error!")
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
    main_window = window("Tallyport")
    if not is_checked(main_window, "Contributors in the People Module"):
        fail("a first start should choose the People module")
    radio(main_window, "All Synods").queryAction().doAction(0)
    wait_for("All Synods checked", lambda: True if is_checked(main_window, "All Synods") else None)
    press(main_window, "Exit")
    finish(proc)

    memo = settings_memo(people_dir)
    if memo is None or not memo.startswith("0\r\n"):
        fail("settings record not saved as expected: %r" % memo)

    # Second run: the saved choice is back.
    proc = start(BINARY, env)
    log_in("admin", "admin")
    main_window = window("Tallyport")
    if not is_checked(main_window, "All Synods"):
        fail("the saved contributors choice was not restored")
    press(main_window, "Exit")
    finish(proc)
    print("e2e: login refused and accepted, settings saved and restored")


ROOT = tempfile.mkdtemp(prefix="tallyport-e2e-")
try:
    main(ROOT)
finally:
    stop()
    shutil.rmtree(ROOT, ignore_errors=True)
