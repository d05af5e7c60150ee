#!/usr/bin/env python3
"""Writes the program's named pictures as SVG files into this folder.

Every picture of the window comes from here, so that the whole set shares one flat theme in the
program's colours. Run it after changing a picture and commit the script together with the SVG
files it writes; the build embeds the SVG files and never runs this script.

    python3 resources/pictures/make_pictures.py [output folder]

Glyphs are drawn on a 24-unit grid and scaled into each picture.
"""
import math
import os
import sys

# Theme colours of the window.
TITLE = "#0B4368"   # page titles
BAR = "#1379B9"     # side bar, popup title bars
PAGE = "#50BDF5"    # page backgrounds
BADGE = "#FA6806"   # badges; "on" and attention
# Tints and neutrals derived from them.
BADGE_DARK = "#C24F05"
BADGE_TINT = "#FFE3CF"
PAGE_TINT = "#E2F4FD"
PAGE_PALE = "#F3FAFE"
PAGE_PRESSED = "#C4E8FC"
BAR_DARK = "#0E5F93"
GREY = "#B9C5CE"
GREY_DARK = "#7B8A95"
GREY_TINT = "#E9EFF3"
LINE = "#D3E0EA"
INK = "#1E2A33"
WHITE = "#FFFFFF"
SKIN = "#F5C9A3"

PICTURES = {}


def picture(name):
    def register(fn):
        PICTURES[name] = fn
        return fn
    return register


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" '
            f'width="{w}" height="{h}" viewBox="0 0 {w} {h}">\n{body}</svg>\n')


def fmt(v):
    return f"{v:.2f}".rstrip("0").rstrip(".") if isinstance(v, float) else str(v)


def rect(x, y, w, h, fill, rx=0, stroke=None, sw=1, opacity=None):
    s = f'<rect x="{fmt(x)}" y="{fmt(y)}" width="{fmt(w)}" height="{fmt(h)}"'
    if rx:
        s += f' rx="{fmt(rx)}" ry="{fmt(rx)}"'
    s += f' fill="{fill}"'
    if stroke:
        s += f' stroke="{stroke}" stroke-width="{fmt(sw)}"'
    if opacity is not None:
        s += f' opacity="{fmt(opacity)}"'
    return s + "/>\n"


def circle(cx, cy, r, fill, stroke=None, sw=1, opacity=None, dash=None):
    s = f'<circle cx="{fmt(cx)}" cy="{fmt(cy)}" r="{fmt(r)}" fill="{fill}"'
    if stroke:
        s += f' stroke="{stroke}" stroke-width="{fmt(sw)}"'
    if dash:
        s += f' stroke-dasharray="{dash}"'
    if opacity is not None:
        s += f' opacity="{fmt(opacity)}"'
    return s + "/>\n"


def path(d, fill="none", stroke=None, sw=2, opacity=None, join="round"):
    s = f'<path d="{d}" fill="{fill}"'
    if stroke:
        s += (f' stroke="{stroke}" stroke-width="{fmt(sw)}" stroke-linecap="round" '
              f'stroke-linejoin="{join}"')
    if opacity is not None:
        s += f' opacity="{fmt(opacity)}"'
    return s + "/>\n"


def group(body, x=0, y=0, scale=1.0, rotate=None, opacity=None):
    t = f"translate({fmt(float(x))},{fmt(float(y))})"
    if scale != 1.0:
        t += f" scale({fmt(float(scale))})"
    if rotate is not None:
        t += f" rotate({fmt(float(rotate[0]))},{fmt(float(rotate[1]))},{fmt(float(rotate[2]))})"
    o = f' opacity="{fmt(opacity)}"' if opacity is not None else ""
    return f'<g transform="{t}"{o}>\n{body}</g>\n'


# --- glyphs on a 24-unit grid: (stroked path data, filled path data) --------------------------

GLYPHS = {
    "plus": ("M12 5V19M5 12H19", ""),
    "minus": ("M5 12H19", ""),
    "cross": ("M6.5 6.5L17.5 17.5M17.5 6.5L6.5 17.5", ""),
    "refresh": ("M19.5 12A7.5 7.5 0 1 1 17.3 6.7M19.5 4.2V8.9H14.8", ""),
    "bulb": ("M9.2 18.2H14.8M10.2 21H13.8M12 3A6.2 6.2 0 0 0 8.3 14.2C9 14.8 9.3 15.5 9.3 16.2H14.7"
             "C14.7 15.5 15 14.8 15.7 14.2A6.2 6.2 0 0 0 12 3Z", ""),
    "pencil": ("M4.5 19.5L5.6 15.3L15.6 5.3A2 2 0 0 1 18.7 8.4L8.7 18.4ZM13.8 7.1L16.9 10.2", ""),
    "clock": ("M12 3.5A8.5 8.5 0 1 1 11.99 3.5ZM12 7.2V12L15.3 14", ""),
    "trash": ("M4.5 7H19.5M9.5 7V4.5H14.5V7M6.5 7L7.5 20H16.5L17.5 7M10 10.5V16.5M14 10.5V16.5", ""),
    "home": ("M3.5 11.5L12 4L20.5 11.5M6 9.6V20H10.3V14.5H13.7V20H18V9.6", ""),
    "user": ("M12 4A4 4 0 1 1 11.99 4ZM4.5 20.5C4.5 16.4 7.9 14 12 14S19.5 16.4 19.5 20.5", ""),
    "chat": ("M4 5H20V16H10.5L6 19.8V16H4Z", "M7.6 10.5A1.2 1.2 0 1 0 7.61 10.5ZM12 10.5A1.2 1.2 0 1 0 "
             "12.01 10.5ZM16.4 10.5A1.2 1.2 0 1 0 16.41 10.5Z"),
    "grid": ("M4.5 4.5H10.5V10.5H4.5ZM13.5 4.5H19.5V10.5H13.5ZM4.5 13.5H10.5V19.5H4.5Z"
             "M13.5 13.5H19.5V19.5H13.5Z", ""),
    "power": ("M12 3.5V11.5M7.2 6.3A7.5 7.5 0 1 0 16.8 6.3", ""),
    "wifi": ("M2.8 9.2A13.5 13.5 0 0 1 21.2 9.2M5.9 12.5A9 9 0 0 1 18.1 12.5M9 15.8A4.6 4.6 0 0 1 15 15.8",
             "M12 17.7A1.5 1.5 0 1 0 12.01 17.7Z"),
    "cloud": ("M7.2 18.5H17.2A4 4 0 0 0 17.8 10.55A5.6 5.6 0 0 0 7.2 9.3A4.6 4.6 0 0 0 7.2 18.5Z", ""),
    "lock": ("M6 10.5H18V20.5H6ZM8.5 10.5V7.5A3.5 3.5 0 0 1 15.5 7.5V10.5M12 14.3V16.7", ""),
    "unlock": ("M6 10.5H18V20.5H6ZM8.5 10.5V7.5A3.5 3.5 0 0 1 15.3 6.3M12 14.3V16.7", ""),
    "alarm": ("M12 6A7 7 0 1 1 11.99 6ZM12 9.5V13L14.5 14.5M3.8 6.8L7 4.2M20.2 6.8L17 4.2"
              "M7.4 18.6L5.8 20.6M16.6 18.6L18.2 20.6", ""),
    "chevron": ("M9.5 6L15.5 12L9.5 18", ""),
    "check": ("M5 12.5L9.5 17L19 7.5", ""),
    "remote": ("M8.5 9H15.5V22H8.5Z", "M12 11.3A1.5 1.5 0 1 0 12.01 11.3ZM10.6 15.2H13.4V16.6H10.6Z"
               "M10.6 18.2H13.4V19.6H10.6Z"),
    "irwaves": ("M9.2 5.8A4 4 0 0 1 14.8 5.8M6.7 3.3A7.6 7.6 0 0 1 17.3 3.3", ""),
    "signal": ("M8.3 8.3A5.2 5.2 0 0 0 8.3 15.7M15.7 8.3A5.2 5.2 0 0 1 15.7 15.7M5.4 5.4A9.3 9.3 0 0 0 "
               "5.4 18.6M18.6 5.4A9.3 9.3 0 0 1 18.6 18.6", "M12 9.8A2.2 2.2 0 1 0 12.01 9.8Z"),
    "question": ("M9.2 9.2A2.9 2.9 0 1 1 13.4 11.8C12.6 12.3 12 13 12 14.2", "M12 16.6A1.2 1.2 0 1 0 "
                 "12.01 16.6Z"),
}


def glyph(name, color, x, y, size, stroke_width=2.0, opacity=None):
    """A glyph of the 24-unit grid drawn at (x, y) with the given size."""
    stroked, filled = GLYPHS[name]
    s = size / 24.0
    body = ""
    if stroked:
        body += path(stroked, stroke=color, sw=stroke_width)
    if filled:
        body += path(filled, fill=color)
    return group(body, x, y, s, opacity=opacity)


def centered_glyph(name, color, w, h, size, stroke_width=2.0, dx=0, dy=0):
    return glyph(name, color, (w - size) / 2 + dx, (h - size) / 2 + dy, size, stroke_width)


# --- title-bar icons (40 x 40, white on the dark title bar) -----------------------------------

def title_icon(g, pressed):
    if pressed:
        body = circle(20, 20, 18, WHITE)
        body += centered_glyph(g, TITLE, 40, 40, 24, 2.3)
    else:
        body = circle(20, 20, 18, WHITE, opacity=0.12)
        body += circle(20, 20, 17.25, "none", stroke=WHITE, sw=1.5, opacity=0.55)
        body += centered_glyph(g, WHITE, 40, 40, 24, 2.3)
    return svg(40, 40, body)


for _name, _g in (("Add", "plus"), ("Remove", "minus"), ("Refresh", "refresh"), ("Light", "bulb")):
    PICTURES[f"{_name}_N"] = (lambda g: lambda: title_icon(g, False))(_g)
    PICTURES[f"{_name}_HL"] = (lambda g: lambda: title_icon(g, True))(_g)


# --- round buttons on light cells (40 x 40) ----------------------------------------------------

@picture("Clock_N")
def clock_n():
    return svg(40, 40, circle(20, 20, 18, BAR) + centered_glyph("clock", WHITE, 40, 40, 24, 2.2))


@picture("Clock_HL")
def clock_hl():
    return svg(40, 40, circle(20, 20, 19, PAGE) + circle(20, 20, 16, TITLE)
               + centered_glyph("clock", WHITE, 40, 40, 22, 2.4))


@picture("Edit_N")
def edit_n():
    # A white rim keeps it visible on the dark title bar as well as on light cells.
    return svg(40, 40, circle(20, 20, 18.5, WHITE) + circle(20, 20, 16.5, BAR)
               + centered_glyph("pencil", WHITE, 40, 40, 22, 2.2))


@picture("Edit_HL")
def edit_hl():
    # pressed on the title bar
    return svg(40, 40, circle(20, 20, 18.5, WHITE) + centered_glyph("pencil", TITLE, 40, 40, 22, 2.5))


@picture("Edit_HL2")
def edit_hl2():
    # pressed on an infrared cell
    return svg(40, 40, circle(20, 20, 18.5, PAGE) + circle(20, 20, 15.5, TITLE)
               + centered_glyph("pencil", WHITE, 40, 40, 20, 2.5))


@picture("Del_N")
def del_n():
    return svg(40, 40, circle(20, 20, 18, BADGE_TINT) + circle(20, 20, 17.25, "none", stroke=BADGE, sw=1.5)
               + centered_glyph("trash", BADGE, 40, 40, 22, 2.1))


@picture("Del_HL")
def del_hl():
    return svg(40, 40, circle(20, 20, 18, BADGE_DARK) + centered_glyph("trash", WHITE, 40, 40, 20, 2.4))


# --- device item remove button (50 x 50) -------------------------------------------------------

@picture("CellRemove_N")
def cellremove_n():
    return svg(50, 50, circle(25, 25, 20, BADGE) + centered_glyph("minus", WHITE, 50, 50, 28, 3.2))


@picture("CellRemove_HL")
def cellremove_hl():
    return svg(50, 50, circle(25, 25, 23, BADGE_TINT) + circle(25, 25, 19, BADGE_DARK)
               + centered_glyph("minus", WHITE, 50, 50, 24, 3.6))


# --- popup close buttons (32 x 32, on a coloured title bar) -----------------------------------

@picture("Close_N")
def close_n():
    return svg(32, 32, circle(16, 16, 14, WHITE, opacity=0.18) + centered_glyph("cross", WHITE, 32, 32, 20, 2.6))


@picture("Close_E")
def close_e():
    return svg(32, 32, circle(16, 16, 14, BADGE) + centered_glyph("cross", WHITE, 32, 32, 20, 2.6))


@picture("Close_HL")
def close_hl():
    return svg(32, 32, circle(16, 16, 15, WHITE) + circle(16, 16, 13, BADGE_DARK)
               + centered_glyph("cross", WHITE, 32, 32, 17, 2.8))


# --- text buttons (the caption is drawn by the button) ----------------------------------------

@picture("Button_N")
def button_n():
    return svg(120, 40, rect(1, 1, 118, 38, PAGE_TINT, rx=8, stroke=BAR, sw=2))


@picture("Button_HL")
def button_hl():
    return svg(120, 40, rect(1, 1, 118, 38, PAGE, rx=8, stroke=TITLE, sw=2)
               + rect(6, 5, 108, 3, WHITE, rx=1.5, opacity=0.35))


@picture("ListButton_N")
def listbutton_n():
    return svg(600, 50, rect(0, 0, 600, 50, WHITE) + rect(0, 49, 600, 1, LINE)
               + glyph("chevron", GREY_DARK, 566, 13, 24, 2.2))


@picture("ListButton_HL")
def listbutton_hl():
    return svg(600, 50, rect(0, 0, 600, 50, PAGE_PRESSED) + rect(0, 0, 5, 50, BAR) + rect(0, 49, 600, 1, PAGE)
               + glyph("chevron", BAR, 568, 13, 24, 2.6))


@picture("LoginBtn_N")
def loginbtn_n():
    return svg(200, 44, rect(1, 1, 198, 42, BADGE, rx=21) + rect(14, 6, 172, 4, WHITE, rx=2, opacity=0.3))


@picture("LoginBtn_HL")
def loginbtn_hl():
    return svg(200, 44, rect(1, 1, 198, 42, BADGE_DARK, rx=21) + rect(1, 1, 198, 42, "none", rx=21,
                                                                      stroke=TITLE, sw=2))


# --- power, signal, infrared (80 x 80) ---------------------------------------------------------

@picture("Power_OFF")
def power_off():
    return svg(80, 80, circle(40, 40, 35, GREY_TINT, stroke=GREY, sw=2)
               + centered_glyph("power", GREY_DARK, 80, 80, 40, 2.6))


@picture("Power_ON")
def power_on():
    return svg(80, 80, circle(40, 40, 38, BADGE, opacity=0.25) + circle(40, 40, 33, BADGE)
               + centered_glyph("power", WHITE, 80, 80, 40, 2.8))


@picture("Power_HL")
def power_hl():
    return svg(80, 80, circle(40, 40, 37, PAGE) + circle(40, 40, 32, TITLE)
               + centered_glyph("power", WHITE, 80, 80, 36, 3.0))


@picture("Signal_OFF")
def signal_off():
    return svg(80, 80, circle(40, 40, 35, GREY_TINT, stroke=GREY, sw=2)
               + centered_glyph("signal", GREY_DARK, 80, 80, 44, 2.2))


@picture("Signal_ON")
def signal_on():
    return svg(80, 80, circle(40, 40, 38, BADGE, opacity=0.25) + circle(40, 40, 33, BADGE)
               + centered_glyph("signal", WHITE, 80, 80, 44, 2.4))


def ir_picture(bg, ring, fg, waves, dashed=False):
    body = ""
    if dashed:
        body += circle(40, 40, 34, GREY_TINT, stroke=GREY_DARK, sw=2, dash="5,4")
    else:
        if ring:
            body += circle(40, 40, 37, ring)
        body += circle(40, 40, 33 if ring else 35, bg)
    body += glyph("remote", fg, 20, 22, 40, 2.4)
    body += glyph("irwaves", waves, 20, 16, 40, 2.4)
    return svg(80, 80, body)


PICTURES["IR_N"] = lambda: ir_picture(BAR, None, WHITE, WHITE)
PICTURES["IR_HL"] = lambda: ir_picture(TITLE, PAGE, WHITE, BADGE)
PICTURES["IR_UN"] = lambda: ir_picture(None, None, GREY_DARK, GREY, dashed=True)


# --- locks (30 x 30) and the veil over a locked output (80 x 80) ------------------------------

@picture("Lock")
def lock():
    return svg(30, 30, circle(15, 15, 14, BADGE) + centered_glyph("lock", WHITE, 30, 30, 20, 2.4))


@picture("Unlock")
def unlock():
    return svg(30, 30, circle(15, 15, 13.25, WHITE, stroke=GREY, sw=1.5)
               + centered_glyph("unlock", GREY_DARK, 30, 30, 20, 2.2))


@picture("LockBlind")
def lockblind():
    body = circle(40, 40, 38, WHITE, opacity=0.75)
    body += "".join(path(chord(40, 40, 36, off), stroke=GREY_DARK, sw=1.4, opacity=0.35)
                    for off in range(-30, 31, 8))
    body += circle(40, 40, 17, BADGE) + centered_glyph("lock", WHITE, 80, 80, 22, 2.4)
    return svg(80, 80, body)


def chord(cx, cy, r, off):
    """A 45-degree hatch line at distance `off` from the centre, cut to the circle of radius r."""
    half = math.sqrt(max(r * r - off * off, 0))
    nx = ny = off / math.sqrt(2)
    dx, dy = half / math.sqrt(2), -half / math.sqrt(2)
    return f"M{cx + nx - dx:.2f} {cy + ny - dy:.2f}L{cx + nx + dx:.2f} {cy + ny + dy:.2f}"


# --- task cell switches ------------------------------------------------------------------------

@picture("Alarm_ON")
def alarm_on():
    return svg(48, 48, circle(24, 24, 22, BAR) + centered_glyph("alarm", WHITE, 48, 48, 30, 2.2))


@picture("Alarm_OFF")
def alarm_off():
    return svg(48, 48, circle(24, 24, 21, GREY_TINT, stroke=GREY, sw=2)
               + centered_glyph("alarm", GREY_DARK, 48, 48, 30, 2.0))


@picture("Alarm_HL")
def alarm_hl():
    return svg(48, 48, circle(24, 24, 23, BADGE) + circle(24, 24, 20, TITLE)
               + centered_glyph("alarm", WHITE, 48, 48, 28, 2.4))


@picture("TaskWeek_N")
def taskweek_n():
    return svg(44, 26, rect(1, 1, 42, 24, BAR, rx=12))


@picture("TaskWeek_HL")
def taskweek_hl():
    return svg(44, 26, rect(1, 1, 42, 24, TITLE, rx=12) + rect(10, 21, 24, 3, BADGE, rx=1.5))


@picture("Transparent")
def transparent():
    return svg(44, 26, "")


# --- plates and cell backgrounds ---------------------------------------------------------------

@picture("PWMText_N")
def pwmtext_n():
    return svg(88, 30, rect(0, 0, 88, 30, TITLE, rx=7) + rect(1.5, 1.5, 85, 27, "none", rx=6, stroke=BAR, sw=1))


@picture("ControlCell_BG")
def controlcell_bg():
    return svg(330, 104, rect(3, 5, 324, 97, LINE, rx=12) + rect(2, 2, 326, 98, WHITE, rx=12, stroke=LINE, sw=1)
               + rect(2, 20, 4, 64, PAGE, rx=2))


def devicecell(selected):
    w, h = 760, 100
    if selected:
        body = rect(4, 6, 752, 92, PAGE, rx=14, opacity=0.35)
        body += rect(2, 2, 754, 94, PAGE_TINT, rx=14, stroke=BAR, sw=2)
        body += rect(2, 18, 6, 62, BADGE, rx=3)
    else:
        body = rect(4, 6, 752, 92, LINE, rx=14)
        body += rect(2, 2, 754, 94, WHITE, rx=14, stroke=LINE, sw=1)
    return svg(w, h, body)


PICTURES["DeviceCell_N"] = lambda: devicecell(False)
PICTURES["DeviceCell_S"] = lambda: devicecell(True)


@picture("MsgCell_BG")
def msgcell_bg():
    return svg(400, 80, rect(0, 0, 400, 80, WHITE) + rect(12, 79, 376, 1, LINE))


# --- connection state of a device item (40 x 40) ----------------------------------------------

def net_picture(g, online):
    if online:
        body = circle(20, 20, 18, PAGE_TINT) + centered_glyph(g, BAR, 40, 40, 26, 2.4)
        body += circle(31, 31, 5.5, WHITE) + circle(31, 31, 4, "#2DB35F")
    else:
        body = circle(20, 20, 18, GREY_TINT) + centered_glyph(g, GREY, 40, 40, 26, 2.4)
        body += path("M9 9L31 31", stroke=WHITE, sw=5) + path("M9 9L31 31", stroke=BADGE, sw=2.6)
    return svg(40, 40, body)


PICTURES["WifiOnLine"] = lambda: net_picture("wifi", True)
PICTURES["WifiOffLine"] = lambda: net_picture("wifi", False)
PICTURES["NetOnLine"] = lambda: net_picture("cloud", True)
PICTURES["NetOffLine"] = lambda: net_picture("cloud", False)


# --- side bar: tab rows, tab icons, login block ------------------------------------------------

@picture("MainSettingBG_N")
def mainsettingbg_n():
    return svg(230, 56, rect(0, 0, 230, 56, BAR) + rect(16, 55, 198, 1, WHITE, opacity=0.15))


@picture("MainSettingBG_S")
def mainsettingbg_s():
    return svg(230, 56, rect(0, 0, 230, 56, TITLE) + rect(0, 0, 6, 56, BADGE)
               + path("M230 18L220 28L230 38Z", fill=PAGE_PALE))


for _name, _g in (("Home", "home"), ("Setting", "user"), ("Message", "chat"), ("More", "grid")):
    PICTURES[f"{_name}_N"] = (lambda g: lambda: svg(32, 32, centered_glyph(g, WHITE, 32, 32, 26, 1.9)))(_g)
    PICTURES[f"{_name}_S"] = (lambda g: lambda: svg(32, 32, centered_glyph(g, BADGE, 32, 32, 28, 2.4)))(_g)


@picture("Log_BG")
def log_bg():
    body = rect(0, 0, 230, 130, TITLE)
    body += circle(205, 18, 46, PAGE, opacity=0.12) + circle(20, 128, 34, PAGE, opacity=0.10)
    body += rect(0, 129, 230, 1, WHITE, opacity=0.15)
    return svg(230, 130, body)


@picture("Log_OFF")
def log_off():
    return svg(64, 64, circle(32, 32, 30, WHITE, opacity=0.16) + circle(32, 32, 29, "none", stroke=WHITE, sw=2,
                                                                       opacity=0.5)
               + centered_glyph("user", WHITE, 64, 64, 38, 2.0) + circle(50, 50, 8, GREY_DARK, stroke=WHITE, sw=2)
               + glyph("minus", WHITE, 44, 44, 12, 3))


@picture("Log_ON")
def log_on():
    return svg(64, 64, circle(32, 32, 30, WHITE) + circle(32, 32, 29, "none", stroke=BADGE, sw=2.5)
               + centered_glyph("user", BAR, 64, 64, 38, 2.4) + circle(50, 50, 8.5, BADGE, stroke=WHITE, sw=2)
               + glyph("check", WHITE, 44, 44, 12, 3))


# --- backgrounds and fills ---------------------------------------------------------------------

@picture("Account_BG")
def account_bg():
    body = rect(4, 8, 392, 348, LINE, rx=16)
    body += rect(2, 2, 396, 350, WHITE, rx=16, stroke=LINE, sw=1)
    body += path("M2 18A16 16 0 0 1 18 2H382A16 16 0 0 1 398 18V96H2Z", fill=BAR)
    # decoration kept inside the header band: arcs that end on its lower edge
    body += path("M300 96A42 42 0 0 1 384 96Z", fill=PAGE, opacity=0.25)
    body += path("M24 96A26 26 0 0 1 76 96Z", fill=PAGE, opacity=0.2)
    body += glyph("cloud", WHITE, 160, 10, 80, 2.2)
    body += glyph("user", WHITE, 188, 44, 24, 2.6)
    return svg(400, 360, body)


@picture("Login_BG")
def login_bg():
    stripes = "".join(f"M{x} 120L{x + 120} 0" for x in range(-120, 121, 24))
    return svg(120, 120, rect(0, 0, 120, 120, PAGE) + path(stripes, stroke=WHITE, sw=6, opacity=0.08))


@picture("Pop_BG")
def pop_bg():
    dots = "".join(circle(x, y, 1.2, PAGE, opacity=0.22) for x in (10, 30, 50) for y in (10, 30, 50))
    return svg(60, 60, rect(0, 0, 60, 60, PAGE_PALE) + dots)


@picture("TaskList_BG")
def tasklist_bg():
    body = rect(0, 0, 520, 400, WHITE)
    body += circle(500, 390, 90, PAGE_TINT, opacity=0.7) + circle(430, 400, 40, PAGE_TINT, opacity=0.6)
    return svg(520, 400, body)


# --- decoration of the device list -------------------------------------------------------------

@picture("Main_Boy")
def main_boy():
    b = ""
    b += path("M12 196C22 178 138 178 148 196Z", fill=LINE)                       # shadow
    b += rect(58, 140, 17, 50, TITLE, rx=6) + rect(85, 140, 17, 50, TITLE, rx=6)  # legs
    b += rect(52, 184, 26, 10, INK, rx=5) + rect(82, 184, 26, 10, INK, rx=5)      # shoes
    b += path("M46 150V108A22 22 0 0 1 68 86H92A22 22 0 0 1 114 108V150Z", fill=BAR)  # shirt
    b += path("M70 86L80 100L90 86Z", fill=WHITE)                                 # collar
    b += path("M50 108C40 120 42 134 58 136", stroke=BAR_DARK, sw=12)            # arm
    b += path("M110 108C120 120 118 134 102 136", stroke=BAR_DARK, sw=12)        # arm
    b += rect(52, 112, 56, 38, WHITE, rx=5, stroke=TITLE, sw=3)                   # tablet
    b += rect(58, 118, 44, 26, PAGE)
    b += circle(58, 138, 6, SKIN) + circle(102, 138, 6, SKIN)                     # hands
    b += circle(80, 62, 27, SKIN)                                                 # head
    b += path("M53 60C51 36 66 28 82 29C98 30 110 40 107 60C101 48 90 44 80 47C70 44 60 50 53 60Z",
              fill=INK)                                                           # hair
    b += circle(52, 66, 5, SKIN) + circle(108, 66, 5, SKIN)                       # ears
    b += circle(70, 64, 3, INK) + circle(90, 64, 3, INK)                          # eyes
    b += path("M72 75Q80 82 88 75", stroke=INK, sw=2.5)                          # smile
    b += circle(64, 72, 3.5, BADGE, opacity=0.35) + circle(96, 72, 3.5, BADGE, opacity=0.35)
    b += glyph("wifi", BADGE, 116, 2, 36, 2.6)                                    # signal above
    return svg(160, 200, b)


# --- the twelve channel pictures (80 x 80) -----------------------------------------------------

def channel_tile(glyph_body, accent_body=""):
    body = rect(4, 4, 72, 72, BAR, rx=16)
    body += circle(40, 40, 27, PAGE, opacity=0.35)
    body += group(glyph_body, 16, 16, 2.0)
    body += group(accent_body, 16, 16, 2.0)
    return svg(80, 80, body)


def s(d, sw=1.6, color=WHITE):
    return path(d, stroke=color, sw=sw)


def f(d, color=WHITE, opacity=None):
    return path(d, fill=color, opacity=opacity)


CHANNELS = [
    # 0 lamp
    (s(GLYPHS["bulb"][0]),
     s("M12 0.8V1.9M4.5 4L5.4 4.9M19.5 4L18.6 4.9M2 11H3.2M20.8 11H22", color=BADGE, sw=1.5)),
    # 1 fan
    (s("M12 2.8A9.2 9.2 0 1 1 11.99 2.8Z", sw=1.4)
     + "".join(group(f("M12 12C10.6 9.2 10.6 6 12.6 5.2C14.4 4.5 15.6 6.2 14.8 8C14.2 9.5 13.3 10.8 12 12Z"),
                     rotate=(a, 12, 12)) for a in (0, 120, 240)),
     f("M12 10.3A1.7 1.7 0 1 0 12.01 10.3Z", color=BADGE)),
    # 2 socket
    (s("M7 3.5H17A3.5 3.5 0 0 1 20.5 7V17A3.5 3.5 0 0 1 17 20.5H7A3.5 3.5 0 0 1 3.5 17V7A3.5 3.5 0 0 1 7 3.5Z"
       "M12 6.5A5.5 5.5 0 1 1 11.99 6.5Z", sw=1.6)
     + f("M9.6 10.8A1.2 1.2 0 1 0 9.61 10.8ZM14.4 10.8A1.2 1.2 0 1 0 14.41 10.8Z"),
     f("M11.2 6.6H12.8V8.4H11.2ZM11.2 15.6H12.8V17.4H11.2Z", color=BADGE)),
    # 3 pump
    (s("M10 7.5A5.5 5.5 0 1 1 9.99 7.5ZM15.5 11.5H20.5M15.5 14.5H20.5M20.5 10V16M10 7.5V4.5M7.5 4.5H12.5"
       "M5 21H15M7.5 18.2L6.5 21M12.5 18.2L13.5 21", sw=1.6),
     f("M10 10.2C8.8 11.9 8.4 12.8 8.4 13.5A1.6 1.6 0 0 0 11.6 13.5C11.6 12.8 11.2 11.9 10 10.2Z", color=BADGE)),
    # 4 door
    (s("M6.5 21V3.5H17.5V21M3 21H21", sw=1.6) + f("M13.3 12.2A1.2 1.2 0 1 0 13.31 12.2Z"),
     s("M6.5 3.5L11 5V19.5L6.5 21", color=BADGE, sw=1.4)),
    # 5 heater
    (s("M4 8.5H20V18H4ZM7.5 8.5V18M10.5 8.5V18M13.5 8.5V18M16.5 8.5V18M5.5 18V20.5M18.5 18V20.5", sw=1.5),
     s("M8 2.5C7 3.6 9 4.4 8 5.5M12 2.5C11 3.6 13 4.4 12 5.5M16 2.5C15 3.6 17 4.4 16 5.5", color=BADGE,
       sw=1.4)),
    # 6 television
    (s("M3 5H21V17H3ZM8.5 21H15.5M12 17V21M8.5 1.8L12 5L15.5 1.8", sw=1.6),
     f("M6 8H10V10H6Z", color=BADGE)),
    # 7 air conditioner
    (s("M3 5H21V12.5H3ZM6 10H18", sw=1.6)
     + s("M7.5 15.5C8.5 17 6.5 18.5 7.5 20.5M12 15.5C13 17 11 18.5 12 20.5M16.5 15.5C17.5 17 15.5 18.5 "
         "16.5 20.5", sw=1.4), f("M17.5 6.8A0.9 0.9 0 1 0 17.51 6.8Z", color=BADGE)),
    # 8 curtain
    (s("M2.5 3.5H21.5", sw=1.8)
     + f("M4 3.5H10C9.4 9 9.6 15 11 20.5H4Z") + f("M20 3.5H14C14.6 9 14.4 15 13 20.5H20Z"),
     s("M4 12.5H9.8M20 12.5H14.2", color=BADGE, sw=1.2)),
    # 9 water valve
    (s("M3.5 8.5H13.5A3.5 3.5 0 0 1 17 12V13.8M8.5 8.5V5.5M5.5 5.5H11.5M3.5 6.5V10.5", sw=1.7),
     f("M17 16.2C15.7 17.9 15.3 18.8 15.3 19.5A1.7 1.7 0 0 0 18.7 19.5C18.7 18.8 18.3 17.9 17 16.2Z",
       color=BADGE)),
    # 10 alarm bell
    (s("M5.5 17H18.5L16.8 14.8V10.2A4.8 4.8 0 0 0 7.2 10.2V14.8ZM10 19.5A2 2 0 0 0 14 19.5M12 3.2V5.4",
       sw=1.6),
     s("M3 7.5A9 9 0 0 1 5.5 3.5M21 7.5A9 9 0 0 0 18.5 3.5", color=BADGE, sw=1.5)),
    # 11 switch
    (s("M7 7.5H17A4.5 4.5 0 0 1 17 16.5H7A4.5 4.5 0 0 1 7 7.5Z", sw=1.7),
     f("M16.5 9.3A2.7 2.7 0 1 0 16.51 9.3Z", color=BADGE)),
]

for _i, (_g, _a) in enumerate(CHANNELS):
    PICTURES[f"Device_img{_i}"] = (lambda g, a: lambda: channel_tile(g, a))(_g, _a)


# --- board pictures by model (80 x 80) ---------------------------------------------------------
# relays, inputs (terminal pairs), link ("wifi" / "eth"), extra ("ir", "pwm", "adc" or None)

BOARDS = [
    (0, 0, None, None),      # 0: model not yet known
    (1, 0, "wifi", None),
    (2, 0, "wifi", None),
    (4, 0, "wifi", None),
    (8, 0, "wifi", None),
    (1, 0, "eth", None),
    (2, 0, "eth", None),
    (4, 0, "eth", None),
    (8, 0, "eth", None),
    (16, 0, "eth", None),
    (4, 4, "wifi", None),
    (8, 8, "eth", None),
    (0, 0, "wifi", "ir"),
    (0, 0, "eth", "pwm"),
    (0, 4, "eth", "adc"),
    (2, 0, "wifi", "ir"),
    (16, 0, "wifi", None),
]


def relay(x, y, w, h):
    return rect(x, y, w, h, BAR, rx=1.5) + rect(x + w * 0.18, y + h * 0.2, w * 0.64, max(h * 0.12, 1), WHITE,
                                               opacity=0.6)


def board_picture(relays, inputs, link, extra):
    bx, by, bw, bh = 6, 14, 68, 56
    unknown = relays == 0 and inputs == 0 and extra is None
    body = rect(bx + 1, by + 3, bw, bh, LINE, rx=6)
    body += rect(bx, by, bw, bh, GREY if unknown else TITLE, rx=6)
    for hx, hy in ((bx + 5, by + 5), (bx + bw - 5, by + 5), (bx + 5, by + bh - 5), (bx + bw - 5, by + bh - 5)):
        body += circle(hx, hy, 2.2, PAGE_PALE)
    if unknown:
        body += glyph("question", WHITE, 22, 24, 36, 3.2)
        return svg(80, 80, body)
    # terminal block on the top edge: one screw per relay contact, at most eight shown
    terms = min(max(relays, 1) * 2 if relays else 4, 12)
    tw = 48 / terms
    body += rect(16, by - 6, 48, 8, BADGE, rx=1.5)
    for i in range(terms):
        body += circle(16 + tw * (i + 0.5), by - 2, min(tw * 0.3, 2.2), BADGE_DARK)
    # relays in a grid in the upper middle of the board
    if relays:
        cols = {1: 1, 2: 2, 4: 4, 8: 4, 16: 8}[relays]
        rows = relays // cols
        cw = 46 / cols
        ch = 22 / rows if rows > 1 else 16
        for r in range(rows):
            for c in range(cols):
                body += relay(17 + c * cw + 0.8, by + 7 + r * (ch + 1.5), cw - 1.6, ch - 1)
    # inputs: green terminal pairs on the left edge
    for i in range(inputs):
        body += rect(bx - 2, by + 9 + i * (40 / max(inputs, 1)), 6, 40 / max(inputs, 1) - 1.5, "#2DB35F",
                     rx=1)
    # chip and LEDs on the lower part
    body += rect(30, by + 35, 14, 14, INK, rx=1.5)
    body += "".join(rect(28.5, by + 37 + i * 3.2, 1.6, 1.6, GREY) + rect(43.9, by + 37 + i * 3.2, 1.6, 1.6, GREY)
                    for i in range(4))
    body += circle(50, by + 45, 1.8, "#2DB35F") + circle(55, by + 45, 1.8, BADGE)
    if link == "wifi":
        body += glyph("wifi", WHITE, 57, by + 31, 12, 2.6)
        body += path("M57.5 %s l2.5 -3 l2.5 3 l2.5 -3 l2.5 3" % (by + 47), stroke=BADGE, sw=1.5)
    else:
        body += rect(58, by + 37, 13, 12, GREY_TINT, rx=1) + rect(61, by + 40, 7, 6, INK, rx=0.5)
    if extra == "ir" and relays:
        # emitter and receiver under the relays, left of the chip
        body += circle(19, by + 42, 5, INK) + circle(19, by + 42, 3, "#6A4C93")
        body += path(f"M12 {by + 37}A7 7 0 0 0 12 {by + 47}", stroke=BADGE, sw=1.5)
    elif extra == "ir":
        body += circle(24, by + 18, 7, INK) + circle(24, by + 18, 4.5, "#6A4C93")
        body += path(f"M14 {by + 11}A11 11 0 0 0 14 {by + 25}", stroke=BADGE, sw=1.5)
        body += circle(40, by + 18, 5, INK) + circle(40, by + 18, 3, "#6A4C93")
    elif extra == "pwm":
        for i in range(4):
            body += rect(16 + i * 12, by + 8, 9, 11, INK, rx=1) + rect(16 + i * 12, by + 8, 9, 3, GREY)
            body += circle(20.5 + i * 12, by + 26, 2.5, WHITE)
    elif extra == "adc":
        body += circle(48, by + 18, 10, WHITE) + path(f"M48 {by + 18}L54 {by + 12}", stroke=BADGE, sw=2)
        body += path(f"M40 {by + 22}A9 9 0 0 1 56 {by + 22}", stroke=BAR, sw=1.5)
    return svg(80, 80, body)


for _i, _b in enumerate(BOARDS):
    PICTURES[f"Device_Type{_i}"] = (lambda b: lambda: board_picture(*b))(_b)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    for name, make in sorted(PICTURES.items()):
        with open(os.path.join(out, name + ".svg"), "w", encoding="utf-8", newline="\n") as fh:
            fh.write(make())
    print(f"{len(PICTURES)} pictures written to {out}")


if __name__ == "__main__":
    main()
