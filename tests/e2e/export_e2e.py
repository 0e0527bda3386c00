"""An export in the real tallyport binary, driven through the accessibility interface.

A large demo installation is written and a user logs in. Cancel while the
extract is built ends the export without a dialog or a message. Export builds the extract,
the save dialog opens on the documents folder, a comma-delimited file is saved
and "Extract Complete" is shown; the file holds the gift lines of the default
range. Leaving the dialog gives "File not saved." then "Extract was Canceled.";
the Excel type, which has no writer yet, ends in an error box and writes nothing.
"""
import datetime
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

import pyatspi

from atspi_driver import (answer, demo_environment, fail, find, log_in, press,
                          showing_windows, start, stop, texts, type_into, wait_for, window, finish)

BINARY, MAKE_DEMO = sys.argv[1], sys.argv[2]
KEY_HOME, KEY_RETURN = 0xff50, 0xff0d


def choose_first_file_type(dialog):
    """Opens the file type list and takes its first item, as a keyboard user would."""
    combo = wait_for("the file type list",
                     lambda: find(dialog, pyatspi.ROLE_COMBO_BOX, "Microsoft Excel 97 (*.xls)"))
    combo.queryAction().doAction(0)
    time.sleep(0.5)
    for key in (KEY_HOME, KEY_RETURN):
        pyatspi.Registry.generateKeyboardEvent(key, None, pyatspi.KEY_SYM)
        time.sleep(0.2)
    wait_for("Comma Delimited chosen",
             lambda: find(dialog, pyatspi.ROLE_COMBO_BOX, "Comma Delimited (*.csv)"))


def expected_lines(people_dir):
    """The gift lines of the previous calendar month that the extract takes."""
    today = datetime.date.today()
    last = today.replace(day=1) - datetime.timedelta(days=1)
    first = last.replace(day=1)
    julian = lambda d: d.toordinal() + 1721425
    con = sqlite3.connect("file:%s?mode=ro" % os.path.join(people_dir, "AWCBDET1.zeldat"), uri=True)
    try:
        con.execute("ATTACH 'file:%s?mode=ro' AS p" % os.path.join(people_dir, "awpeindv.zeldat"))
        con.execute("ATTACH 'file:%s?mode=ro' AS f" % os.path.join(people_dir, "AWCBTABL.zeldat"))
        return con.execute(
            'SELECT count(*) FROM p.records p JOIN main.records g '
            'ON g."Family_Number" = p."Family_Number" AND g."Individual_Number" = p."Individual_Number" '
            'JOIN f.records f ON f."Fund_Number" = g."Fund_Number" '
            'WHERE g."Posted_Date" BETWEEN ? AND ? AND coalesce(g."Posted_Flag", \'\') <> \'1\'',
            (julian(first), julian(last))).fetchone()[0]
    finally:
        con.close()


def main(root):
    demo = os.path.join(root, "suite")
    # Large enough that building takes a while: Cancel must reach it.
    subprocess.run([MAKE_DEMO, demo, "--size", "large"], check=True, stdout=subprocess.DEVNULL)
    people_dir = os.path.join(demo, "Suite", "ZELDATA")
    documents = os.path.join(demo, "home", "Documents")

    proc = start(BINARY, demo_environment(demo))
    log_in("admin", "admin")
    main_window = window("Tallyport")

    # Cancel while building: no dialog, no message, the progress controls go.
    # Three years of gifts keep the builder busy long enough for the click to land.
    from_date = wait_for("the From date", lambda: find(main_window, pyatspi.ROLE_SPIN_BUTTON, "From"))
    month_text = from_date.queryText().getText(0, -1)
    year = re.search(r"\d{4}", month_text)
    if year is None:
        fail("no year in the From date %r" % month_text)
    widened = month_text[:year.start()] + str(int(year.group()) - 3) + month_text[year.end():]
    from_date.queryEditableText().setTextContents(widened)
    wait_for("the From date widened",
             lambda: True if from_date.queryText().getText(0, -1) == widened else None)
    press(main_window, "Export")
    cancel = wait_for("the Cancel button shown",
                      lambda: (lambda b: b if b is not None and b.getState().contains(pyatspi.STATE_SHOWING) else None)(
                          find(main_window, pyatspi.ROLE_PUSH_BUTTON, "Cancel export")))
    cancel.queryAction().doAction(0)
    wait_for("the Cancel button hidden again",
             lambda: None if cancel.getState().contains(pyatspi.STATE_SHOWING) else True)
    time.sleep(1.0)
    shown = showing_windows()
    if any(w.name == "Save Extract File As" for w in shown):
        fail("the save dialog opened after Cancel during building")
    if len(shown) != 1:
        fail("a window besides the main one after Cancel during building: %r" % [w.name for w in shown])

    # Back to the default month for the export that is written.
    from_date.queryEditableText().setTextContents(month_text)
    wait_for("the From date restored",
             lambda: True if from_date.queryText().getText(0, -1) == month_text else None)

    # Export, Save as comma-delimited: the file and "Extract Complete".
    press(main_window, "Export")
    dialog = window("Save Extract File As")
    # The label under the folder list reads the chosen folder.
    if documents not in texts(dialog):
        fail("the dialog did not open on the documents folder: %r" % texts(dialog))
    type_into(dialog, "File name", "Gifts")
    choose_first_file_type(dialog)
    press(dialog, "Save")
    answer("Extract Complete")
    path = os.path.join(documents, "Gifts.csv")
    if not os.path.exists(path):
        fail("no file %s" % path)
    data = open(path, "rb").read()
    lines = data.split(b"\r\n")
    if lines[-1] != b"" or not lines[:-1]:
        fail("the file is not CR LF lines: %r" % data[:200])
    pattern = re.compile(rb'^"[^"]*","[^"]*","[^"]+","-?[\d.,]*"$')
    bad = [l for l in lines[:-1] if not pattern.match(l)]
    if bad:
        fail("lines not in the comma-delimited form: %r" % bad[:3])
    want = expected_lines(people_dir)
    if len(lines) - 1 != want:
        fail("%d lines written, %d gift lines in the range" % (len(lines) - 1, want))

    # Leaving the dialog: two boxes, nothing written.
    press(main_window, "Export")
    dialog = window("Save Extract File As")
    press(dialog, "Cancel")
    answer("File not saved.")
    answer("Extract was Canceled.")

    # The Excel type has no writer yet: an error box, and no file.
    press(main_window, "Export")
    dialog = window("Save Extract File As")
    press(dialog, "Save")
    answer("Excel workbook writer is not available yet")
    if os.path.exists(os.path.join(documents, "Untitled.xls")):
        fail("an Excel file was written")

    press(main_window, "Exit")
    finish(proc)
    print("e2e: Cancel while building ended silently; export saved %d lines with Extract Complete; "
          "leaving the dialog and the Excel type ended as they should" % want)


ROOT = tempfile.mkdtemp(prefix="tallyport-e2e-")
try:
    main(ROOT)
finally:
    stop()
    shutil.rmtree(ROOT, ignore_errors=True)
