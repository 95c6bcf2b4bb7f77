"""Screenshots as pixels: a binary PPM (P6) reader and a small RGB image;
and just enough PNG to read back what the programs write."""

import struct
import zlib

TRACE = (255, 255, 0)
BACKGROUND = (0, 0, 192)
REFERENCE_LINE = (192, 0, 0)

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def _tokens(data, count):
    """The first `count` header tokens of a PNM file and the offset after them."""
    tokens = []
    i = 0
    while len(tokens) < count:
        while data[i : i + 1].isspace():
            i += 1
        if data[i : i + 1] == b"#":
            while data[i : i + 1] not in (b"\n", b""):
                i += 1
            continue
        start = i
        while i < len(data) and not data[i : i + 1].isspace():
            i += 1
        tokens.append(data[start:i])
    # Exactly one whitespace byte separates the header from the raster.
    return tokens, i + 1


class Image:
    """An RGB image, 8 bits per channel, rows top to bottom."""

    def __init__(self, width, height, rgb):
        if len(rgb) < width * height * 3:
            raise ValueError("raster shorter than %dx%d" % (width, height))
        self.width = width
        self.height = height
        self.rgb = rgb

    @classmethod
    def from_ppm(cls, data):
        (magic, width, height, maxval), offset = _tokens(data, 4)
        if magic != b"P6" or int(maxval) != 255:
            raise ValueError("not an 8-bit binary PPM: %r %r" % (magic, maxval))
        return cls(int(width), int(height), data[offset:])

    def pixel(self, x, y):
        o = (y * self.width + x) * 3
        return tuple(self.rgb[o : o + 3])

    def crop(self, left, top, width, height):
        rows = []
        for y in range(top, top + height):
            o = (y * self.width + left) * 3
            rows.append(self.rgb[o : o + width * 3])
        return Image(width, height, b"".join(rows))

    def column(self, x):
        return [self.pixel(x, y) for y in range(self.height)]

    def row(self, y):
        return [self.pixel(x, y) for x in range(self.width)]

    def points(self, colour):
        """Every (x, y) whose pixel is exactly `colour`."""
        want = bytes(colour)
        found = []
        for y in range(self.height):
            o = y * self.width * 3
            line = self.rgb[o : o + self.width * 3]
            start = line.find(want)
            while start != -1:
                if start % 3 == 0:
                    found.append((start // 3, y))
                start = line.find(want, start + 1)
        return found

    def uniform(self):
        """Whether every pixel has the same colour."""
        n = self.width * self.height
        return self.rgb[: n * 3] == self.rgb[:3] * n

    def colours(self):
        """How many pixels of each colour."""
        counts = {}
        for o in range(0, self.width * self.height * 3, 3):
            c = tuple(self.rgb[o : o + 3])
            counts[c] = counts.get(c, 0) + 1
        return counts

    def has_near(self, x, y, colour, radius):
        want = tuple(colour)
        for yy in range(max(0, y - radius), min(self.height, y + radius + 1)):
            for xx in range(max(0, x - radius), min(self.width, x + radius + 1)):
                if self.pixel(xx, yy) == want:
                    return True
        return False

    def to_ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + bytes(self.rgb[: self.width * self.height * 3])


def png_size(path):
    """(width, height) from a PNG's header."""
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != PNG_SIGNATURE:
        raise ValueError("not a PNG")
    return struct.unpack(">II", head[16:24])


def read_png(path):
    """Returns (width, height, rows of RGBA tuples) of an 8-bit RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != PNG_SIGNATURE:
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise ValueError("not 8-bit RGBA: depth %d colour type %d" % (depth, colour))
    raw = zlib.decompress(idat)
    stride, bpp = width * 4, 4
    rows, prev = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, cur = line[0], bytearray(line[1:])
        for i in range(stride):
            a = cur[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                cur[i] = (cur[i] + a) & 0xFF
            elif kind == 2:
                cur[i] = (cur[i] + b) & 0xFF
            elif kind == 3:
                cur[i] = (cur[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[i] = (cur[i] + pred) & 0xFF
        rows.append([tuple(cur[x * 4:x * 4 + 4]) for x in range(width)])
        prev = cur
    return width, height, rows
