#!/usr/bin/env python3
"""Draws the program's icons and toolbar strip as small pixel art and writes them as .ico and
.bmp files in the 16 standard colours (the 256-colour icon images use the same colours).

    tools/artwork/make_artwork.py res/art

Each picture is drawn on a 16-unit grid and scaled, so every size shows the same shapes."""
import struct
import sys
from pathlib import Path

# The 16 standard colours, in the usual palette order.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARKRED, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GREY, RED, LIME, YELLOW, BLUE, \
    FUCHSIA, AQUA, WHITE = range(16)
CLEAR = None  # transparent in icons; the button face in the toolbar strip


class Canvas:
    def __init__(self, size, background=CLEAR):
        self.size = size
        self.scale = size / 16.0
        self.px = [[background] * size for _ in range(size)]

    def _cells(self, x0, y0, x1, y1):
        s = self.scale
        for y in range(int(round(y0 * s)), max(int(round(y1 * s)), int(round(y0 * s)) + 1)):
            for x in range(int(round(x0 * s)), max(int(round(x1 * s)), int(round(x0 * s)) + 1)):
                if 0 <= x < self.size and 0 <= y < self.size:
                    yield x, y

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the unit rectangle [x0, x1) x [y0, y1)."""
        for x, y in self._cells(x0, y0, x1, y1):
            self.px[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour, t=1):
        self.rect(x0, y0, x1, y0 + t, colour)
        self.rect(x0, y1 - t, x1, y1, colour)
        self.rect(x0, y0, x0 + t, y1, colour)
        self.rect(x1 - t, y0, x1, y1, colour)

    def disc(self, cx, cy, r, colour):
        s = self.scale
        for y in range(self.size):
            for x in range(self.size):
                if ((x + 0.5) / s - cx) ** 2 + ((y + 0.5) / s - cy) ** 2 <= r * r:
                    self.px[y][x] = colour

    def ring(self, cx, cy, rx, ry, t, colour):
        """An elliptic ring of thickness t (in units) around (cx, cy)."""
        s = self.scale
        for y in range(self.size):
            for x in range(self.size):
                u, v = (x + 0.5) / s - cx, (y + 0.5) / s - cy
                outer = (u / rx) ** 2 + (v / ry) ** 2 <= 1
                inner = (u / (rx - t)) ** 2 + (v / (ry - t)) ** 2 <= 1
                if outer and not inner:
                    self.px[y][x] = colour

    def line(self, x0, y0, x1, y1, colour, t=1.0):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 4) + 1
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            self.rect(x - t / 2, y - t / 2, x + t / 2, y + t / 2, colour)


# --- the pictures ---------------------------------------------------------------------------

def program_icon(c):
    """A grey box joined by a short stem with a yellow square to a horizontal grey cable."""
    c.rect(2, 1, 14, 8, GREY)
    c.frame(2, 1, 14, 8, BLACK)
    c.rect(4, 3, 12, 5, SILVER)
    c.rect(11, 5.5, 13, 6.5, LIME)
    c.rect(7, 8, 9, 10, GREY)
    c.rect(5.5, 9.5, 10.5, 13, YELLOW)
    c.rect(0, 13, 16, 15, GREY)
    c.rect(0, 15, 16, 16, BLACK)


def chain_link(c, broken):
    """Two oval links: hooked into each other, or pulled apart with a red break between."""
    if broken:
        c.ring(4.2, 8, 4, 3, 1.6, GREY)
        c.ring(11.8, 8, 4, 3, 1.6, GREY)
        c.line(8, 2, 8, 4, RED, 1.2)
        c.line(8, 12, 8, 14, RED, 1.2)
    else:
        c.ring(5.5, 8, 5, 3.5, 1.6, GREY)
        c.ring(10.5, 8, 5, 3.5, 1.6, BLACK)
        c.rect(7.5, 4.5, 9, 6.2, GREY)  # the left link passes over the right one at the top


def button_new(c):
    """A grey cable plug with a small yellow spark."""
    c.rect(0, 9, 5, 11, GREY)
    c.rect(5, 7, 11, 13, GREY)
    c.frame(5, 7, 11, 13, BLACK)
    c.rect(11, 8, 14, 9, BLACK)
    c.rect(11, 11, 14, 12, BLACK)
    c.line(12, 1, 10, 4, YELLOW)
    c.line(10, 4, 14, 4, YELLOW)
    c.line(14, 4, 12, 7, YELLOW)


def button_edit(c):
    """A form sheet with lines, hanging on a cable."""
    c.rect(7.5, 0, 8.5, 3, GREY)
    c.rect(3, 3, 13, 16, WHITE)
    c.frame(3, 3, 13, 16, BLACK)
    for y in (6, 9, 12):
        c.rect(5, y, 11, y + 1, NAVY)


def button_reset(c):
    """A grey network box above a line crossed by a red X."""
    c.rect(3, 1, 13, 7, GREY)
    c.frame(3, 1, 13, 7, BLACK)
    c.rect(5, 3, 7, 4, LIME)
    c.rect(7.5, 7, 8.5, 10, BLACK)
    c.rect(0, 11, 16, 12, BLACK)
    c.line(5, 8.5, 11, 14.5, RED, 1.5)
    c.line(11, 8.5, 5, 14.5, RED, 1.5)


def button_delete(c):
    """A black X."""
    c.line(3, 3, 13, 13, BLACK, 2)
    c.line(13, 3, 3, 13, BLACK, 2)


def button_settings(c):
    """A yellow folder with a hammer."""
    c.rect(1, 5, 7, 7, OLIVE)
    c.rect(1, 7, 14, 15, YELLOW)
    c.frame(1, 7, 14, 15, OLIVE)
    c.line(6, 13, 12, 4, DARKRED, 1.5)
    c.rect(9, 1, 15, 4, GREY)
    c.frame(9, 1, 15, 4, BLACK)


def button_help(c):
    """A blue disc with a white question mark."""
    c.disc(8, 8, 7.5, BLUE)
    c.rect(5, 3, 11, 5, WHITE)
    c.rect(9, 5, 11, 8, WHITE)
    c.rect(7, 8, 9, 10, WHITE)
    c.rect(7, 11, 9, 13, WHITE)


# --- file formats ---------------------------------------------------------------------------

def dib(px, bits, transparent_index):
    """A BITMAPINFOHEADER, palette and pixel rows (bottom-up) for 4 or 8 bits per pixel."""
    width, height = len(px[0]), len(px)
    colours = 16 if bits == 4 else 256
    header = struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, 0, 0, 0, 0, colours, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    palette += b'\0\0\0\0' * (colours - 16)
    rows = b''
    for y in reversed(range(height)):
        idx = [transparent_index if p is None else p for p in px[y]]
        if bits == 4:
            row = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, width, 2))
        else:
            row = bytes(idx)
        rows += row + b'\0' * (-len(row) % 4)
    return header, palette, rows


def icon_image(canvas, bits):
    header, palette, rows = dib(canvas.px, bits, BLACK)
    n = canvas.size
    # The header of an icon image counts the colour and the mask rows together.
    header = header[:8] + struct.pack('<i', 2 * n) + header[12:]
    mask = b''
    for y in reversed(range(n)):
        row = bytearray((n + 7) // 8)
        for x, p in enumerate(canvas.px[y]):
            if p is None:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(row) + b'\0' * (-len(row) % 4)
    return header + palette + rows + mask


def write_icon(path, draw, sizes, depths):
    images = []
    for bits in depths:
        for size in sizes:
            c = Canvas(size)
            draw(c)
            images.append((size, bits, icon_image(c, bits)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        out += struct.pack('<BBBBHHII', size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, _, data in images)
    Path(path).write_bytes(out)


def write_toolbar_strip(path, pictures, size=16):
    """One size x size picture per button, side by side, on the button face colour."""
    px = [[SILVER] * (size * len(pictures)) for _ in range(size)]
    for i, draw in enumerate(pictures):
        c = Canvas(size, SILVER)
        draw(c)
        for y in range(size):
            px[y][size * i:size * i + size] = c.px[y]
    header, palette, rows = dib(px, 4, SILVER)
    body = header + palette + rows
    offset = 14 + len(header) + len(palette)
    Path(path).write_bytes(b'BM' + struct.pack('<IHHI', 14 + len(body), 0, 0, offset) + body)


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else 'res/art')
    out.mkdir(parents=True, exist_ok=True)
    # Beside the sizes at 96 DPI, those at 125, 150, 200 and 250 per cent, drawn sharp.
    write_icon(out / 'program.ico', program_icon, [16, 32, 48, 20, 24, 40], [4, 8])
    write_icon(out / 'client.ico', lambda c: chain_link(c, False), [32, 16, 20, 24], [4])
    write_icon(out / 'noclient.ico', lambda c: chain_link(c, True), [32, 16, 20, 24], [4])
    buttons = [button_new, button_edit, button_reset, button_delete, button_settings, button_help]
    write_toolbar_strip(out / 'toolbar.bmp', buttons)
    for size in (20, 24, 32):
        write_toolbar_strip(out / f'toolbar{size}.bmp', buttons, size)


if __name__ == '__main__':
    main()
