#!/usr/bin/env python3
"""Paints the KESTREL control panel's artwork: the panel background (bitmap 134), the About box
background (bitmap 130) and the program icon (icon 128).

    make_art.py            writes the files next to this script
    make_art.py --check    fails unless the files next to this script are what it would write

Python's standard library only; the output is the same bytes on every run and machine.

The panel's controls sit where the dialog template puts them at 96 dpi with 6x13 base units:
the static control centres the 300x350 bitmap in the 297x353 client area, so bitmap (x, y) shows
at client (x - 2, y + 1). The three lists are at client x 141 (width 102) and y 60, 137 and 218;
the "Done" button at client (15, 315), 75x23. The About box's 302x388 client area shows the
300x400 bitmap at client (x + 1, y - 6); its OK button is at client (20, 343), 65x24.
"""

import math
import os
import struct
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches when run by the build

from canvas import (Canvas, Noise, clamp, mix, sdf_circle, sdf_polygon, sdf_ring,
                    sdf_rounded_rect, sdf_strokes, sdf_subtract)
import pixelfont
import strokefont

HERE = os.path.dirname(os.path.abspath(__file__))

ORANGE = (232, 122, 36)
BRAND_BLUE = (28, 78, 168)
BRAND_NAVY = (12, 34, 86)
INK = (36, 38, 43)
WHITE = (255, 255, 255)

# Where the panel's lists land, in bitmap pixels: x range and the rows' top edges.
LIST_X0, LIST_X1 = 143, 245
LIST_ROWS = (59, 136, 217)
LIST_HEIGHT = 21


# Materials ----------------------------------------------------------------------------------

def brushed_metal(canvas, bounds, base, seed, grain=20.0, streak=7.0):
    """Horizontal brushing: noise smeared along x, plus a faint tone per row."""
    x0, y0, x1, y1 = bounds
    noise = Noise(seed)
    width = x1 - x0
    for y in range(y0, y1):
        raw = [noise.next() - 0.5 for _ in range(width + 40)]
        smeared = smear(smear(raw, 9), 5)[20:20 + width]
        row_tone = (noise.next() - 0.5) * streak
        for i, x in enumerate(range(x0, x1)):
            fine = (noise.next() - 0.5) * 5.0
            v = smeared[i] * grain + row_tone + fine
            canvas.put(x, y, tuple(base[c] + v for c in range(3)))


def smear(values, radius):
    out = []
    total = sum(values[:radius])
    n = len(values)
    for i in range(n):
        if i + radius < n:
            total += values[i + radius]
        if i - radius - 1 >= 0:
            total -= values[i - radius - 1]
        out.append(total / (2 * radius + 1))
    return out


def sheen(canvas, bounds, strength, centre_x, spread):
    """A broad soft highlight band across brushed metal, brightest at centre_x."""
    x0, y0, x1, y1 = bounds
    for y in range(y0, y1):
        for x in range(x0, x1):
            t = (x - centre_x + (y - y0) * 0.35) / spread
            canvas.shade(x, y, strength * math.exp(-t * t))


def vertical_shade(canvas, bounds, top, bottom):
    x0, y0, x1, y1 = bounds
    for y in range(y0, y1):
        amount = top + (bottom - top) * (y - y0) / max(1, y1 - y0 - 1)
        for x in range(x0, x1):
            canvas.shade(x, y, amount)


# Parts --------------------------------------------------------------------------------------

def screw(canvas, cx, cy, radius=4.6):
    canvas.fill(sdf_circle(cx, cy + 0.6, radius + 1.2), (0, 0, 0), opacity=0.18,
                bounds=(cx - 8, cy - 8, cx + 9, cy + 9))
    canvas.fill(sdf_circle(cx, cy, radius + 0.9), (255, 255, 255), opacity=0.55,
                bounds=(cx - 8, cy - 8, cx + 9, cy + 9))

    def metal(x, y):
        t = clamp(((x - cx) + (y - cy)) / (2.4 * radius) + 0.5)
        return mix((236, 238, 240), (120, 124, 130), t)

    canvas.fill(sdf_circle(cx, cy, radius), metal, bounds=(cx - 7, cy - 7, cx + 8, cy + 8))
    canvas.fill(sdf_ring(cx, cy, radius - 0.2, 0.45), (70, 72, 78), opacity=0.7,
                bounds=(cx - 7, cy - 7, cx + 8, cy + 8))
    arm = radius * 0.62
    slots = [((cx - arm, cy), (cx + arm, cy)), ((cx, cy - arm), (cx, cy + arm))]
    canvas.fill(sdf_strokes([((a[0] + 0.5, a[1] + 0.5), (b[0] + 0.5, b[1] + 0.5))
                             for a, b in slots], 0.55), (255, 255, 255), opacity=0.5,
                bounds=(cx - 7, cy - 7, cx + 8, cy + 8))
    canvas.fill(sdf_strokes(slots, 0.65), (48, 50, 55), bounds=(cx - 7, cy - 7, cx + 8, cy + 8))


def engraved_text(canvas, text, x, y, colour=INK, bold=False, highlight=0.6):
    pixels = pixelfont.text_pixels(text, bold)
    canvas.pixels(pixels, WHITE, highlight, offset=(x, y + 1))
    canvas.pixels(pixels, colour, 1.0, offset=(x, y))


def groove(canvas, x0, x1, y):
    canvas.line_h(x0, x1, y, (0, 0, 0), 0.22)
    canvas.line_h(x0, x1, y + 1, (255, 255, 255), 0.55)


def quill(cx, cy, scale):
    """The maker's quill: a curved feather from lower left to upper right, as a polygon."""
    left, right = [], []
    steps = 24
    for i in range(steps + 1):
        t = i / steps
        # Spine: a gentle arc.
        sx = cx + (-0.62 + 1.24 * t) * scale
        sy = cy + (0.70 - 1.40 * t) * scale + math.sin(t * math.pi) * 0.16 * scale
        dx, dy = 1.24, -1.40 + math.cos(t * math.pi) * 0.16 * math.pi
        length = math.hypot(dx, dy)
        nx, ny = -dy / length, dx / length
        width = 0.0 if t < 0.22 else (math.sin((t - 0.22) / 0.78 * math.pi) ** 0.75) * 0.22 * scale
        lean = 1.35 if t > 0.22 else 1.0
        left.append((sx + nx * width * lean, sy + ny * width * lean))
        right.append((sx - nx * width * 0.75, sy - ny * width * 0.75))
    return left + right[::-1]


def emblem(canvas, cx, cy, radius, on_dark=False):
    """The maker's mark: a blue roundel carrying a white quill."""
    bounds = (cx - radius - 6, cy - radius - 6, cx + radius + 7, cy + radius + 8)
    canvas.shadow(sdf_circle(cx, cy, radius), bounds, offset=(0, 1.2), blur=2,
                  opacity=0.5 if on_dark else 0.35)

    def fill(x, y):
        t = clamp((y - (cy - radius)) / (2 * radius))
        return mix(BRAND_BLUE, BRAND_NAVY, t)

    canvas.fill(sdf_circle(cx, cy, radius), fill, bounds=bounds)
    canvas.fill(sdf_ring(cx, cy, radius - 1.2, 0.5), (255, 255, 255), opacity=0.22,
                bounds=bounds)
    feather = quill(cx, cy, radius * 0.95)
    canvas.fill(sdf_polygon(feather), WHITE, bounds=bounds)
    spine = [((cx - 0.62 * radius * 0.95, cy + 0.70 * radius * 0.95),
              (cx + 0.50 * radius * 0.95, cy - 0.52 * radius * 0.95))]
    canvas.fill(sdf_strokes(spine, 0.35), BRAND_NAVY, opacity=0.55, bounds=bounds)


def logo(canvas, right, cy, cap, on_dark=False):
    """Emblem and "QUILLMAR" wordmark, right-aligned at `right`, centred on `cy`."""
    weight, tracking = 1.9, 2.6
    width = strokefont.text_width("QUILLMAR", cap, weight, tracking)
    x = right - width
    top = cy - cap / 2.0
    shape, bounds = strokefont.shape("QUILLMAR", cap, weight, x, top, tracking)
    if on_dark:
        canvas.fill(shape, WHITE, bounds=bounds)
    else:
        highlight, hb = strokefont.shape("QUILLMAR", cap, weight, x, top + 1, tracking)
        canvas.fill(highlight, WHITE, bounds=hb, opacity=0.6)
        canvas.fill(shape, (44, 48, 56), bounds=bounds)
    emblem(canvas, x - cap * 1.25, cy, cap * 0.95, on_dark)


def icon_wave(canvas, x, y, colour):
    points = [(x + i * 0.5, y + 8 - 5.5 * math.sin(i * 0.5 / 16 * 2 * math.pi * 1.5))
              for i in range(33)]
    segments = list(zip(points, points[1:]))
    canvas.fill(sdf_strokes(segments, 0.9), colour, bounds=(x - 2, y - 2, x + 19, y + 19))


def icon_clock(canvas, x, y, colour):
    cx, cy = x + 8, y + 8
    canvas.fill(sdf_ring(cx, cy, 6.6, 0.85), colour, bounds=(x - 2, y - 2, x + 19, y + 19))
    hands = [((cx, cy), (cx, cy - 4.4)), ((cx, cy), (cx + 3.2, cy + 1.2))]
    canvas.fill(sdf_strokes(hands, 0.8), colour, bounds=(x - 2, y - 2, x + 19, y + 19))


def icon_stopwatch(canvas, x, y, colour):
    cx, cy = x + 8, y + 9
    canvas.fill(sdf_ring(cx, cy, 5.8, 0.85), colour, bounds=(x - 2, y - 2, x + 19, y + 19))
    parts = [((cx - 1.6, y + 1.2), (cx + 1.6, y + 1.2)), ((cx, y + 1.2), (cx, cy - 5.8)),
             ((cx + 4.6, cy - 5.0), (cx + 5.6, cy - 6.0)), ((cx, cy), (cx + 2.4, cy - 3.0))]
    canvas.fill(sdf_strokes(parts, 0.8), colour, bounds=(x - 2, y - 2, x + 19, y + 19))


def engraved_icon(canvas, draw, x, y):
    draw(canvas, x, y + 1, WHITE)
    draw(canvas, x, y, (62, 66, 74))


# Bitmap 134: the panel ----------------------------------------------------------------------

def panel_background():
    w, h = 300, 350
    c = Canvas(w, h)
    brushed_metal(c, (0, 0, w, h), (196, 199, 204), seed=0x4B455354)
    vertical_shade(c, (0, 0, w, h), 0.10, -0.10)
    sheen(c, (0, 0, w, h), 0.16, 210, 90)

    # The framed area: a recessed, darker field with a heading bar.
    fx0, fy0, fx1, fy1 = 13, 15, 287, 271
    frame = sdf_rounded_rect(fx0, fy0, fx1, fy1, 6)
    c.fill(sdf_rounded_rect(fx0, fy0 + 1, fx1, fy1 + 1.2, 6.5), WHITE, opacity=0.75,
           bounds=(fx0 - 2, fy0 - 2, fx1 + 2, fy1 + 3))
    c.fill(frame, (0, 0, 0), opacity=0.22, bounds=(fx0 - 2, fy0 - 2, fx1 + 2, fy1 + 3))
    inner = sdf_rounded_rect(fx0 + 1, fy0 + 1, fx1 - 1, fy1 - 1, 5)
    field = Canvas(w, h)
    brushed_metal(field, (fx0, fy0, fx1, fy1), (182, 186, 192), seed=0x50414E45, grain=14.0)
    c.fill(inner, lambda x, y: field.get(int(x), int(y)), bounds=(fx0, fy0, fx1, fy1))
    for i in range(5):
        c.fill(sdf_subtract(inner, sdf_rounded_rect(fx0 + 1, fy0 + 2 + i, fx1 - 1, fy1, 5)),
               (0, 0, 0), opacity=0.05, bounds=(fx0, fy0, fx1, fy0 + 10))

    # Heading bar.
    hx0, hy0, hx1, hy1 = fx0 + 1, fy0 + 1, fx1 - 1, fy0 + 25
    bar = sdf_rounded_rect(hx0, hy0, hx1, hy1 + 6, 5)
    clip = sdf_rounded_rect(hx0 - 10, hy0 - 10, hx1 + 10, hy1, 0)
    c.fill(lambda x, y: max(bar(x, y), clip(x, y)),
           lambda x, y: mix((78, 84, 94), (44, 48, 56), clamp((y - hy0) / (hy1 - hy0))),
           bounds=(hx0, hy0, hx1, hy1))
    c.line_h(hx0 + 3, hx1 - 3, hy0, WHITE, 0.18)
    c.line_h(hx0, hx1, hy1, (0, 0, 0), 0.35)
    c.line_h(hx0, hx1, hy1 + 1, (0, 0, 0), 0.10)
    c.fill(sdf_rounded_rect(hx0 + 10, hy0 + 8, hx0 + 13, hy0 + 16, 0.8), ORANGE,
           bounds=(hx0 + 8, hy0 + 6, hx0 + 16, hy0 + 18))
    title = pixelfont.text_pixels("Hardware Settings", bold=True)
    c.pixels(title, (0, 0, 0), 0.45, offset=(hx0 + 19, hy0 + 9))
    c.pixels(title, (242, 244, 247), 1.0, offset=(hx0 + 19, hy0 + 8))

    # The three rows: icon, label and a note under it, left of each list; grooves between.
    rows = [("Sample Rate:", "All connected units", icon_wave),
            ("Clock Source:", "Word clock master", icon_clock),
            ("Latency:", "Driver buffer size", icon_stopwatch)]
    label_right = LIST_X0 - 9
    for (label, note, icon), top in zip(rows, LIST_ROWS):
        centre = top + LIST_HEIGHT / 2.0
        label_top = int(centre - 4.5)
        engraved_text(c, label, label_right - pixelfont.text_width(label, True), label_top - 5,
                      bold=True)
        engraved_text(c, note, label_right - pixelfont.text_width(note), label_top + 8,
                      colour=(92, 97, 106), highlight=0.45)
        engraved_icon(c, icon, fx0 + 12, int(centre - 8))
        # A shallow well behind the list.
        well = sdf_rounded_rect(LIST_X0 - 4, top - 4, LIST_X1 + 4, top + LIST_HEIGHT + 4, 4)
        c.fill(sdf_rounded_rect(LIST_X0 - 4, top - 3, LIST_X1 + 4, top + LIST_HEIGHT + 5, 4),
               WHITE, opacity=0.5, bounds=(LIST_X0 - 6, top - 6, LIST_X1 + 6, top + 28))
        c.fill(well, (0, 0, 0), opacity=0.12, bounds=(LIST_X0 - 6, top - 6, LIST_X1 + 6, top + 28))
    for a, b in zip(LIST_ROWS, LIST_ROWS[1:]):
        groove(c, fx0 + 10, fx1 - 10, (a + LIST_HEIGHT + b) // 2)

    # Footer: a groove, the maker's logo lower right; "Done" sits lower left.
    groove(c, 14, 286, 294)
    logo(c, 282, 326, 10)

    for sx, sy in ((7, 7), (292, 7), (7, 342), (292, 342)):
        screw(c, sx + 0.5, sy + 0.5)
    return c


# Bitmap 130: the About box ------------------------------------------------------------------

def unit_drawing(c, x0, y0):
    """The KESTREL interface, front three-quarter view from slightly above."""
    x1, face_top, face_bottom = x0 + 240, y0 + 28, y0 + 92
    depth = 24
    # Floor shadow.
    c.shadow(sdf_rounded_rect(x0 + 10, face_bottom - 6, x1 - 10, face_bottom + 4, 6),
             (x0, face_bottom - 10, x1, face_bottom + 10), offset=(0, 3), blur=6, opacity=0.75)
    # Top face: brushed, lit from above.
    top = [(x0 + 14, face_top - depth), (x1 - 14, face_top - depth), (x1, face_top),
           (x0, face_top)]
    metal = Canvas(c.width, c.height)
    brushed_metal(metal, (x0, face_top - depth, x1, face_top + 1), (150, 156, 166), 0x544F50,
                  grain=16.0)

    def top_paint(x, y):
        r, g, b = metal.get(int(x), int(y))
        t = clamp((y - (face_top - depth)) / depth)
        return mix((r + 40, g + 40, b + 40), (r - 10, g - 10, b - 10), t)

    c.fill(sdf_polygon(top), top_paint, bounds=(x0, face_top - depth - 1, x1, face_top + 1))
    c.line_h(x0 + 1, x1 - 1, face_top, (255, 255, 255), 0.35)
    # Front face: dark anodised, with a brushed faceplate.
    face = sdf_rounded_rect(x0, face_top, x1, face_bottom, 3)
    c.fill(face, lambda x, y: mix((62, 66, 74), (30, 32, 37), clamp((y - face_top) / 64)),
           bounds=(x0 - 1, face_top, x1 + 1, face_bottom + 1))
    plate = Canvas(c.width, c.height)
    brushed_metal(plate, (x0 + 6, face_top + 5, x1 - 6, face_bottom - 5), (52, 56, 63),
                  0x504C41, grain=10.0, streak=4.0)
    c.fill(sdf_rounded_rect(x0 + 6, face_top + 5, x1 - 6, face_bottom - 5, 2),
           lambda x, y: plate.get(int(x), int(y)),
           bounds=(x0 + 5, face_top + 4, x1 - 5, face_bottom - 4))
    c.line_h(x0 + 7, x1 - 7, face_bottom - 5, (255, 255, 255), 0.12)
    # Feet.
    for fx in (x0 + 18, x1 - 40):
        c.fill(sdf_rounded_rect(fx, face_bottom - 1, fx + 22, face_bottom + 4, 2), (14, 15, 17),
               bounds=(fx - 1, face_bottom - 2, fx + 23, face_bottom + 5))

    mid = (face_top + face_bottom) / 2.0 + 3
    # Product name on the faceplate.
    name, nb = strokefont.shape("KESTREL", 6, 1.9, x0 + 14, face_top + 10, 2.2, slant=0.15)
    c.fill(name, (236, 238, 242), bounds=nb)
    c.fill(sdf_rounded_rect(x0 + 14, face_top + 19, x0 + 50, face_top + 20, 0.4), ORANGE,
           bounds=(x0 + 13, face_top + 18, x0 + 52, face_top + 21))
    # Two combination input jacks.
    for i, jx in enumerate((x0 + 24, x0 + 54)):
        jy = mid + 6
        b = (jx - 14, jy - 14, jx + 15, jy + 15)
        c.fill(sdf_circle(jx, jy, 11), (20, 21, 24), bounds=b)
        c.fill(sdf_ring(jx, jy, 10.2, 1.2),
               lambda x, y, jx=jx, jy=jy: mix((210, 214, 220), (90, 94, 102),
                                              clamp((y - jy + 10) / 20)), bounds=b)
        c.fill(sdf_circle(jx, jy, 7.4), (40, 42, 47), bounds=b)
        for a in (-2.2, -0.95, 0.3):
            c.fill(sdf_circle(jx + 4.6 * math.cos(a - 1.2), jy + 4.6 * math.sin(a - 1.2), 1.1),
                   (8, 8, 10), bounds=b)
        c.fill(sdf_circle(jx, jy, 2.6), (8, 8, 10), bounds=b)
        c.fill(sdf_ring(jx, jy, 2.6, 0.5), (150, 154, 160), bounds=b)
        c.fill(sdf_rounded_rect(jx - 5, jy + 14, jx + 5, jy + 15, 0.4), (170, 174, 182),
               opacity=0.8, bounds=(jx - 6, jy + 13, jx + 6, jy + 16))
        for k in range(i + 1):
            c.fill(sdf_circle(jx + 8 + k * 3, jy + 14.5, 0.8), (170, 174, 182), bounds=b)
    # Status LEDs: four rates (48 kHz lit), lock and FireWire.
    lx = x0 + 92
    for i in range(4):
        led(c, lx + i * 14, mid - 6, (80, 230, 90) if i == 1 else None)
        c.fill(sdf_rounded_rect(lx + i * 14 - 4, mid + 2, lx + i * 14 + 4, mid + 3, 0.4),
               (160, 164, 172), opacity=0.8, bounds=(lx + i * 14 - 5, mid + 1, lx + i * 14 + 5,
                                                     mid + 4))
    led(c, lx, mid + 14, (255, 176, 40))
    led(c, lx + 14, mid + 14, (70, 150, 255))
    for i in range(2):
        c.fill(sdf_rounded_rect(lx + i * 14 - 4, mid + 22, lx + i * 14 + 4, mid + 23, 0.4),
               (160, 164, 172), opacity=0.8, bounds=(lx + i * 14 - 5, mid + 21, lx + i * 14 + 5,
                                                     mid + 24))
    # Headphone jack.
    hx, hy = lx + 42, mid + 14
    c.fill(sdf_circle(hx, hy, 5), lambda x, y: mix((215, 218, 224), (100, 104, 112),
                                                    clamp((y - hy + 5) / 10)),
           bounds=(hx - 7, hy - 7, hx + 8, hy + 8))
    c.fill(sdf_circle(hx, hy, 2.6), (6, 6, 8), bounds=(hx - 7, hy - 7, hx + 8, hy + 8))
    # Two knobs: monitor level and headphones.
    for kx, angle in ((x1 - 78, -0.6), (x1 - 34, 0.9)):
        knob(c, kx, mid + 2, 15, angle)
    # Edges of the front face.
    c.fill(sdf_subtract(face, sdf_rounded_rect(x0 + 1, face_top + 1, x1 - 1, face_bottom - 1, 2)),
           (0, 0, 0), opacity=0.5, bounds=(x0 - 1, face_top, x1 + 1, face_bottom + 1))


def led(c, x, y, colour):
    b = (x - 8, y - 8, x + 9, y + 9)
    c.fill(sdf_circle(x, y, 2.8), (12, 12, 14), bounds=b)
    if colour is None:
        c.fill(sdf_circle(x, y - 0.4, 2.0), (46, 50, 48), bounds=b)
        return
    for r, a in ((7.0, 0.12), (5.0, 0.18), (3.6, 0.3)):
        c.fill(sdf_circle(x, y, r), colour, opacity=a, bounds=b)
    c.fill(sdf_circle(x, y, 2.2), colour, bounds=b)
    c.fill(sdf_circle(x - 0.6, y - 0.8, 0.9), WHITE, opacity=0.85, bounds=b)


def knob(c, x, y, radius, angle):
    b = (x - radius - 8, y - radius - 8, x + radius + 9, y + radius + 11)
    c.shadow(sdf_circle(x, y, radius), b, offset=(0, 3), blur=3, opacity=0.8)
    c.fill(sdf_circle(x, y, radius),
           lambda px, py: mix((96, 100, 108), (18, 19, 22), clamp((py - y + radius) / (2 * radius))),
           bounds=b)
    cap = radius * 0.78
    c.fill(sdf_circle(x, y, cap),
           lambda px, py: mix((74, 78, 86), (28, 30, 34),
                              clamp(math.hypot(px - x + cap * 0.35, py - y + cap * 0.45) / (1.6 * cap))),
           bounds=b)
    c.fill(sdf_ring(x, y, cap, 0.6), (150, 154, 162), opacity=0.45, bounds=b)
    tip = (x + math.sin(angle) * (cap - 2.5), y - math.cos(angle) * (cap - 2.5))
    base = (x + math.sin(angle) * cap * 0.35, y - math.cos(angle) * cap * 0.35)
    c.fill(sdf_strokes([(base, tip)], 0.9), WHITE, bounds=b)
    for i in range(11):
        a = -2.4 + i * 0.48
        p0 = (x + math.sin(a) * (radius + 2.5), y - math.cos(a) * (radius + 2.5))
        p1 = (x + math.sin(a) * (radius + 4.2), y - math.cos(a) * (radius + 4.2))
        c.fill(sdf_strokes([(p0, p1)], 0.4), (175, 180, 188), opacity=0.8, bounds=b)


def about_background():
    w, h = 300, 400
    c = Canvas(w, h, (24, 26, 31))
    noise = Noise(0x41424F55)
    for y in range(h):
        for x in range(w):
            t = y / (h - 1)
            base = mix((36, 40, 48), (15, 16, 20), t)
            glow = math.exp(-(((x - 150) / 150.0) ** 2 + ((y - 170) / 95.0) ** 2)) * 34
            v = (noise.next() - 0.5) * 3.0
            c.put(x, y, (base[0] + glow * 0.9 + v, base[1] + glow + v, base[2] + glow * 1.15 + v))

    # Product name and what it is.
    name, nb = strokefont.shape("KESTREL", 30, 1.75, 22, 26, 2.0, slant=0.16)
    c.shadow(name, nb, offset=(0, 2), blur=2, opacity=0.6)
    c.fill(name, lambda x, y: mix((255, 255, 255), (196, 202, 212), clamp((y - 26) / 30)),
           bounds=nb)
    c.fill(sdf_rounded_rect(22, 66, 278, 68, 1), ORANGE, bounds=(20, 64, 280, 70))
    subtitle = "FireWire Audio Interface"
    c.pixels(pixelfont.text_pixels(subtitle, bold=True), (214, 218, 226), offset=(23, 76))
    tag = "IEEE 1394  \u00b7  24-bit  \u00b7  96 kHz"
    c.pixels(pixelfont.text_pixels(tag), (132, 140, 152), offset=(23, 90))

    unit_drawing(c, 30, 112)

    # Notices.
    lines = [
        ("KESTREL Control Panel", (236, 238, 242), True, 226),
        ("Version 1.0.0.1", (160, 166, 176), False, 240),
        ("Copyright \u00a9 2004-2008 Quillmar.", (160, 166, 176), False, 262),
        ("All rights reserved.", (160, 166, 176), False, 274),
        ("Quillmar and KESTREL are trademarks of", (118, 124, 134), False, 296),
        ("Quillmar. All other trademarks are the", (118, 124, 134), False, 308),
        ("property of their respective owners.", (118, 124, 134), False, 320),
    ]
    for text, colour, bold, y in lines:
        c.pixels(pixelfont.text_pixels(text, bold), colour, offset=(24, y))

    c.line_h(14, 286, 339, (0, 0, 0), 0.45)
    c.line_h(14, 286, 340, (255, 255, 255), 0.08)
    logo(c, 281, 361, 10, on_dark=True)
    return c


# Icon 128 -----------------------------------------------------------------------------------

def icon_image(size):
    """The program icon at `size` pixels: a blue tile carrying a white K. Returns rows of
    (colour, covered) pairs, top row first."""
    scale = 4
    big = size * scale
    c = Canvas(big, big, (0, 0, 0))
    inset = max(0.5, size / 32.0) * scale
    radius = big * 0.2
    tile = sdf_rounded_rect(inset, inset, big - inset, big - inset, radius)

    def tile_paint(x, y):
        t = clamp(y / big)
        return mix((58, 120, 222), (14, 46, 128), t)

    c.fill(tile, tile_paint)
    if size >= 32:
        c.fill(sdf_subtract(tile, sdf_rounded_rect(inset + scale, inset + scale,
                                                   big - inset - scale, big - inset - scale,
                                                   radius - scale)),
               (255, 255, 255), opacity=0.28)
    cap = big * (0.62 if size > 16 else 0.64)
    weight = 2.6 if size > 16 else 3.0
    width = strokefont.text_width("K", cap, weight)
    k, kb = strokefont.shape("K", cap, weight, (big - width) / 2.0 + big * 0.02,
                             (big - cap) / 2.0)
    c.fill(k, WHITE, bounds=kb)
    if size >= 32:
        c.fill(sdf_rounded_rect(big * 0.2, big * 0.84, big * 0.8, big * 0.84 + scale * 1.2,
                                scale * 0.6), ORANGE)
    mask = Canvas(big, big, (0, 0, 0))
    mask.fill(tile, WHITE)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            cover = 0.0
            for sy in range(scale):
                for sx in range(scale):
                    px, py = x * scale + sx, y * scale + sy
                    a = mask.get(px, py)[0] / 255.0
                    col = c.get(px, py)
                    for ch in range(3):
                        acc[ch] += col[ch] * a
                    cover += a
            if cover > 0:
                colour = tuple(v / cover for v in acc)
            else:
                colour = (0.0, 0.0, 0.0)
            row.append((colour, cover / (scale * scale) >= 0.5))
        rows.append(row)
    return rows


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
         (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
         (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
# The 16-colour image keeps to the blues, silver, white and red of the standard palette: its
# nearest colour to the tile's mid blue would otherwise be teal or grey.
VGA16_USED = (0, 4, 7, 9, 12, 15)

BAYER4 = [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]]


def nearest(palette, colour, allowed=None):
    best, best_d = 0, 1e18
    for i in allowed if allowed is not None else range(len(palette)):
        p = palette[i]
        d = (p[0] - colour[0]) ** 2 + (p[1] - colour[1]) ** 2 + (p[2] - colour[2]) ** 2
        if d < best_d:
            best, best_d = i, d
    return best


def median_cut(colours, count):
    """A palette of at most `count` colours for `colours`, by splitting the widest box."""
    boxes = [sorted(set(colours))]
    while len(boxes) < count:
        widest, channel, spread = None, 0, -1
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            for ch in range(3):
                values = [c[ch] for c in box]
                if max(values) - min(values) > spread:
                    widest, channel, spread = i, ch, max(values) - min(values)
        if widest is None or spread == 0:
            break
        box = sorted(boxes.pop(widest), key=lambda c: (c[channel], c))
        half = len(box) // 2
        boxes += [box[:half], box[half:]]
    palette = []
    for box in boxes:
        palette.append(tuple(int(sum(c[ch] for c in box) / len(box) + 0.5) for ch in range(3)))
    return palette + [(0, 0, 0)] * (count - len(palette))


def icon_indices(rows, bits):
    """Palette and index rows for the 4- and 8-bit images."""
    if bits == 4:
        palette, allowed, amplitude = VGA16, VGA16_USED, 40.0
    else:
        covered = [tuple(int(clamp(v, 0, 255) + 0.5) for v in colour)
                   for row in rows for colour, inside in row if inside]
        palette, allowed, amplitude = median_cut(covered, 256), None, 0.0
    indices = []
    for y, row in enumerate(rows):
        line = []
        for x, (colour, inside) in enumerate(row):
            if not inside:
                line.append(0)
                continue
            offset = (BAYER4[y % 4][x % 4] / 16.0 - 0.5) * amplitude
            line.append(nearest(palette, tuple(v + offset for v in colour), allowed))
        indices.append(line)
    return palette, indices


def icon_entry(size, bits):
    rows = icon_image(size)
    if bits == 24:
        palette = []
        stride = (size * 3 + 3) & ~3
        xor = bytearray()
        for row in reversed(rows):
            line = bytearray()
            for colour, covered in row:
                r, g, b = (int(clamp(v, 0, 255) + 0.5) if covered else 0 for v in colour)
                line += bytes((min(b, 255), min(g, 255), min(r, 255)))
            xor += line + b"\0" * (stride - len(line))
    else:
        palette, indices = icon_indices(rows, bits)
        stride = ((size * bits + 31) // 32) * 4
        xor = bytearray()
        for line_indices in reversed(indices):
            line = bytearray()
            if bits == 8:
                line += bytes(line_indices)
            else:
                for i in range(0, size, 2):
                    line.append((line_indices[i] << 4) | line_indices[i + 1])
            xor += line + b"\0" * (stride - len(line))
    and_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(and_stride)
        for x, (_, covered) in enumerate(row):
            if not covered:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask),
                         0, 0, len(palette), 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + colours + bytes(xor) + bytes(mask)


def icon_file():
    entries = [(size, bits) for size in (48, 32, 16) for bits in (4, 8, 24)]
    images = [icon_entry(size, bits) for size, bits in entries]
    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    for (size, bits), image in zip(entries, images):
        directory += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits,
                                 len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


# Entry --------------------------------------------------------------------------------------

OUTPUTS = {
    "PanelBackground.bmp": lambda: panel_background().bmp(),
    "AboutBackground.bmp": lambda: about_background().bmp(),
    "Kestrel.ico": icon_file,
}


def main(argv):
    check = "--check" in argv
    stale = []
    for name, make in OUTPUTS.items():
        data = make()
        path = os.path.join(HERE, name)
        if check:
            with open(path, "rb") as existing:
                if existing.read() != data:
                    stale.append(name)
        else:
            with open(path, "wb") as out:
                out.write(data)
    if stale:
        print("out of date, run make_art.py: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
