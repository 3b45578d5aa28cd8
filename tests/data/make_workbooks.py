#!/usr/bin/python3
"""Writes the sample workbooks of the profile tests and benchmark with real spreadsheet writers.

Debian packages: python3-xlwt (.xls), libreoffice-calc-nogui (.xlsx, converted from the .xls
with soffice), python3-openpyxl (.xlsx as scripts write it), python3-odf (.ods).
Run from this folder: /usr/bin/python3 make_workbooks.py
The benchmark calls it with --bench DIR to write its two 10 000-row workbooks into DIR.
"""
import datetime
import os
import shutil
import subprocess
import tempfile
import struct
import sys
import zipfile

import openpyxl
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


def write_dates_xls(name):
    """Date, date-time and time cells as spreadsheet programs keep them: numbers with a date format."""
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("accounts")
    for c, title in enumerate(["user", "since", "changed", "at"]):
        sheet.write(0, c, title)
    sheet.write(1, 0, "u1")
    sheet.write(1, 1, datetime.date(2024, 2, 29), xlwt.easyxf(num_format_str="YYYY-MM-DD"))
    sheet.write(1, 2, datetime.datetime(2024, 2, 29, 13, 5, 9), xlwt.easyxf(num_format_str="YYYY-MM-DD HH:MM:SS"))
    sheet.write(1, 3, datetime.time(13, 5, 9), xlwt.easyxf(num_format_str="HH:MM:SS"))
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


def write_openpyxl(name, rows):
    # Written by a script: inline strings and absolute part names in the relationships, as openpyxl
    # writes them.
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "accounts"
    for r, row in enumerate(rows, 1):
        for c, value in enumerate(row, 1):
            if value != "":
                sheet.cell(row=r, column=c, value=value)
    book.create_sheet("other")["A1"] = "not this one"
    book.save(name)


# A package written part by part, as streaming writers do: inline strings, rich-text runs, a
# phonetic run that is not part of the text, prefixed element names, cells without addresses
# and a sheet outside xl/worksheets. Rows 1-3 hold values; G5 has a style and no value.
MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
INLINE_RICH = {
    "[Content_Types].xml": '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
        'content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
        'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/></Types>',
    "_rels/.rels": '<Relationships xmlns="%s"><Relationship Id="r1" Type="%s/officeDocument" '
        'Target="xl/workbook.xml"/></Relationships>' % (PKG, REL),
    "xl/workbook.xml": '<x:workbook xmlns:x="%s" xmlns:r="%s"><x:sheets><x:sheet name="first" sheetId="7" '
        'r:id="s1"/><x:sheet name="second" sheetId="2" r:id="s2"/></x:sheets></x:workbook>' % (MAIN, REL),
    "xl/_rels/workbook.xml.rels": '<Relationships xmlns="%s"><Relationship Id="s2" Type="%s/worksheet" '
        'Target="worksheets/sheet1.xml"/><Relationship Id="s1" Type="%s/worksheet" '
        'Target="../sheets/./first.xml"/><Relationship Id="t" Type="%s/sharedStrings" '
        'Target="/xl/strings.xml"/></Relationships>' % (PKG, REL, REL, REL),
    "xl/strings.xml": '<x:sst xmlns:x="%s" count="2" uniqueCount="2"><x:si><x:r><x:t xml:space="preserve">pw '
        '</x:t></x:r><x:r><x:rPr><x:b/></x:rPr><x:t>1</x:t></x:r><x:rPh sb="0" eb="1"><x:t>PH</x:t></x:rPh>'
        '</x:si><x:si><x:t>a&amp;b &lt;c&gt;</x:t></x:si></x:sst>' % MAIN,
    "sheets/first.xml": '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<x:worksheet xmlns:x="%s">'
        '<x:sheetData><x:row r="1"><x:c r="A1" t="inlineStr"><x:is><x:t>user</x:t></x:is></x:c>'
        '<x:c r="B1" t="inlineStr"><x:is><x:r><x:t>ntv</x:t></x:r><x:r><x:rPr><x:i/></x:rPr>'
        '<x:t>useraccount</x:t></x:r></x:is></x:c></x:row>'
        '<x:row r="2"><x:c r="A2" t="s"><x:v>0</x:v></x:c><x:c r="B2" t="s"><x:v>1</x:v></x:c>'
        '<x:c r="C2"><x:v>1.5E+2</x:v></x:c><x:c r="D2" t="b"><x:v>1</x:v></x:c>'
        '<x:c r="E2" t="e"><x:v>#N/A</x:v></x:c><x:c r="F2" t="str"><x:f>A1&amp;"x"</x:f><x:v>userx</x:v>'
        '</x:c></x:row><x:row><x:c><x:v>-0.25</x:v></x:c><x:c/><x:c t="inlineStr"><x:is><x:t>'
        'third</x:t></x:is></x:c></x:row><x:row r="5"><x:c r="G5" s="1"/></x:row></x:sheetData>'
        '</x:worksheet>' % MAIN,
    "xl/worksheets/sheet1.xml": '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>'
        'not this one</t></is></c></row></sheetData></worksheet>' % MAIN,
}


def write_package(name, parts):
    with zipfile.ZipFile(name, "w", zipfile.ZIP_DEFLATED) as z:
        for part, text in parts.items():
            z.writestr(part, text)


def write_bomb(name, source, part):
    # The directory of a copy of `source` claims `part` unpacks to 3.75 GiB, as a zip bomb does.
    data = bytearray(open(source, "rb").read())
    info = zipfile.ZipFile(source).getinfo(part)
    central = data.find(b"PK\x01\x02")
    while data[central + 46:central + 46 + len(part)] != part.encode():
        central = data.find(b"PK\x01\x02", central + 4)
    struct.pack_into("<I", data, central + 24, 0xF0000000)
    struct.pack_into("<I", data, info.header_offset + 22, 0xF0000000)
    open(name, "wb").write(data)


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
    write_dates_xls("dates.xls")
    write_xlsx("title-case.xlsx", [["User"] + TITLES[1:], ["u1", "acc1"]])
    write_openpyxl("profiles-openpyxl.xlsx", SAMPLE)
    write_package("inline-rich.xlsx", INLINE_RICH)
    write_bomb("bomb.xlsx", "profiles-openpyxl.xlsx", "xl/worksheets/sheet1.xml")
    with open("profiles-openpyxl.xlsx", "rb") as full, open("truncated.xlsx", "wb") as cut:
        cut.write(full.read()[:2000])
    with open("profiles.xls", "rb") as full, open("truncated.xls", "wb") as cut:
        cut.write(full.read()[:1500])


main()
