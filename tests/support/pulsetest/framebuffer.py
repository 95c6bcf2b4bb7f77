"""The screen as Xvfb keeps it in a file (started with -fbdir), read in
place: a region can be looked at every few milliseconds, which a capture
through xwd, at tens of milliseconds each, cannot. Used to time the frames a
window shows."""

import mmap
import struct
import time

_HEADER_FIELDS = 25  # XWDFileHeader: CARD32 each; an XWDColor is 12 bytes


class Framebuffer:
    def __init__(self, path):
        with open(path, "rb") as f:
            self._map = mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)
        head = self._map[:4 * _HEADER_FIELDS]
        fields = struct.unpack(">%dI" % _HEADER_FIELDS, head)
        if fields[0] > 4096:  # a header written in the machine's order
            fields = struct.unpack("<%dI" % _HEADER_FIELDS, head)
        header_size, bits_per_pixel, self._line, colours = fields[0], fields[11], fields[12], fields[19]
        self._pixel = bits_per_pixel // 8
        self._data = header_size + 12 * colours
        self._view = memoryview(self._map)

    def region(self, left, top, width, height):
        """The region's pixel bytes as they are now."""
        start = self._data + left * self._pixel
        return b"".join(self._view[start + y * self._line:start + y * self._line + width * self._pixel]
                        for y in range(top, top + height))

    def changes(self, rect, seconds, interval=0.004):
        """The times (time.monotonic()) at which the region was seen to
        change, looked at every `interval` for `seconds`."""
        seen, out = self.region(*rect), []
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            time.sleep(interval)
            now = self.region(*rect)
            if now != seen:
                seen = now
                out.append(time.monotonic())
        return out

    def close(self):
        self._view.release()
        self._map.close()
