"""Writes uncompressed Windows BMP files (BITMAPFILEHEADER + 40-byte
BITMAPINFOHEADER, bottom-up rows) with the standard library only."""
import struct

BI_RGB = 0


def _pack_rows(rows, width, bpp):
    stride = (width * bpp // 8 + 3) & ~3
    out = bytearray()
    for row in reversed(rows):  # bottom-up: the last picture row is stored first
        if len(row) != width:
            raise ValueError("row of %d pixels, expected %d" % (len(row), width))
        if bpp == 8:
            line = bytes(row)
        else:
            line = b"".join(struct.pack("<BBB", b, g, r) for (r, g, b) in row)
        out += line + bytes(stride - len(line))
    return bytes(out)


def write_bmp(path, rows, bpp, palette=None):
    """rows: picture rows from the top; each a list of palette indices (8 bpp)
    or of (r, g, b) tuples (24 bpp). palette: list of (r, g, b) for 8 bpp."""
    height, width = len(rows), len(rows[0])
    if bpp == 8:
        if not palette or len(palette) > 256:
            raise ValueError("8 bpp needs a palette of 1 to 256 colours")
        if max(max(r) for r in rows) >= len(palette):
            raise ValueError("pixel index outside the palette")
        colour_table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
        used = len(palette)
    elif bpp == 24:
        colour_table, used = b"", 0
    else:
        raise ValueError("only 8 and 24 bpp")
    pixels = _pack_rows(rows, width, bpp)
    offset = 14 + 40 + len(colour_table)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, BI_RGB, len(pixels),
                       2835, 2835, used, used)  # 2835 px/m = 72 dpi
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + info + colour_table + pixels)
