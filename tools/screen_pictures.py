#!/usr/bin/env python3
"""Pictures of the program for docs/screens, with nothing but Python's standard library.

  xwd -root -silent | screen_pictures.py png OUT.png
      turns an X window dump (24/32 bits a pixel, as Xvfb gives) into a PNG.
  screen_pictures.py stack OUT.png SCALE FILE:X:Y:W:H [FILE:X:Y:W:H ...]
      cuts the given rectangles out of RGB PNGs (as written by the command above or by
      kestra --screenshot), enlarges each SCALE times and stacks them top to bottom with a
      grey rule between.
  screen_pictures.py pixel FILE.png X,Y [X,Y ...]
      prints the colour at each pixel (to tell a flashing indicator's phase).
"""
import struct
import sys
import zlib


def write_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                  chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def xwd_to_rows(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, depth, width, height = fields[0], fields[3], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line, colours = fields[7], fields[11], fields[12], fields[19]
    if bits_per_pixel != 32 or depth < 24:
        sys.exit("only 24/32-bit dumps are read (start Xvfb with -screen 0 WxHx24)")
    offset = header_size + colours * 12
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line:offset + y * bytes_per_line + width * 4]
        row = bytearray(width * 3)
        if byte_order == 0:  # least significant byte first: blue, green, red, pad
            row[0::3], row[1::3], row[2::3] = line[2::4], line[1::4], line[0::4]
        else:
            row[0::3], row[1::3], row[2::3] = line[1::4], line[2::4], line[3::4]
        rows.append(bytes(row))
    return width, height, rows


def read_png(path):
    """An 8-bit RGB or RGBA PNG, returned as rows of RGB bytes."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width, height, kind = 8, b"", 0, 0, 2
    while pos < len(data):
        length = struct.unpack(">I", data[pos:pos + 4])[0]
        name, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        if name == b"IHDR":
            width, height, depth, kind = struct.unpack(">IIBB", body[:10])
            if depth != 8 or kind not in (2, 6):
                sys.exit(f"{path}: only 8-bit RGB or RGBA pictures are read")
        elif name == b"IDAT":
            idat += body
        pos += 12 + length
    step = 3 if kind == 2 else 4
    raw, stride = zlib.decompress(idat), width * step
    rows, previous, i = [], bytearray(stride), 0
    for _ in range(height):
        method, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - step] if x >= step else 0
            b = previous[x]
            c = previous[x - step] if x >= step else 0
            if method == 1:
                line[x] = (line[x] + a) & 255
            elif method == 2:
                line[x] = (line[x] + b) & 255
            elif method == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif method == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        previous = line
        if step == 4:
            line = bytearray(b for j in range(width) for b in line[j * 4:j * 4 + 3])
        rows.append(bytes(line))
    return width, height, rows


def stack(out, scale, pieces):
    parts, width = [], 0
    for piece in pieces:
        path, x, y, w, h = piece.rsplit(":", 4)
        x, y, w, h = int(x), int(y), int(w), int(h)
        _, _, rows = read_png(path)
        crop = []
        for row in rows[y:y + h]:
            cut = row[x * 3:(x + w) * 3]
            line = b"".join(cut[j * 3:j * 3 + 3] * scale for j in range(w))
            crop.extend([line] * scale)
        parts.append(crop)
        width = max(width, w * scale)
    lines = []
    for n, crop in enumerate(parts):
        if n:
            lines.extend([b"\x40\x40\x40" * width] * 2)
        lines.extend(line + b"\x00" * (width * 3 - len(line)) for line in crop)
    write_png(out, width, len(lines), lines)


def main(args):
    if len(args) == 2 and args[0] == "png":
        width, height, rows = xwd_to_rows(sys.stdin.buffer.read())
        write_png(args[1], width, height, rows)
    elif len(args) >= 4 and args[0] == "stack":
        stack(args[1], int(args[2]), args[3:])
    elif len(args) >= 3 and args[0] == "pixel":
        _, _, rows = read_png(args[1])
        for point in args[2:]:
            x, y = (int(v) for v in point.split(","))
            print(point, rows[y][x * 3:x * 3 + 3].hex())
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
