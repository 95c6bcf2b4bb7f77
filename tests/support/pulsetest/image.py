"""Screenshots as pixels: a binary PPM (P6) reader and a small RGB image."""

TRACE = (255, 255, 0)
BACKGROUND = (0, 0, 192)
REFERENCE_LINE = (192, 0, 0)


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
