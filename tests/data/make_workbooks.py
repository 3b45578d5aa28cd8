#!/usr/bin/python3
"""Writes the sample workbooks of the profile tests and benchmark with real spreadsheet writers.

Debian packages: python3-xlwt (.xls), libreoffice-calc-nogui (.xlsx, converted from the .xls
with soffice), python3-odf (.ods).
Run from this folder: /usr/bin/python3 make_workbooks.py
The benchmark calls it with --bench DIR to write its two 10 000-row workbooks into DIR.
"""
import os
import shutil
import subprocess
import tempfile
import sys

import xlwt
from odf.opendocument import OpenDocumentSpreadsheet
from odf.table import Table, TableCell, TableRow
from odf.text import P

TITLES = ["user", "ntvuseraccount", "ntvuserpassword", "connecttype", "netuseraccount",
          "netuserpassword", "stbIP", "netmask", "gateway", "dns", "dns2"]

# Row 2: numbers typed as numbers; row 3: blanks around values, only two cells;
# row 4: empty user id; row 5: 33-byte account; row 6: a value that makes a 149+ byte line;
# row 7: accepted, with a twelfth column that the generator ignores.
SAMPLE = [
    TITLES + ["comment"],
    [10001, 8613800138000, 123456, "pppoe", "net10001", "pw 1", "10.0.0.5", "255.255.255.0", "10.0.0.1", 1.5, ""],
    ["  u2 ", " acc2\t", "", "", "", "", "", "", "", "", ""],
    ["", "acc3", "p3", "dhcp", "", "", "", "", "", "", ""],
    ["u4", "a" * 33, "p4", "dhcp", "", "", "", "", "", "", ""],
    ["u5", "acc5", "x" * 200, "static", "", "", "", "", "", "", ""],
    ["u6", "acc6", "p6", "dhcp", "", "", "", "", "", "", "", "ignored"],
]


def write_xls(name, rows):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("accounts")
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            if value != "":
                sheet.write(r, c, value)
    # A second sheet that must not be read.
    book.add_sheet("other").write(0, 0, "not this one")
    book.save(name)


def write_xlsx(name, rows):
    # Saved by the office suite, so the package has shared strings and relative part names as
    # desktop spreadsheet applications write them.
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, os.path.splitext(os.path.basename(name))[0] + ".xls")
        write_xls(source, rows)
        subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + tmp + "/profile",
                        "--convert-to", "xlsx", "--outdir", tmp, source], check=True, capture_output=True)
        shutil.move(source[:-4] + ".xlsx", name)


def write_ods(name, rows):
    doc = OpenDocumentSpreadsheet()
    table = Table(name="accounts")
    for row in rows:
        tr = TableRow()
        for value in row:
            if isinstance(value, (int, float)):
                cell = TableCell(valuetype="float", value=value)
                cell.addElement(P(text=str(value)))
            elif value != "":
                cell = TableCell(valuetype="string")
                cell.addElement(P(text=value))
            else:
                cell = TableCell()
            tr.addElement(cell)
        table.addElement(tr)
    doc.spreadsheet.addElement(table)
    doc.save(name)


def bench_rows(count):
    rows = [TITLES]
    for i in range(count):
        rows.append(["user%05d" % i, "acc%05d" % i, "pw%05d" % i, "pppoe", "net%05d" % i, "np%05d" % i,
                     "10.%d.%d.%d" % (i // 65536, i // 256 % 256, i % 256), "255.255.0.0", "10.0.0.1",
                     "192.168.1.1", "192.168.1.2"])
    return rows


def main():
    if "--bench" in sys.argv:
        folder = sys.argv[sys.argv.index("--bench") + 1]
        write_xls(os.path.join(folder, "bench-10000.xls"), bench_rows(10000))
        write_xlsx(os.path.join(folder, "bench-10000.xlsx"), bench_rows(10000))
        return
    write_xls("profiles.xls", SAMPLE)
    write_xlsx("profiles.xlsx", SAMPLE)
    write_ods("profiles.ods", SAMPLE)
    write_xls("title-only.xls", [TITLES])
    write_xlsx("title-case.xlsx", [["User"] + TITLES[1:], ["u1", "acc1"]])
    with open("profiles.xls", "rb") as full, open("truncated.xls", "wb") as cut:
        cut.write(full.read()[:1500])


main()
