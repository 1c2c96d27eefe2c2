"""A small RGB canvas with anti-aliased shapes, enough to paint the product's artwork.

Shapes are given as signed distance functions (negative inside); a pixel's coverage is its
distance to the edge clamped to one pixel, which anti-aliases every edge the same way. Colours
are (r, g, b) tuples of 0-255 floats. Nothing here is random: the same calls give the same bytes.
"""

import math
import struct


def clamp(value, low=0.0, high=1.0):
    return low if value < low else high if value > high else value


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


class Noise:
    """xorshift32: a fixed sequence of floats in [0, 1)."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x / 4294967296.0


# Distance functions -------------------------------------------------------------------------

def sdf_rounded_rect(x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius

    def d(px, py):
        qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return d


def sdf_circle(cx, cy, radius):
    return lambda px, py: math.hypot(px - cx, py - cy) - radius


def sdf_ring(cx, cy, radius, half_width):
    return lambda px, py: abs(math.hypot(px - cx, py - cy) - radius) - half_width


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else clamp(((px - ax) * dx + (py - ay) * dy) / length2)
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def sdf_strokes(segments, half_width):
    """Round-capped strokes along the given ((ax, ay), (bx, by)) segments."""

    def d(px, py):
        best = 1e9
        for (ax, ay), (bx, by) in segments:
            dist = segment_distance(px, py, ax, ay, bx, by)
            if dist < best:
                best = dist
        return best - half_width

    return d


def sdf_polygon(points):
    """A closed polygon (even-odd rule)."""
    n = len(points)

    def d(px, py):
        best = 1e9
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            best = min(best, segment_distance(px, py, ax, ay, bx, by))
            if (ay > py) != (by > py) and px < (bx - ax) * (py - ay) / (by - ay) + ax:
                inside = not inside
        return -best if inside else best

    return d


def sdf_intersect(a, b):
    return lambda px, py: max(a(px, py), b(px, py))


def sdf_subtract(a, b):
    return lambda px, py: max(a(px, py), -b(px, py))


# Canvas -------------------------------------------------------------------------------------

class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0)):
        self.width = width
        self.height = height
        self.r = [float(colour[0])] * (width * height)
        self.g = [float(colour[1])] * (width * height)
        self.b = [float(colour[2])] * (width * height)

    def get(self, x, y):
        i = y * self.width + x
        return (self.r[i], self.g[i], self.b[i])

    def put(self, x, y, colour):
        i = y * self.width + x
        self.r[i], self.g[i], self.b[i] = colour

    def blend(self, x, y, colour, alpha):
        if alpha <= 0.0 or x < 0 or y < 0 or x >= self.width or y >= self.height:
            return
        i = y * self.width + x
        if alpha >= 1.0:
            self.r[i], self.g[i], self.b[i] = colour
            return
        self.r[i] += (colour[0] - self.r[i]) * alpha
        self.g[i] += (colour[1] - self.g[i]) * alpha
        self.b[i] += (colour[2] - self.b[i]) * alpha

    def shade(self, x, y, amount):
        """Lighten (amount > 0) or darken (< 0) by a fraction."""
        if x < 0 or y < 0 or x >= self.width or y >= self.height:
            return
        target = (255.0, 255.0, 255.0) if amount > 0 else (0.0, 0.0, 0.0)
        self.blend(x, y, target, abs(amount))

    def fill(self, shape, paint, bounds=None, opacity=1.0):
        """Paints `shape` (a distance function) with `paint`: a colour or a function (x, y)."""
        x0, y0, x1, y1 = bounds or (0, 0, self.width, self.height)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        solid = not callable(paint)
        for y in range(y0, y1):
            py = y + 0.5
            for x in range(x0, x1):
                coverage = clamp(0.5 - shape(x + 0.5, py))
                if coverage > 0.0:
                    colour = paint if solid else paint(x + 0.5, py)
                    self.blend(x, y, colour, coverage * opacity)

    def coverage_mask(self, shape, bounds):
        x0, y0, x1, y1 = [int(v) for v in bounds]
        return {(x, y): clamp(0.5 - shape(x + 0.5, y + 0.5))
                for y in range(max(0, y0), min(self.height, y1))
                for x in range(max(0, x0), min(self.width, x1))}

    def shadow(self, shape, bounds, offset=(0, 2), blur=3, opacity=0.45, colour=(0, 0, 0)):
        """A soft shadow of `shape`, offset and box-blurred, under whatever is painted next."""
        pad = blur * 2 + 2
        x0, y0, x1, y1 = bounds
        x0, y0 = int(x0) - pad, int(y0) - pad
        x1, y1 = int(x1) + pad, int(y1) + pad
        w, h = x1 - x0, y1 - y0
        grid = [[clamp(0.5 - shape(x0 + x + 0.5 - offset[0], y0 + y + 0.5 - offset[1]))
                 for x in range(w)] for y in range(h)]
        for _ in range(2):
            grid = [box_blur_row(row, blur) for row in grid]
            columns = [box_blur_row([grid[y][x] for y in range(h)], blur) for x in range(w)]
            grid = [[columns[x][y] for x in range(w)] for y in range(h)]
        for y in range(h):
            for x in range(w):
                self.blend(x0 + x, y0 + y, colour, grid[y][x] * opacity)

    def pixels(self, points, colour, alpha=1.0, offset=(0, 0)):
        for x, y in points:
            self.blend(x + offset[0], y + offset[1], colour, alpha)

    def line_h(self, x0, x1, y, colour, alpha=1.0):
        for x in range(x0, x1):
            self.blend(x, y, colour, alpha)

    def line_v(self, x, y0, y1, colour, alpha=1.0):
        for y in range(y0, y1):
            self.blend(x, y, colour, alpha)

    def bgr_rows(self):
        """24-bit rows, bottom row first, each padded to 4 bytes (a bottom-up DIB)."""
        pad = b"\0" * ((4 - self.width * 3 % 4) % 4)
        rows = []
        for y in range(self.height - 1, -1, -1):
            row = bytearray()
            for x in range(self.width):
                r, g, b = self.get(x, y)
                row += bytes((to_byte(b), to_byte(g), to_byte(r)))
            rows.append(bytes(row) + pad)
        return b"".join(rows)

    def bmp(self):
        pixels = self.bgr_rows()
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(pixels),
                           3780, 3780, 0, 0)
        header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
        return header + info + pixels


def to_byte(value):
    return min(255, int(clamp(value, 0.0, 255.0) + 0.5))


def box_blur_row(values, radius):
    n = len(values)
    out = [0.0] * n
    window = 2 * radius + 1
    total = sum(values[0:min(n, radius + 1)])
    count = min(n, radius + 1)
    for i in range(n):
        out[i] = total / window if count else 0.0
        add, drop = i + radius + 1, i - radius
        if add < n:
            total += values[add]
            count += 1
        if drop >= 0:
            total -= values[drop]
            count -= 1
    return out
