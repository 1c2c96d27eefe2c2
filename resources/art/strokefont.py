"""The product's display lettering: squared capitals with cut corners, drawn as round-capped
strokes. Glyphs sit on a grid 10 units tall; the numbers are polylines in (x, y), y down."""

from canvas import sdf_strokes

C = 1.3  # the cut taken off each corner

GLYPHS = {
    "A": (6, [[(0, 10), (0, 2.2), (C + 0.9, 0), (6 - C - 0.9, 0), (6, 2.2), (6, 10)],
              [(0, 6), (6, 6)]]),
    "C": (6, [[(6, C), (6 - C, 0), (C, 0), (0, C), (0, 10 - C), (C, 10), (6 - C, 10),
               (6, 10 - C)]]),
    "D": (6, [[(0, 0), (6 - C - 0.6, 0), (6, C + 0.6), (6, 10 - C - 0.6), (6 - C - 0.6, 10),
               (0, 10), (0, 0)]]),
    "E": (5.6, [[(5.6, 0), (0, 0), (0, 10), (5.6, 10)], [(0, 5), (4.6, 5)]]),
    "F": (5.6, [[(5.6, 0), (0, 0), (0, 10)], [(0, 5), (4.6, 5)]]),
    "H": (6, [[(0, 0), (0, 10)], [(6, 0), (6, 10)], [(0, 5), (6, 5)]]),
    "I": (0, [[(0, 0), (0, 10)]]),
    "K": (6, [[(0, 0), (0, 10)], [(6, 0), (1.2, 5.0), (0, 5.0)], [(2.6, 5.0), (6, 10)]]),
    "L": (5.4, [[(0, 0), (0, 10), (5.4, 10)]]),
    "M": (7.4, [[(0, 10), (0, 0), (3.7, 6.2), (7.4, 0), (7.4, 10)]]),
    "N": (6, [[(0, 10), (0, 0), (6, 10), (6, 0)]]),
    "O": (6, [[(C, 0), (6 - C, 0), (6, C), (6, 10 - C), (6 - C, 10), (C, 10), (0, 10 - C),
               (0, C), (C, 0)]]),
    "P": (6, [[(0, 10), (0, 0), (6 - C, 0), (6, C), (6, 5 - C), (6 - C, 5), (0, 5)]]),
    "Q": (6, [[(C, 0), (6 - C, 0), (6, C), (6, 10 - C), (6 - C, 10), (C, 10), (0, 10 - C),
               (0, C), (C, 0)], [(3.8, 7.6), (6.6, 10.6)]]),
    "R": (6, [[(0, 10), (0, 0), (6 - C, 0), (6, C), (6, 5 - C), (6 - C, 5), (0, 5)],
              [(3.4, 5), (6, 10)]]),
    "S": (6, [[(6, C), (6 - C, 0), (C, 0), (0, C), (0, 5 - C), (C, 5), (6 - C, 5), (6, 5 + C),
               (6, 10 - C), (6 - C, 10), (C, 10), (0, 10 - C)]]),
    "T": (6, [[(0, 0), (6, 0)], [(3, 0), (3, 10)]]),
    "U": (6, [[(0, 0), (0, 10 - C), (C, 10), (6 - C, 10), (6, 10 - C), (6, 0)]]),
    "V": (6.4, [[(0, 0), (3.2, 10), (6.4, 0)]]),
    "W": (8.4, [[(0, 0), (2.1, 10), (4.2, 2), (6.3, 10), (8.4, 0)]]),
}


def layout(text, cap_height, weight, x, y, tracking=2.2, slant=0.0):
    """Segments in pixels for `text` whose capitals span y..y+cap_height from x on.
    `weight` is the stroke width in grid units, `tracking` the gap between letters, `slant`
    the italic shear (x moves right by slant * height above the baseline)."""
    unit = cap_height / 10.0
    half = weight / 2.0
    segments = []
    pen = half
    for ch in text:
        if ch == " ":
            pen += 4.0
            continue
        width, strokes = GLYPHS[ch]
        for stroke in strokes:
            points = [(x + (pen + px) * unit + slant * (10 - py - 5) * unit, y + py * unit)
                      for px, py in stroke]
            segments += list(zip(points, points[1:]))
        pen += width + tracking + weight
    pen -= tracking + weight
    return segments, (pen + half) * unit


def text_width(text, cap_height, weight, tracking=2.2):
    return layout(text, cap_height, weight, 0, 0, tracking)[1]


def shape(text, cap_height, weight, x, y, tracking=2.2, slant=0.0):
    """The lettering as a distance function and its pixel bounds."""
    segments, width = layout(text, cap_height, weight, x, y, tracking, slant)
    half = weight * cap_height / 20.0
    pad = half + 2 + abs(slant) * cap_height
    bounds = (x - pad, y - pad, x + width + pad, y + cap_height * 1.1 + pad)
    return sdf_strokes(segments, half), bounds
