#!/usr/bin/env python3
"""Writes the program's skin art as SVG files and the image manifest.

The SVG files under resources/skin/svg are the editable source of every skin
image; the program renders them with Qt Svg at the exact pixel size the
manifest gives.  This script is how they were drawn: change a colour or a
shape here and run it again (python3 tools/skinart/skinart.py), or edit an SVG
file by hand.

Conventions (see resources/skin/manifest.txt):
  - every SVG's viewBox is its pixel size, so one SVG unit is one pixel;
  - pixels that the colour key makes transparent are simply left unpainted;
  - button strips are four cells side by side: normal, hover, pressed or
    checked, disabled;
  - letters and digits are drawn as strokes (no fonts), only in images whose
    role is a label, a badge or a digit.
"""
import math
import os
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OUT = os.path.join(ROOT, "resources", "skin", "svg")

# One dark look: blue-grey surfaces, a cyan accent, an amber second accent.
BG0 = "#12151b"      # deepest background
BG1 = "#1b2029"      # panels
BG2 = "#262d39"      # raised faces
BG3 = "#343d4d"      # hover faces
EDGE = "#4a5568"     # outlines
TEXT = "#e6eaf0"     # glyphs
DIM = "#6b7383"      # disabled glyphs
DIMFACE = "#1f232b"  # disabled faces
ACC = "#35b6f0"      # accent (cyan)
ACC_D = "#1d7fae"    # accent, pressed
AMB = "#f2a93b"      # second accent (amber)
RED = "#e5484d"
GREEN = "#46c46e"
GHOST = "#4b5466"    # placeholder digits

# ---------------------------------------------------------------- stroke font
# Glyphs on a 4 x 6 grid (x right, y down), as lists of polylines.
FONT = {
    "0": [[(0, 0), (4, 0), (4, 6), (0, 6), (0, 0)], [(4, 0), (0, 6)]],
    "1": [[(1, 1), (2, 0), (2, 6)], [(1, 6), (3, 6)]],
    "2": [[(0, 0), (4, 0), (4, 3), (0, 3), (0, 6), (4, 6)]],
    "3": [[(0, 0), (4, 0), (4, 6), (0, 6)], [(1, 3), (4, 3)]],
    "4": [[(0, 0), (0, 3), (4, 3)], [(4, 0), (4, 6)]],
    "5": [[(4, 0), (0, 0), (0, 3), (4, 3), (4, 6), (0, 6)]],
    "6": [[(4, 0), (0, 0), (0, 6), (4, 6), (4, 3), (0, 3)]],
    "7": [[(0, 0), (4, 0), (2, 6)]],
    "8": [[(0, 0), (4, 0), (4, 6), (0, 6), (0, 0)], [(0, 3), (4, 3)]],
    "9": [[(4, 3), (0, 3), (0, 0), (4, 0), (4, 6), (0, 6)]],
    "A": [[(0, 6), (0, 2), (2, 0), (4, 2), (4, 6)], [(0, 3.5), (4, 3.5)]],
    "B": [[(0, 0), (3, 0), (4, 1), (4, 2), (3, 3), (0, 3)], [(3, 3), (4, 4), (4, 5), (3, 6), (0, 6), (0, 0)]],
    "C": [[(4, 0), (0, 0), (0, 6), (4, 6)]],
    "D": [[(0, 0), (3, 0), (4, 1.5), (4, 4.5), (3, 6), (0, 6), (0, 0)]],
    "E": [[(4, 0), (0, 0), (0, 6), (4, 6)], [(0, 3), (3, 3)]],
    "F": [[(4, 0), (0, 0), (0, 6)], [(0, 3), (3, 3)]],
    "G": [[(4, 0), (0, 0), (0, 6), (4, 6), (4, 3), (2, 3)]],
    "H": [[(0, 0), (0, 6)], [(4, 0), (4, 6)], [(0, 3), (4, 3)]],
    "K": [[(0, 0), (0, 6)], [(4, 0), (0, 3.5)], [(1.4, 2.6), (4, 6)]],
    "L": [[(0, 0), (0, 6), (4, 6)]],
    "M": [[(0, 6), (0, 0), (2, 3), (4, 0), (4, 6)]],
    "N": [[(0, 6), (0, 0), (4, 6), (4, 0)]],
    "O": [[(0, 0), (4, 0), (4, 6), (0, 6), (0, 0)]],
    "P": [[(0, 6), (0, 0), (4, 0), (4, 3), (0, 3)]],
    "Q": [[(0, 0), (4, 0), (4, 6), (0, 6), (0, 0)], [(2.5, 4.5), (4.5, 6.5)]],
    "R": [[(0, 6), (0, 0), (4, 0), (4, 3), (0, 3)], [(1.5, 3), (4, 6)]],
    "S": [[(4, 0), (0, 0), (0, 3), (4, 3), (4, 6), (0, 6)]],
    "T": [[(0, 0), (4, 0)], [(2, 0), (2, 6)]],
    "U": [[(0, 0), (0, 6), (4, 6), (4, 0)]],
    "V": [[(0, 0), (2, 6), (4, 0)]],
    "W": [[(0, 0), (1, 6), (2, 3), (3, 6), (4, 0)]],
    "X": [[(0, 0), (4, 6)], [(4, 0), (0, 6)]],
    "k": [[(0, 0), (0, 6)], [(3.5, 2.5), (0, 4.5)], [(1.2, 3.8), (3.5, 6)]],
    "m": [[(0, 6), (0, 2.5), (4, 2.5), (4, 6)], [(2, 2.5), (2, 6)]],
    "h": [[(0, 0), (0, 6)], [(0, 2.5), (4, 2.5), (4, 6)]],
    "p": [[(0, 7.5), (0, 2.5), (4, 2.5), (4, 5.5), (0, 5.5)]],
    "/": [[(0, 6), (4, 0)]],
    "-": [[(0.5, 3), (3.5, 3)]],
    ".": [[(2, 5.6), (2, 6)]],
    ":": [[(2, 1.6), (2, 2)], [(2, 4.6), (2, 5)]],
    "+": [[(0.5, 3), (3.5, 3)], [(2, 1.5), (2, 4.5)]],
    " ": [],
}


def text_paths(s, x, y, h, colour, width=None, spacing=0.45, anchor="start"):
    """Stroke text of cap height h with its top-left at (x, y)."""
    u = h / 6.0
    adv = 4 * u + spacing * 4 * u
    total = len(s) * adv - spacing * 4 * u
    if anchor == "middle":
        x -= total / 2.0
    elif anchor == "end":
        x -= total
    sw = width if width is not None else max(1.0, h / 6.0)
    out = []
    for i, ch in enumerate(s):
        ox = x + i * adv
        for line in FONT[ch]:
            pts = " ".join("%.2f,%.2f" % (ox + px * u, y + py * u) for px, py in line)
            out.append('<polyline points="%s"/>' % pts)
    return ('<g fill="none" stroke="%s" stroke-width="%.2f" stroke-linecap="round" '
            'stroke-linejoin="round">%s</g>' % (colour, sw, "".join(out)))


def svg(w, h, body, defs=""):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">\n'
            '%s%s\n</svg>\n' % (w, h, w, h, ("<defs>%s</defs>\n" % defs) if defs else "", body))


def rect(x, y, w, h, fill, rx=0, stroke=None, sw=1, extra=""):
    s = '<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" rx="%.2f" fill="%s"' % (x, y, w, h, rx, fill)
    if stroke:
        s += ' stroke="%s" stroke-width="%.2f"' % (stroke, sw)
    return s + extra + "/>"


def grad(gid, top, bottom, vertical=True):
    x2, y2 = ("0", "1") if vertical else ("1", "0")
    return ('<linearGradient id="%s" x1="0" y1="0" x2="%s" y2="%s">'
            '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/></linearGradient>'
            % (gid, x2, y2, top, bottom))


# ---------------------------------------------------------------- button glyphs
# Each glyph is drawn into a unit box (0..1) and scaled to the cell.
def g_tri(x, y, w, h):  # triangle pointing right
    return "M%.3f %.3f L%.3f %.3f L%.3f %.3f Z" % (x, y, x + w, y + h / 2, x, y + h)


def g_tri_l(x, y, w, h):
    return "M%.3f %.3f L%.3f %.3f L%.3f %.3f Z" % (x + w, y, x, y + h / 2, x + w, y + h)


def g_bar(x, y, w, h):
    return "M%.3f %.3f h%.3f v%.3f h%.3f Z" % (x, y, w, h, -w)


GLYPHS = {
    # first: bar + two left triangles
    "first": lambda: fillp(g_bar(0.22, 0.28, 0.07, 0.44) + g_tri_l(0.30, 0.28, 0.22, 0.44) + g_tri_l(0.52, 0.28, 0.22, 0.44)),
    "prev": lambda: fillp(g_bar(0.28, 0.28, 0.07, 0.44) + g_tri_l(0.37, 0.28, 0.34, 0.44)),
    "play": lambda: fillp(g_tri(0.36, 0.25, 0.36, 0.50)),
    "pause": lambda: fillp(g_bar(0.33, 0.28, 0.11, 0.44) + g_bar(0.56, 0.28, 0.11, 0.44)),
    "slow": lambda: fillp(g_tri(0.42, 0.30, 0.30, 0.40)) + dots([(0.26, 0.5), (0.34, 0.5)], 0.035),
    "fast": lambda: fillp(g_tri(0.24, 0.28, 0.26, 0.44) + g_tri(0.50, 0.28, 0.26, 0.44)),
    "next": lambda: fillp(g_tri(0.29, 0.28, 0.34, 0.44) + g_bar(0.65, 0.28, 0.07, 0.44)),
    "still": lambda: strokep("M0.22 0.36 h0.14 l0.05 -0.08 h0.18 l0.05 0.08 h0.14 v0.36 h-0.56 Z")
    + circ(0.5, 0.54, 0.11, stroke=True),
    "join": lambda: strokep("M0.20 0.34 h0.22 v0.32 h-0.22 Z M0.58 0.34 h0.22 v0.32 h-0.22 Z")
    + strokep("M0.42 0.50 h0.16"),
    "zoom": lambda: circ(0.45, 0.45, 0.17, stroke=True) + strokep("M0.57 0.57 L0.76 0.76", w=0.09),
    "mirror": lambda: fillp(g_tri_l(0.20, 0.30, 0.22, 0.40) + g_tri(0.58, 0.30, 0.22, 0.40))
    + strokep("M0.5 0.22 v0.56", w=0.035, dash=True),
    "map": lambda: strokep("M0.5 0.78 C0.5 0.78 0.28 0.52 0.28 0.40 A0.22 0.22 0 0 1 0.72 0.40 "
                           "C0.72 0.52 0.5 0.78 0.5 0.78 Z") + circ(0.5, 0.40, 0.07),
    "browse": lambda: strokep("M0.20 0.30 h0.20 l0.06 0.07 h0.34 v0.35 h-0.60 Z"),
    "delete": lambda: strokep("M0.30 0.34 h0.40 l-0.04 0.44 h-0.32 Z M0.24 0.30 h0.52 M0.42 0.30 v-0.07 h0.16 v0.07")
    + strokep("M0.43 0.44 v0.24 M0.57 0.44 v0.24", w=0.04),
    "settings": lambda: gear(),
    "csv": lambda: strokep("M0.22 0.26 h0.56 v0.48 h-0.56 Z M0.22 0.42 h0.56 M0.22 0.58 h0.56 M0.40 0.26 v0.48 M0.60 0.26 v0.48", w=0.045),
    "swap": lambda: strokep("M0.18 0.30 h0.36 v0.26 h-0.36 Z", w=0.05)
    + strokep("M0.46 0.48 h0.36 v0.26 h-0.36 Z", w=0.05),
}

_cur = {}


def fillp(d):
    return '<path d="%s" fill="%s"/>' % (d, _cur["fg"])


def strokep(d, w=0.06, dash=False):
    extra = ' stroke-dasharray="0.06 0.05"' if dash else ""
    return ('<path d="%s" fill="none" stroke="%s" stroke-width="%.3f" stroke-linejoin="round" '
            'stroke-linecap="round"%s/>' % (d, _cur["fg"], w, extra))


def circ(cx, cy, r, stroke=False):
    if stroke:
        return ('<circle cx="%.3f" cy="%.3f" r="%.3f" fill="none" stroke="%s" stroke-width="0.06"/>'
                % (cx, cy, r, _cur["fg"]))
    return '<circle cx="%.3f" cy="%.3f" r="%.3f" fill="%s"/>' % (cx, cy, r, _cur["fg"])


def dots(pts, r):
    return "".join(circ(x, y, r) for x, y in pts)


def gear():
    pts = []
    for i in range(16):
        a = math.pi * 2 * i / 16
        r = 0.27 if i % 2 == 0 else 0.20
        pts.append((0.5 + r * math.cos(a), 0.5 + r * math.sin(a)))
    d = "M" + " L".join("%.3f %.3f" % p for p in pts) + " Z"
    return strokep(d, w=0.05) + circ(0.5, 0.5, 0.08, stroke=True)


def button_cell(x0, w, h, glyph, state, shape="round"):
    """One cell of a four-state button strip."""
    faces = {
        0: (BG2, "#1e242e", EDGE, TEXT),
        1: (BG3, "#283040", ACC, "#ffffff"),
        2: (ACC_D, "#135a7c", ACC, "#ffffff"),
        3: (DIMFACE, DIMFACE, "#2c313b", DIM),
    }
    top, bottom, edge, fg = faces[state]
    gid = "g%d_%d" % (x0, state)
    out = [grad(gid, top, bottom)]
    r = min(w, h) * (0.22 if shape == "round" else 0.12)
    inset = 1.0 if state != 2 else 1.0
    out.append(rect(x0 + inset, inset, w - 2 * inset, h - 2 * inset, "url(#%s)" % gid, rx=r, stroke=edge, sw=1))
    if state == 1:
        out.append(rect(x0 + 2.5, 2.5, w - 5, h - 5, "none", rx=max(r - 1.5, 0), stroke="#ffffff",
                        sw=0.5, extra=' stroke-opacity="0.25"'))
    _cur["fg"] = fg
    s = min(w, h)
    ox = x0 + (w - s) / 2.0 + (0.6 if state == 2 else 0)
    oy = (h - s) / 2.0 + (0.6 if state == 2 else 0)
    out.append('<g transform="translate(%.2f %.2f) scale(%.3f)">%s</g>' % (ox, oy, s, glyph()))
    return "".join(out)


def strip(w, h, glyph, shape="round"):
    body = "".join(button_cell(i * w, w, h, glyph, i, shape) for i in range(4))
    return svg(4 * w, h, body)


def frame_strip(w, h, kind):
    cells = []
    for st in range(4):
        x0 = st * w
        face = {0: None, 1: BG3 if kind != "close" else "#b3262b", 2: ACC_D if kind != "close" else "#7d171b",
                3: None}[st]
        fg = {0: TEXT, 1: "#ffffff", 2: "#ffffff", 3: DIM}[st]
        c = []
        if face:
            c.append(rect(x0, 0, w, h, face, rx=2))
        cx, cy = x0 + w / 2.0, h / 2.0
        if kind == "close":
            c.append('<path d="M%.1f %.1f L%.1f %.1f M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="1.4" '
                     'stroke-linecap="round"/>' % (cx - 4, cy - 4, cx + 4, cy + 4, cx + 4, cy - 4, cx - 4, cy + 4, fg))
        elif kind == "max":
            c.append(rect(cx - 5, cy - 4, 10, 8, "none", stroke=fg, sw=1.3))
        else:
            c.append('<path d="M%.1f %.1f h10" stroke="%s" stroke-width="1.4"/>' % (cx - 5, cy + 3, fg))
        cells.append("".join(c))
    return svg(4 * w, h, "".join(cells))


def small_close_strip(w, h):
    cells = []
    for st in range(4):
        x0 = st * w
        face = {0: "#3a4252", 1: "#b3262b", 2: "#7d171b", 3: DIMFACE}[st]
        fg = {0: TEXT, 1: "#ffffff", 2: "#ffffff", 3: DIM}[st]
        c = rect(x0 + 0.5, 0.5, w - 1, h - 1, face, rx=2)
        cx, cy = x0 + w / 2.0, h / 2.0
        c += ('<path d="M%.1f %.1f L%.1f %.1f M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="1.3" '
              'stroke-linecap="round"/>' % (cx - 2.8, cy - 2.8, cx + 2.8, cy + 2.8, cx + 2.8, cy - 2.8,
                                            cx - 2.8, cy + 2.8, fg))
        cells.append(c)
    return svg(4 * w, h, "".join(cells))


def check_strip(w, h, radio=False):
    # cells: 0 unchecked, 1 unchecked under the cursor, 2 checked, 3 disabled
    cells = []
    for st in range(4):
        x0 = st * w
        # disabled: a flat grey box without the bright outline, so that it
        # reads as greyed out on light and dark backgrounds alike
        edge = {0: "#8a93a3", 1: ACC, 2: ACC, 3: "#5a616d"}[st]
        face = {0: BG1, 1: BG3, 2: ACC_D, 3: "#454c58"}[st]
        if radio:
            c = '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="%s" stroke="%s" stroke-width="1"/>' % (
                x0 + w / 2.0, h / 2.0, w / 2.0 - 0.8, face if st != 2 else BG1, edge)
            if st == 2:
                c += '<circle cx="%.2f" cy="%.2f" r="%.2f" fill="%s"/>' % (x0 + w / 2.0, h / 2.0, w / 4.5, ACC)
        else:
            c = rect(x0 + 0.5, 0.5, w - 1, h - 1, face, rx=2, stroke=edge, sw=1)
            if st == 2:
                c += ('<path d="M%.2f %.2f L%.2f %.2f L%.2f %.2f" fill="none" stroke="#ffffff" stroke-width="1.6" '
                      'stroke-linecap="round" stroke-linejoin="round"/>'
                      % (x0 + 2.6, h * 0.52, x0 + w * 0.42, h - 3.0, x0 + w - 2.4, 2.8))
        cells.append(c)
    return svg(4 * w, h, "".join(cells))


# ---------------------------------------------------------------- sliders
def slider_bar(w, h, played):
    thick = max(4, h // 2 - 1) if h <= 12 else 6
    y = (h - thick) / 2.0
    if played:
        d = grad("p", "#5cc8f7", "#1f86b8")
        return svg(w, h, rect(0, y, w, thick, "url(#p)", rx=thick / 2.0), d)
    d = grad("r", "#3b4352", "#2a303b")
    return svg(w, h, rect(0, y, w, thick, "url(#r)", rx=thick / 2.0), d)


def slider_thumb(w, h, dragging):
    # drawn as a plain copy: fill every pixel (slider background colour first)
    body = rect(0, 0, w, h, BG0)
    face = "#ffffff" if dragging else "#c9d3df"
    ring = ACC if dragging else "#7f8a9a"
    body += rect(0.5, 0.5, w - 1, h - 1, face, rx=min(w, h) / 2.5, stroke=ring, sw=1)
    body += '<path d="M%.1f %.1f v%.1f" stroke="%s" stroke-width="1"/>' % (w / 2.0, h * 0.25, h * 0.5, ring)
    return svg(w, h, body)


# ---------------------------------------------------------------- panels
def seg_digits(s, x, y, h, colour, width=None):
    return text_paths(s, x, y, h, colour, width=width)


def badge(w, h, label, marked, colour):
    body = rect(1, 1, w - 2, h - 2, "#0f1318", rx=5, stroke=colour, sw=2)
    th = 12 if len(label) <= 3 else 10
    body += text_paths(label, w / 2.0 - (3 if marked else 0), (h - th) / 2.0, th, colour, width=1.8, anchor="middle")
    if marked:
        # the head-letter variant: a filled corner mark
        body += '<path d="M%.1f 3 L%.1f 3 L%.1f 12 Z" fill="%s"/>' % (w - 12, w - 3, w - 3, colour)
    return svg(w, h, body)


def placeholder(w, h, template, colour=GHOST):
    # ghost digits in the places the value will take
    hh = h - 6
    body = text_paths(template, w - 3, 3, hh, colour, width=max(1.0, hh / 7.0), anchor="end")
    return svg(w, h, body)


def gauge_face(w, h, marks, majors, accent):
    # the window turns the needle about (w / 2, 108): the dial is centred there
    cx, cy = w / 2.0, 108.0
    body = ['<circle cx="%.1f" cy="%.1f" r="99" fill="%s" stroke="%s" stroke-width="3"/>' % (cx, cy, BG1, EDGE)]
    body.append('<circle cx="%.1f" cy="%.1f" r="94" fill="none" stroke="%s" stroke-width="1" stroke-opacity="0.6"/>'
                % (cx, cy, accent))

    def pt(angle, rad):
        a = math.radians(angle)
        return cx + rad * math.sin(a), cy - rad * math.cos(a)

    for ang, major in marks:
        x1, y1 = pt(ang, 92)
        x2, y2 = pt(ang, 80 if major else 86)
        body.append('<path d="M%.2f %.2f L%.2f %.2f" stroke="%s" stroke-width="%.1f"/>' % (
            x1, y1, x2, y2, TEXT if major else "#8a93a3", 2 if major else 1))
    for ang, label in majors:
        x, y = pt(ang, 66)
        body.append(text_paths(label, x, y - 4, 8, "#c9d3df", width=1.1, anchor="middle"))
    # red zone at the end of the scale
    a0, a1 = marks[-1][0] - 25, marks[-1][0]
    x1, y1 = pt(a0, 94)
    x2, y2 = pt(a1, 94)
    body.append('<path d="M%.2f %.2f A94 94 0 0 1 %.2f %.2f" fill="none" stroke="%s" stroke-width="3"/>' % (
        x1, y1, x2, y2, RED))
    return svg(w, h, "".join(body))


def gauge_angles(rows, last):
    """Linear angle (degrees, clockwise from top) for a value from the table rows."""
    pts = sorted(rows.items())

    def unwrap(a):
        return a - 360 if a > 180 else a

    def at(v):
        for (v0, a0), (v1, a1) in zip(pts, pts[1:]):
            if v0 <= v <= v1:
                a0u, a1u = unwrap(a0), unwrap(a1)
                return a0u + (a1u - a0u) * (v - v0) / float(v1 - v0)
        return unwrap(pts[-1][1])
    return at


def needle(w, h, mask=False):
    # upright needle, pivot 88 px below the top (the window turns it about that point)
    fg = "#ffffff" if mask else "#ff5a3c"
    body = ""
    if mask:
        body += rect(0, 0, w, h, "#000000")
    body += '<path d="M%.1f 2 L%.1f 88 L%.1f 88 Z" fill="%s"/>' % (w / 2.0, w / 2.0 + 3.5, w / 2.0 - 3.5, fg)
    body += '<path d="M%.1f 88 L%.1f 104 L%.1f 104 Z" fill="%s"/>' % (w / 2.0 - 3.5, w / 2.0 - 2, w / 2.0 + 2,
                                                                       fg if mask else "#9aa3b0")
    body += '<circle cx="%.1f" cy="88" r="9" fill="%s"/>' % (w / 2.0, fg if mask else "#2b323e")
    if not mask:
        body += '<circle cx="%.1f" cy="88" r="9" fill="none" stroke="#c9d3df" stroke-width="1.5"/>' % (w / 2.0)
        body += '<circle cx="%.1f" cy="88" r="3" fill="#c9d3df"/>' % (w / 2.0)
    return svg(w, h, body)


def logo(w, h, offline):
    d = grad("lg", "#2a6f93", "#0d2230") + grad("ring", "#7fd6ff", "#1d7fae")
    cx, cy = w / 2.0, 160.0
    body = [rect(0, 0, w, h, "#000000")]
    # lens-like emblem: rings and an aperture
    body.append('<circle cx="%.1f" cy="%.1f" r="92" fill="url(#lg)" stroke="url(#ring)" stroke-width="8"/>' % (cx, cy))
    body.append('<circle cx="%.1f" cy="%.1f" r="62" fill="#0a141b" stroke="%s" stroke-width="3"/>' % (cx, cy, ACC))
    for i in range(6):
        a = math.radians(i * 60 + 15)
        x1, y1 = cx + 62 * math.cos(a), cy + 62 * math.sin(a)
        x2, y2 = cx + 24 * math.cos(a + 1.1), cy + 24 * math.sin(a + 1.1)
        body.append('<path d="M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="3" stroke-opacity="0.8"/>' % (
            x1, y1, x2, y2, ACC))
    body.append('<circle cx="%.1f" cy="%.1f" r="22" fill="#050a0e" stroke="#7fd6ff" stroke-width="2"/>' % (cx, cy))
    body.append('<circle cx="%.1f" cy="%.1f" r="7" fill="#ffffff" fill-opacity="0.85"/>' % (cx - 8, cy - 8))
    # the Q's tail
    body.append('<path d="M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="12" stroke-linecap="round"/>' % (
        cx + 58, cy + 58, cx + 100, cy + 100, AMB))
    body.append(text_paths("QUORVEX", cx, 290, 36, TEXT, width=5, anchor="middle"))
    if offline:
        # a crossed-out signal: the map needs a connection
        gx, gy = cx, 358
        body.append('<path d="M%.1f %.1f a22 22 0 0 1 44 0 M%.1f %.1f a12 12 0 0 1 24 0" fill="none" '
                    'stroke="%s" stroke-width="4" stroke-linecap="round"/>' % (gx - 22, gy, gx - 12, gy, DIM))
        body.append('<circle cx="%.1f" cy="%.1f" r="3.5" fill="%s"/>' % (gx, gy, DIM))
        body.append('<path d="M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="4" stroke-linecap="round"/>' % (
            gx - 26, gy + 8, gx + 26, gy - 28, RED))
    else:
        body.append(rect(cx - 60, 350, 120, 3, ACC, rx=1.5))
    return svg(w, h, "".join(body), d)


def cover(w, h):
    d = grad("cv", "#18202b", "#0c1016")
    body = [rect(0, 0, w, h, "url(#cv)")]
    step = 24
    for y in range(0, h, step):
        body.append('<path d="M0 %d H%d" stroke="#ffffff" stroke-opacity="0.035"/>' % (y, w))
    for x in range(0, w, step):
        body.append('<path d="M%d 0 V%d" stroke="#ffffff" stroke-opacity="0.035"/>' % (x, h))
    # a magnifier watermark above the centre (the window writes its hint in the middle)
    cx, cy = w / 2.0, h * 0.26
    r = min(w, h) * 0.14
    body.append('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="none" stroke="%s" stroke-width="%.1f" '
                'stroke-opacity="0.55"/>' % (cx, cy, r, ACC, r / 5))
    body.append('<path d="M%.1f %.1f L%.1f %.1f" stroke="%s" stroke-width="%.1f" stroke-linecap="round" '
                'stroke-opacity="0.55"/>' % (cx + r * 0.7, cy + r * 0.7, cx + r * 1.5, cy + r * 1.5, ACC, r / 3.5))
    body.append(rect(1, 1, w - 2, h - 2, "none", stroke=EDGE, sw=2))
    return svg(w, h, "".join(body), d)


def main_background(w, h):
    d = grad("bg", "#1c222c", "#10141a") + grad("cap", "#232a36", "#161b23")
    body = [rect(0, 0, w, h, "url(#bg)"), rect(0, 0, w, 27, "url(#cap)")]
    body.append('<path d="M0 27.5 H%d" stroke="%s" stroke-width="1"/>' % (w, EDGE))
    body.append('<path d="M0 %.1f H%d" stroke="%s" stroke-width="1"/>' % (h - 44.5, w, "#2b3340"))
    body.append(rect(0, h - 44, w, 44, "#151a21"))
    body.append(rect(0.5, 0.5, w - 1, h - 1, "none", stroke="#3a4454", sw=1))
    # a thin accent line under the caption
    body.append(rect(0, 27, 160, 1, ACC))
    return svg(w, h, "".join(body), d)


def graph_tile(w, h):
    body = [rect(0, 0, w, h, "#0e1217")]
    for i in range(1, 8):
        y = h * i / 8.0
        op = 0.22 if i == 4 else 0.09
        body.append('<path d="M0 %.1f H%d" stroke="#9fb3c8" stroke-opacity="%.2f"/>' % (y, w, op))
    for x in range(0, w, 40):
        body.append('<path d="M%d 0 V%d" stroke="#9fb3c8" stroke-opacity="0.06"/>' % (x, h))
    return svg(w, h, "".join(body))


def steering_glyph(w, h):
    cx, cy = w / 2.0, h / 2.0
    r = min(w, h) / 2.0 - 1.2
    body = ('<circle cx="%.1f" cy="%.1f" r="%.1f" fill="none" stroke="#ffffff" stroke-width="1.8"/>'
            '<path d="M%.1f %.1f H%.1f M%.1f %.1f V%.1f" stroke="#ffffff" stroke-width="1.6"/>'
            '<circle cx="%.1f" cy="%.1f" r="1.8" fill="#ffffff"/>'
            % (cx, cy, r, cx - r, cy, cx + r, cx, cy, cy + r, cx, cy))
    return svg(w, h, body)


def map_pin(w, h, label, colour):
    body = ('<path d="M16 31 C16 31 4 19 4 12 A12 12 0 0 1 28 12 C28 19 16 31 16 31 Z" fill="%s" '
            'stroke="#0b0e12" stroke-width="1.5"/>' % colour)
    body += '<circle cx="16" cy="12" r="8.5" fill="#0f1318"/>'
    size = 8 if len(label) == 1 else 6
    body += text_paths(label, 16, 12 - size / 2.0, size, "#ffffff", width=1.5, anchor="middle")
    return svg(w, h, body)


def map_shadow(w, h):
    d = ('<radialGradient id="sh" cx="0.5" cy="0.5" r="0.5"><stop offset="0" stop-color="#000000" '
         'stop-opacity="0.45"/><stop offset="1" stop-color="#000000" stop-opacity="0"/></radialGradient>')
    body = '<ellipse cx="24" cy="28" rx="20" ry="4" fill="url(#sh)" transform="skewX(-35) translate(20 0)"/>'
    return svg(w, h, body, d)


def app_icon(w, h):
    s = w / 48.0
    body = ('<g transform="scale(%.4f)">' % s
            + rect(2, 2, 44, 44, "#14202a", rx=10, stroke=ACC, sw=2)
            + '<circle cx="24" cy="22" r="12" fill="none" stroke="#7fd6ff" stroke-width="4"/>'
            + '<path d="M31 29 L39 37" stroke="%s" stroke-width="5" stroke-linecap="round"/>' % AMB
            + '<circle cx="24" cy="22" r="4" fill="#ffffff"/></g>')
    return svg(w, h, body)


def hand_cursor(w, h):
    body = ('<path d="M11 30 L7 20 C6 17 9 16 10.5 18 L12 21 V7 C12 5 15 5 15 7 V15 V5.5 C15 3.5 18 3.5 18 5.5 '
            'V15 V6.5 C18 4.5 21 4.5 21 6.5 V16 V9 C21 7 24 7 24 9 V21 C24 26 22 28 21 30 Z" fill="#ffffff" '
            'stroke="#000000" stroke-width="1.4" stroke-linejoin="round"/>')
    return svg(w, h, body)


def plate(w, h, colour=BG2, edge=EDGE):
    return svg(w, h, rect(0.5, 0.5, w - 1, h - 1, colour, rx=min(4, h / 3.0), stroke=edge, sw=1))


def nine_patch_frame(w, h):
    # the centre holds the frame's transparent colour 0x010101
    body = rect(0, 0, w, h, "#010101") + rect(1, 1, w - 2, h - 2, "none", rx=4, stroke=ACC, sw=2)
    body += rect(3.5, 3.5, w - 7, h - 7, "none", rx=2, stroke=EDGE, sw=1)
    return svg(w, h, body)


def state_image(w, h, label, colour, dot):
    body = rect(1, 1, w - 2, h - 2, "#0f1318", rx=6, stroke=colour, sw=1.5)
    if dot:
        body += '<circle cx="14" cy="%.1f" r="6" fill="%s"/>' % (h / 2.0, colour)
    body += text_paths(label, (w + (20 if dot else 0)) / 2.0, (h - 12) / 2.0, 12, colour, width=2, anchor="middle")
    return svg(w, h, body)


def fix_image(w, h):
    body = ('<g fill="none" stroke="%s" stroke-width="1.4">' % GREEN
            + '<path d="M4 %.1f a7 7 0 0 1 7 -7" /><path d="M4 %.1f a11 11 0 0 1 11 -11"/></g>' % (h - 3, h - 3)
            + '<circle cx="5" cy="%.1f" r="2" fill="%s"/>' % (h - 4, GREEN))
    body += text_paths("GPS", 31, (h - 10) / 2.0, 10, GREEN, width=1.6, anchor="middle")
    return svg(w, h, body)


def battery(w, h):
    body = rect(2, 4, w - 7, h - 8, "none", rx=2, stroke=AMB, sw=1.5) + rect(w - 5, h / 2.0 - 3, 3, 6, AMB)
    body += rect(4.5, 6.5, (w - 12) * 0.7, h - 13, AMB)
    return svg(w, h, body)


def timelapse_mark(w, h):
    cx, cy = w / 2.0, h / 2.0
    body = ('<circle cx="%.1f" cy="%.1f" r="8" fill="none" stroke="%s" stroke-width="1.6"/>' % (cx, cy, AMB)
            + '<path d="M%.1f %.1f V%.1f L%.1f %.1f" fill="none" stroke="%s" stroke-width="1.6" '
            'stroke-linecap="round"/>' % (cx, cy - 5, cy, cx + 4, cy + 2, AMB))
    return svg(w, h, body)


def char_image(w, h, ch, colour=TEXT):
    return svg(w, h, text_paths(ch, w / 2.0, 2, h - 4, colour, width=max(1.5, (h - 4) / 7.0), anchor="middle"))


def tree_badge(w, h, kind):
    # 39 x 21 overlays on white (transparent): base = frame, others add one letter cell
    if kind == "base":
        body = rect(1, 1, w - 2, h - 2, "#0f1318", rx=4, stroke="#8a93a3", sw=1)
        body += text_paths("A", 7, 6.5, 8, "#8a93a3", width=1.4, anchor="middle")
        return svg(w, h, body)
    slots = {"M": (0, "#46c46e"), "G": (1, "#e5484d"), "S": (2, "#f2a93b"), "P": (3, "#b18cf0"),
             "E": (1, "#ff7b3c"), "D": (2, "#35b6f0")}
    i, col = slots[kind]
    x = 13 + i * 6.6
    if kind in ("E", "D"):
        # two further kinds share the places of G and S, drawn as a bar under the letters
        return svg(w, h, rect(3, h - 5, w - 6, 2.5, col, rx=1))
    return svg(w, h, text_paths(kind, x, 6.5, 8, col, width=1.4, anchor="middle"))


# ---------------------------------------------------------------- the inventory
# (id, kind, width, height, bpp, cells, key, file, role, maker)
ITEMS = []


def add(iid, kind, w, h, bpp, cells, key, role, maker, file=None):
    ITEMS.append((iid, kind, w, h, bpp, cells, key, file or ("%d.svg" % iid), role, maker))


COMMANDS = [
    (154, "first", "command button 38000 first (4-cell strip)"),
    (144, "prev", "command button 38001 previous"),
    (148, "play", "command button 38002 play (stopped or paused)"),
    (147, "pause", "command button 38002 pause (while playing)"),
    (142, "slow", "command button 38003 slow"),
    (139, "fast", "command button 38004 fast forward"),
    (145, "next", "command button 38005 next"),
    (153, "still", "command button 38006 still image"),
    (150, "join", "command button 38007 join"),
    (200, "zoom", "command button 38008 zoom"),
    (362, "mirror", "command button 38009 mirror image"),
    (357, "map", "command button 38010 map on/off"),
    (146, "browse", "command button 38011 browse"),
    (138, "delete", "command button 38012 delete"),
    (151, "settings", "command button 38013 settings"),
    (137, "csv", "command button 38014 CSV export"),
    (356, "swap", "command button 38015 front/rear display"),
]


def build_inventory():
    for iid, g, role in COMMANDS:
        add(iid, "bitmap", 128, 32, 24, 4, "black", role, lambda g=g: strip(32, 32, GLYPHS[g]))
    add(155, "bitmap", 184, 18, 24, 4, "black", "frame button 16 close", lambda: frame_strip(46, 18, "close"))
    add(157, "bitmap", 104, 18, 24, 4, "black", "frame button 17 maximise/restore", lambda: frame_strip(26, 18, "max"))
    add(156, "bitmap", 104, 18, 24, 4, "black", "frame button 18 minimise", lambda: frame_strip(26, 18, "min"))
    add(352, "bitmap", 52, 12, 24, 4, "black", "caption close button of skinned dialogs", lambda: small_close_strip(13, 12))
    add(217, "bitmap", 48, 12, 24, 4, "black",
        "check images: 0 unchecked, 1 unchecked under the cursor, 2 checked, 3 disabled (check buttons, list state images, toggles)",
        lambda: check_strip(12, 12))
    add(327, "bitmap", 48, 12, 24, 4, "black", "choice images of the source dialog (radio look), cells as 217",
        lambda: check_strip(12, 12, radio=True))
    # sliders
    add(174, "bitmap", 656, 10, 24, 1, "black", "position slider: played part", lambda: slider_bar(656, 10, True))
    add(159, "bitmap", 656, 10, 24, 1, "black", "position slider: rest", lambda: slider_bar(656, 10, False))
    add(160, "bitmap", 12, 10, 24, 1, "none", "position slider: thumb (plain copy)", lambda: slider_thumb(12, 10, False))
    add(161, "bitmap", 12, 10, 24, 1, "none", "position slider: thumb while dragging", lambda: slider_thumb(12, 10, True))
    add(167, "bitmap", 100, 20, 24, 1, "black", "volume slider: played part", lambda: slider_bar(100, 20, True))
    add(168, "bitmap", 100, 20, 24, 1, "black", "volume slider: rest", lambda: slider_bar(100, 20, False))
    add(169, "bitmap", 10, 20, 24, 1, "none", "volume slider: thumb (plain copy)", lambda: slider_thumb(10, 20, False))
    add(170, "bitmap", 10, 20, 24, 1, "none", "volume slider: thumb while dragging", lambda: slider_thumb(10, 20, True))
    # the image holder's table, in load order
    add(129, "bitmap", 1200, 750, 24, 1, "white", "main window background (drawn in 3 x 3 tiles)",
        lambda: main_background(1200, 750))
    add(164, "bitmap", 452, 392, 24, 1, "none", "logo in place of the map (frame flag 1)", lambda: logo(452, 392, False))
    add(324, "bitmap", 452, 392, 24, 1, "none", "logo while the map has no connection (frame flag 0)",
        lambda: logo(452, 392, True))
    gauges = [
        (320, 0, {0: 261.5, 10: 282.0, 25: 311.5, 50: 0.0, 75: 48.5, 100: 99.0}, 100, [0, 25, 50, 75, 100], 5, ACC),
        (307, 1, {0: 261.5, 10: 282.0, 25: 311.5, 50: 0.0, 75: 48.5, 100: 99.0}, 100, [0, 25, 50, 75, 100], 5, GREEN),
        (309, 2, {0: 251.5, 10: 261.5, 50: 301.5, 100: 350.0, 110: 0.0, 150: 39.0, 200: 88.0, 220: 108.0}, 220,
         [0, 50, 100, 150, 200], 10, AMB),
        (321, 3, {0: 261.5, 50: 0.0, 105: 108.0}, 105, [0, 25, 50, 75, 105], 5, "#b18cf0"),
        (325, 4, {0: 261.5, 10: 269.0, 50: 294.5, 100: 328.5, 150: 0.0, 200: 31.0, 250: 65.5, 300: 99.0}, 300,
         [0, 50, 100, 150, 200, 250, 300], 10, RED),
    ]
    for iid, item, rows, last, labels, minor, col in gauges:
        def mk(rows=rows, last=last, labels=labels, minor=minor, col=col):
            at = gauge_angles(rows, last)
            marks = [(at(v), v in labels) for v in range(0, last + 1, minor)]
            if last % minor:
                marks.append((at(last), True))
            majors = [(at(v), str(v)) for v in labels]
            return gauge_face(210, 151, marks, majors, col)
        add(iid, "bitmap", 210, 151, 24, 1, "white", "gauge face of vehicle item %d (needle pivot at 105,88)" % item, mk)
    add(312, "bitmap", 22, 106, 24, 1, "black", "gauge needle, upright, pivot 88 px below its top", lambda: needle(22, 106))
    add(313, "mask", 22, 106, 1, 1, "none", "monochrome mask of needle 312 (white = needle)",
        lambda: needle(22, 106, mask=True))
    badges = [(198, "480", "H"), (199, "480", ""), (196, "720", "H"), (197, "720", ""), (192, "1080", "H"),
              (195, "1080", ""), (358, "1440", "H"), (359, "1440", ""), (360, "2160", "H"), (361, "2160", ""),
              (363, "4320", "H"), (364, "4320", "")]
    for n, (iid, lines, h) in enumerate(badges):
        col = AMB if h else ACC
        add(iid, "bitmap", 60, 35, 24, 1, "white",
            "resolution badge of class %d (%s lines%s)" % (n + 1, lines, ", head letter H" if h else ""),
            lambda lines=lines, h=h, col=col: badge(60, 35, lines, bool(h), col))
    add(201, "bitmap", 720, 77, 24, 1, "white", "information panel background (stretched over the panel)",
        lambda: svg(720, 77, rect(0, 0, 720, 77, BG1) + rect(0, 0, 720, 1, EDGE) + rect(0, 76, 720, 1, "#0b0e12")))
    add(207, "bitmap", 139, 14, 24, 1, "white", "date and time placeholder (ghost digits)",
        lambda: placeholder(139, 14, "0000 00 00  00 00 00"))
    add(206, "bitmap", 191, 19, 24, 1, "white", "plate behind the panel's date and time (chosen role)",
        lambda: plate(191, 19))
    add(218, "bitmap", 187, 21, 24, 1, "white", "plate behind the band's date and time (chosen role)",
        lambda: plate(187, 21, colour="#1e242e"))
    add(202, "bitmap", 309, 34, 24, 1, "white", "information band background", lambda: svg(
        309, 34, rect(0, 0, 309, 34, "#141920") + rect(0, 0, 309, 1, EDGE)))
    # ghost digits tinted like the axis' curve (green, red, light blue)
    for iid, axis, col in ((209, "X", "#3f6a4e"), (210, "Y", "#6e4148"), (208, "Z", "#4d5183")):
        add(iid, "bitmap", 45, 18, 24, 1, "white", "G value placeholder, axis %s" % axis,
            lambda col=col: placeholder(45, 18, "-0 00", colour=col))
    add(203, "bitmap", 76, 31, 24, 1, "white", "recording state 'R' (recording)", lambda: state_image(76, 31, "REC", RED, True))
    add(204, "bitmap", 76, 31, 24, 1, "white", "recording state 'r' (event recording)",
        lambda: state_image(76, 31, "REC", AMB, True))
    add(205, "bitmap", 76, 31, 24, 1, "white", "recording state, any other letter", lambda: state_image(76, 31, "- - -", DIM, False))
    add(213, "bitmap", 32, 14, 24, 1, "white", "voltage placeholder", lambda: placeholder(32, 14, "00 0"))
    add(211, "bitmap", 48, 19, 24, 1, "white", "speed placeholder (panel)", lambda: placeholder(48, 19, "000"))
    add(350, "bitmap", 48, 16, 24, 1, "white", "position-fix image", lambda: fix_image(48, 16))
    add(219, "bitmap", 32, 21, 24, 1, "white", "voltage mark beside the voltage (chosen role)", lambda: battery(32, 21))
    add(351, "bitmap", 42, 28, 24, 1, "0x010101", "band frame, cut 3 x 3 (nine-patch, centre 0x010101)",
        lambda: nine_patch_frame(42, 28))
    add(212, "bitmap", 80, 26, 24, 1, "white", "plate behind the speed (chosen role)", lambda: plate(80, 26))
    add(190, "bitmap", 30, 21, 24, 1, "black", "time-lapse mark (chosen role)", lambda: timelapse_mark(30, 21))
    add(214, "bitmap", 452, 634, 24, 1, "none", "browser cover in zoom mode, layout 0", lambda: cover(452, 634))
    add(215, "bitmap", 227, 634, 24, 1, "none", "browser cover in zoom mode, layout 1", lambda: cover(227, 634))
    add(367, "bitmap", 48, 19, 24, 1, "white", "speed placeholder (band)", lambda: placeholder(48, 19, "000"))
    # PNG images of the holder: seven-segment-like digits and signs (chosen roles)
    for i in range(10):
        add(331 + i, "png", 14, 24, 32, 1, "alpha", "digit %d" % i, lambda i=i: char_image(14, 24, str(i)))
    add(341, "png", 8, 24, 32, 1, "alpha", "decimal point", lambda: char_image(8, 24, "."))
    add(342, "png", 14, 24, 32, 1, "alpha", "minus sign", lambda: char_image(14, 24, "-"))
    add(343, "png", 8, 24, 32, 1, "alpha", "colon", lambda: char_image(8, 24, ":"))
    add(344, "png", 14, 24, 32, 1, "alpha", "slash", lambda: char_image(14, 24, "/"))
    add(345, "png", 14, 24, 32, 1, "alpha", "unit G", lambda: char_image(14, 24, "G"))
    add(348, "png", 44, 24, 32, 1, "alpha", "unit km/h", lambda: svg(44, 24, text_paths("km/h", 22, 6, 12, TEXT, 1.6, anchor="middle")))
    add(349, "png", 14, 24, 32, 1, "alpha", "unit V", lambda: char_image(14, 24, "V"))
    # graph, tree badges, icons
    add(162, "bitmap", 656, 142, 24, 1, "none", "G-sensor graph background tile", lambda: graph_tile(656, 142))
    add(176, "bitmap", 12, 12, 24, 1, "black", "graph glyph of the drive-support steering mark", lambda: steering_glyph(12, 12))
    for iid, kind, role in ((319, "base", "folder badge base (A)"), (316, "M", "folder badge overlay M"),
                            (315, "G", "folder badge overlay G"), (317, "S", "folder badge overlay S"),
                            (318, "P", "folder badge overlay P"), (346, "E", "folder badge overlay for flag 0x20"),
                            (369, "D", "folder badge overlay for flag 0x40")):
        add(iid, "bitmap", 39, 21, 24, 1, "white", role, lambda kind=kind: tree_badge(39, 21, kind))
    for iid, label, col, role in ((183, "G", RED, "map icon G (kinds 0-4)"), (185, "M", GREEN, "map icon M (kind 5)"),
                                  (182, "E", "#ff7b3c", "map icon E (kind 6)"), (216, "P", "#b18cf0", "map icon P (kind 7)"),
                                  (221, "S", AMB, "map icon S (kind 8)"), (184, "H", "#f0e442", "map icon H (kind 9)"),
                                  (180, "AC", "#e05ad8", "map icon AC (kind 10)"), (181, "BK", "#35d0e0", "map icon BK (kind 11)")):
        add(iid, "png", 32, 32, 32, 1, "alpha", role, lambda label=label, col=col: map_pin(32, 32, label, col))
    add(186, "png", 49, 32, 32, 1, "alpha", "map icon shadow", lambda: map_shadow(49, 32))
    add(128, "icon", 48, 48, 32, 1, "alpha", "application icon (window, task bar)", lambda: app_icon(48, 48), "appicon.svg")
    add(171, "icon", 32, 32, 32, 1, "alpha", "application icon of the image holder (iconic window)", None, "appicon.svg")
    add(191, "cursor", 32, 32, 32, 1, "alpha", "hand cursor of zoom mode (hot spot 16,16)", lambda: hand_cursor(32, 32))


def main():
    build_inventory()
    os.makedirs(OUT, exist_ok=True)
    ids = set()
    for item in ITEMS:
        iid, kind, w, h, bpp, cells, key, file, role, maker = item
        if iid in ids:
            sys.exit("duplicate id %d" % iid)
        ids.add(iid)
        if maker is not None:
            with open(os.path.join(OUT, file), "w") as f:
                f.write(maker())
    man = os.path.join(ROOT, "resources", "skin", "manifest.txt")
    with open(man, "w") as f:
        f.write("# Skin images by id.  Columns, tab-separated:\n"
                "# id  kind(bitmap|png|icon|cursor|mask)  width  height  bits  cells  key  source  role\n"
                "# cells: images side by side of width/cells each (4: normal, hover, pressed or checked, disabled).\n"
                "# key: the colour a 24-bit copy uses for transparent pixels (black, white, 0x010101),\n"
                "#      none for opaque images, alpha for images with their own transparency.\n")
        for iid, kind, w, h, bpp, cells, key, file, role, _ in sorted(ITEMS):
            f.write("%d\t%s\t%d\t%d\t%d\t%d\t%s\tsvg/%s\t%s\n" % (iid, kind, w, h, bpp, cells, key, file, role))
    qrc = os.path.join(ROOT, "resources", "skin", "skin.qrc")
    files = sorted(set(i[7] for i in ITEMS))
    with open(qrc, "w") as f:
        f.write('<!DOCTYPE RCC><RCC version="1.0">\n<qresource prefix="/skin">\n')
        f.write("  <file>manifest.txt</file>\n")
        for fn in files:
            f.write("  <file>svg/%s</file>\n" % fn)
        f.write("</qresource>\n</RCC>\n")
    print("%d images, %d files" % (len(ITEMS), len(files)))


if __name__ == "__main__":
    main()
