#!/usr/bin/env python3
"""Converts a PNG picture into a one-page PDF holding just that picture.

The manual is typeset by groff, whose PDF output takes pictures only as PDF
files (.PDFPIC). Debian's ImageMagick refuses to write PDF by its security
policy, so the screenshots of the documentation are converted here, with the
standard library only.

Usage: png2pdf.py input.png output.pdf [dpi]   (dpi of the page size, default 96)

Supported: 8-bit and 16-bit grey, RGB, palette, grey+alpha and RGBA pictures,
not interlaced (the screenshots are written that way). Transparency is put on
white.
"""

import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, chunks = 8, []
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunks.append((kind, data[pos + 8:pos + 8 + length]))
        pos += 12 + length
    header = next(c for k, c in chunks if k == b"IHDR")
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", header)
    if interlace:
        raise ValueError(f"{path}: interlaced PNG files are not supported")
    if depth not in (8, 16) and colour != 3:
        raise ValueError(f"{path}: bit depth {depth} is not supported")
    palette = next((c for k, c in chunks if k == b"PLTE"), None)
    transparency = next((c for k, c in chunks if k == b"tRNS"), None)
    raw = zlib.decompress(b"".join(c for k, c in chunks if k == b"IDAT"))
    return width, height, depth, colour, palette, transparency, raw


def unfilter(raw, width, height, bpp, row_bytes):
    """Undoes the PNG row filters; returns the bytes of all rows."""
    out = bytearray()
    previous = bytearray(row_bytes)
    pos = 0
    for _ in range(height):
        kind = raw[pos]
        row = bytearray(raw[pos + 1:pos + 1 + row_bytes])
        pos += 1 + row_bytes
        if kind == 1:
            for i in range(bpp, row_bytes):
                row[i] = (row[i] + row[i - bpp]) & 0xFF
        elif kind == 2:
            for i in range(row_bytes):
                row[i] = (row[i] + previous[i]) & 0xFF
        elif kind == 3:
            for i in range(row_bytes):
                left = row[i - bpp] if i >= bpp else 0
                row[i] = (row[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(row_bytes):
                a = row[i - bpp] if i >= bpp else 0
                b = previous[i]
                c = previous[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                row[i] = (row[i] + pred) & 0xFF
        elif kind != 0:
            raise ValueError(f"unknown PNG filter {kind}")
        out += row
        previous = row
    return out


def to_rgb(width, height, depth, colour, palette, transparency, raw):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    if colour == 3:
        bits = depth
        row_bytes = (width * bits + 7) // 8
        pixels = unfilter(raw, width, height, 1, row_bytes)
        alpha = list(transparency or b"")
        rgb = bytearray()
        for y in range(height):
            row = pixels[y * row_bytes:(y + 1) * row_bytes]
            for x in range(width):
                bitpos = x * bits
                index = (row[bitpos // 8] >> (8 - bits - bitpos % 8)) & ((1 << bits) - 1)
                r, g, b = palette[3 * index:3 * index + 3]
                a = alpha[index] if index < len(alpha) else 255
                rgb += bytes(((v * a + 255 * (255 - a)) // 255) for v in (r, g, b))
        return rgb
    sample = depth // 8
    bpp = channels * sample
    pixels = unfilter(raw, width, height, bpp, width * bpp)
    if sample == 2:  # keep the high byte of 16-bit samples
        pixels = pixels[0::2]
    if colour == 2:
        return pixels
    rgb = bytearray()
    step = channels
    for i in range(0, len(pixels), step):
        if colour == 0:
            g = pixels[i]
            rgb += bytes((g, g, g))
        elif colour == 4:
            g, a = pixels[i], pixels[i + 1]
            v = (g * a + 255 * (255 - a)) // 255
            rgb += bytes((v, v, v))
        else:  # 6: RGBA
            a = pixels[i + 3]
            rgb += bytes(((pixels[i + k] * a + 255 * (255 - a)) // 255) for k in range(3))
    return rgb


def write_pdf(path, width, height, rgb, dpi):
    w_pt = width * 72.0 / dpi
    h_pt = height * 72.0 / dpi
    image = zlib.compress(bytes(rgb), 9)
    content = f"q {w_pt:.2f} 0 0 {h_pt:.2f} 0 0 cm /Im0 Do Q".encode()
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        (f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 {w_pt:.2f} {h_pt:.2f}] "
         f"/Resources << /XObject << /Im0 4 0 R >> >> /Contents 5 0 R >>").encode(),
        (f"<< /Type /XObject /Subtype /Image /Width {width} /Height {height} "
         f"/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode "
         f"/Length {len(image)} >>\nstream\n").encode() + image + b"\nendstream",
        f"<< /Length {len(content)} >>\nstream\n".encode() + content + b"\nendstream",
    ]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, start=1):
        offsets.append(len(out))
        out += f"{number} 0 obj\n".encode() + body + b"\nendobj\n"
    xref = len(out)
    out += f"xref\n0 {len(objects) + 1}\n0000000000 65535 f \n".encode()
    for offset in offsets:
        out += f"{offset:010d} 00000 n \n".encode()
    out += (f"trailer\n<< /Size {len(objects) + 1} /Root 1 0 R >>\n"
            f"startxref\n{xref}\n%%EOF\n").encode()
    with open(path, "wb") as f:
        f.write(out)


def main(argv):
    if len(argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    dpi = float(argv[3]) if len(argv) == 4 else 96.0
    width, height, depth, colour, palette, transparency, raw = read_png(argv[1])
    rgb = to_rgb(width, height, depth, colour, palette, transparency, raw)
    write_pdf(argv[2], width, height, rgb, dpi)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
