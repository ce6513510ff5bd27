#!/usr/bin/env python3
"""Writes control_dialog.rc: dialog template 102 as raw DLGTEMPLATEEX data,
which vlm.rc includes.

Why raw data instead of a DIALOGEX statement: windres stores every quoted
control class as an upper-cased string, so "CustEdit" would become "CUSTEDIT"
and "Button" the string "BUTTON" instead of the system atom 0x0080. Written
out word by word, the template holds the host's class names exactly and the
system classes as atoms. Styles and ids stay symbolic (windows.h, resource.h);
windres evaluates them, and a term with an L suffix makes a 32-bit item.

Run from anywhere: python3 resources/make_control_rc.py
"""
import os
import re


def release_version():
    """The version of plugin/version.h, the one place it is kept."""
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "..", "plugin", "version.h")) as f:
        return re.search(r'#define VLM_VERSION "([^"]+)"', f.read()).group(1)


SIDE = 9
# Weight cell (r, c): 20 x 10 dialog units, columns 22 apart from x 13,
# rows 11 apart from y 118.
CELL_X0, CELL_DX, CELL_Y0, CELL_DY, CELL_W, CELL_H = 13, 22, 118, 11, 20, 10

ATOMS = {"BUTTON": 0x0080, "EDIT": 0x0081, "STATIC": 0x0082, "LISTBOX": 0x0083}

CAPTION = "Velmora Filter Control"
STYLE = "WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT"
SIZE = (0, 0, 385, 263)
FONT_POINTS, FONT_FACE = 8, "MS Sans Serif"

TAB = "WS_TABSTOP"
# Template order, which is also the tab order. The weight cells go where the
# marker stands. Fields: id, class, text (str, or ordinal int/name), x, y, w,
# h, style (WS_CHILD | WS_VISIBLE added to all), extended style.
CONTROLS = [
    ("IDC_FILTER_LIST", "LISTBOX", "", 225, 117, 150, 115,
     "LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP", None),
    ("IDC_SOURCE_WHOLE", "BUTTON", "Whole Image", 25, 51, 95, 10, "BS_AUTORADIOBUTTON | WS_GROUP", None),
    ("IDC_SOURCE_MATERIAL", "BUTTON", "Material Effects Channel", 25, 66, 95, 10, "BS_AUTORADIOBUTTON", None),
    ("IDC_MATERIAL_ID", "CustEdit", "", 152, 66, 28, 10, TAB, None),
    ("IDC_SOURCE_OBJECT", "BUTTON", "Object Channel", 25, 81, 67, 10, "BS_AUTORADIOBUTTON", None),
    ("IDC_OBJECT_ID", "CustEdit", "", 152, 81, 28, 10, TAB, None),
    ("IDOK", "BUTTON", "OK", 50, 245, 50, 14, "BS_DEFPUSHBUTTON | WS_TABSTOP", None),
    ("IDCANCEL", "BUTTON", "Cancel", 120, 245, 50, 14, "BS_PUSHBUTTON | WS_TABSTOP", None),
    ("IDC_PREVIEW_BUTTON", "BUTTON", "Preview", 240, 245, 50, 14, "BS_PUSHBUTTON | WS_TABSTOP", None),
    ("IDC_SAVE_BUTTON", "BUTTON", "Save", 310, 245, 50, 14, "BS_PUSHBUTTON | WS_TABSTOP", None),
    ("IDC_STATIC", "BUTTON", "Filter", 6, 105, 210, 135, "BS_GROUPBOX", None),
    ("IDC_STATIC", "BUTTON", "", 6, 0, 210, 32, "BS_GROUPBOX", None),
    ("IDC_STATIC", "STATIC", "Velmora Filter, Version " + release_version(), 8, 8, 203, 8, "SS_CENTER | WS_GROUP", None),
    ("IDC_STATIC", "STATIC", "A convolution you type in, for rendered frames", 8, 19, 203, 8,
     "SS_CENTER | WS_GROUP", None),
    ("IDC_MATERIAL_ID_SPIN", "SpinnerControl", "", 180, 66, 10, 10, TAB, None),
    ("IDC_OBJECT_ID_SPIN", "SpinnerControl", "", 180, 81, 10, 10, TAB, None),
    ("IDC_STATIC", "BUTTON", "Source", 6, 34, 210, 70, "BS_GROUPBOX", None),
    "WEIGHT_CELLS",
    ("IDC_STATIC", "STATIC", "Divide:", 14, 224, 30, 8, "SS_RIGHT | WS_GROUP", None),
    ("IDC_DIVIDE", "CustEdit", "", 45, 223, 25, 10, TAB, None),
    ("IDC_DIVIDE_SPIN", "SpinnerControl", "", 70, 223, 7, 10, None, None),
    ("IDC_STATIC", "STATIC", "Offset:", 84, 224, 25, 8, "SS_RIGHT | WS_GROUP", None),
    ("IDC_OFFSET", "CustEdit", "", 110, 223, 25, 10, TAB, None),
    ("IDC_OFFSET_SPIN", "SpinnerControl", "", 135, 223, 7, 10, None, None),
    ("IDC_INVERT", "BUTTON", "Invert", 160, 223, 40, 10, "BS_AUTOCHECKBOX | WS_TABSTOP", None),
    ("IDC_PREVIEW_IMAGE", "STATIC", "IDB_SAMPLE", 245, 6, 111, 78, "SS_BITMAP | WS_BORDER", "WS_EX_DLGMODALFRAME"),
    ("IDC_STATIC", "BUTTON", "Filter list", 220, 105, 160, 135, "BS_GROUPBOX", None),
    ("IDC_FILTER_NAME", "EDIT", "", 245, 90, 135, 12, "ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP", None),
    ("IDC_STATIC", "STATIC", "Name:", 220, 91, 25, 8, "SS_LEFT | WS_GROUP", None),
]
# Texts that name a bitmap: stored as the ordinal 0xFFFF, number.
ORDINAL_TEXTS = {"IDB_SAMPLE"}


def weight_cells():
    for r in range(SIDE):
        for c in range(SIDE):
            yield ("IDC_WEIGHT_FIRST + %d" % (SIDE * r + c), "CustEdit", "",
                   CELL_X0 + CELL_DX * c, CELL_Y0 + CELL_DY * r, CELL_W, CELL_H, TAB, None)


def controls():
    for entry in CONTROLS:
        if entry == "WEIGHT_CELLS":
            yield from weight_cells()
        else:
            yield entry


class Words:
    """Collects rc data items and counts their bytes, for the DWORD alignment
    that every control entry needs."""

    def __init__(self):
        self.items = []
        self.size = 0

    def word(self, expr):
        self.items.append(str(expr))
        self.size += 2

    def dword(self, expr):
        self.items.append("0L + (%s)" % expr)
        self.size += 4

    def text(self, s):
        if any(ch in s for ch in '"\\') or not s.isascii():
            raise ValueError("text needs escaping: %r" % s)
        self.items.append('L"%s\\0"' % s)
        self.size += 2 * (len(s) + 1)

    def align(self):
        while self.size % 4:
            self.word(0)

    def take(self):
        out, self.items = self.items, []
        return ", ".join(out)


def class_item(words, cls):
    if cls in ATOMS:
        words.word("0xFFFF")
        words.word("0x%04X" % ATOMS[cls])
    else:
        words.text(cls)


def text_item(words, text):
    if text in ORDINAL_TEXTS:
        words.word("0xFFFF")
        words.word(text)
    else:
        words.text(text)


def render():
    items = list(controls())
    w = Words()
    lines = [
        "// Written by make_control_rc.py; edit that script, not this file.",
        "// Dialog template 102 as DLGTEMPLATEEX data: %d controls." % len(items),
        "IDD_CONTROL 5",  # 5: RT_DIALOG, which windows.h leaves undefined for rc
        "BEGIN",
    ]
    # dlgVer 1, signature 0xFFFF, helpID, exStyle, style, item count, position.
    w.word(1)
    w.word("0xFFFF")
    w.dword(0)
    w.dword(0)
    w.dword(STYLE)
    w.word(len(items))
    for v in SIZE:
        w.word(v)
    lines.append("    " + w.take() + ",")
    # No menu, the system dialog class, the caption.
    w.word(0)
    w.word(0)
    w.text(CAPTION)
    lines.append("    " + w.take() + ",")
    # Point size, weight FW_DONTCARE, italic 0 in the low byte and charset
    # DEFAULT_CHARSET (1) in the high byte, as rc writes FONT n, "face".
    w.word(FONT_POINTS)
    w.word(0)
    w.word("0x0100")
    w.text(FONT_FACE)
    w.align()
    lines.append("    " + w.take() + ",")
    for n, (cid, cls, text, x, y, cx, cy, style, exstyle) in enumerate(items, 1):
        full_style = "WS_CHILD | WS_VISIBLE" + (" | " + style if style else "")
        shown = "bitmap " + text if text in ORDINAL_TEXTS else '"%s"' % text
        lines.append("    // %d: %s %s %s %d, %d, %d, %d" % (n, cls, cid, shown, x, y, cx, cy))
        w.dword(0)  # helpID
        w.dword(exstyle or 0)
        w.dword(full_style)
        for v in (x, y, cx, cy):
            w.word(v)
        w.dword(cid)
        class_item(w, cls)
        text_item(w, text)
        w.word(0)  # no creation data
        if n < len(items):
            w.align()
        lines.append("    " + w.take() + ("," if n < len(items) else ""))
    lines.append("END")
    return "\n".join(lines) + "\n"


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "control_dialog.rc")
    with open(out, "w", newline="\n") as f:
        f.write(render())


if __name__ == "__main__":
    main()
