"""Image file oracle for the image codecs, with zlib and struct only.

`write DIR`: writes PNG and BMP files of many layouts into DIR and, in DIR/expected.txt, one
line per file: name, width, height and the pixels as 8-digit hexadecimal A R G B words.
`check DIR`: reads DIR/ours.png, DIR/ours-opaque.png and DIR/ours.bmp (written by the
runtime from the shared pattern) and exits 1 when a pixel differs.
"""
import struct
import sys
import zlib

ALPHAS = [255, 0, 1, 127, 128, 254]


def pattern(x, y):
    return (ALPHAS[(x + y) % 6], (x * 37) & 255, (y * 59) & 255, (x * y) & 255)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def filter_rows(rows, bpp):
    """Each row with its own filter type (cycling 0-4), so every unfilter is exercised."""
    out = bytearray()
    prev = bytes(len(rows[0]))
    for i, row in enumerate(rows):
        kind = i % 5
        out.append(kind)
        for j, v in enumerate(row):
            a = row[j - bpp] if j >= bpp else 0
            b = prev[j]
            c = prev[j - bpp] if j >= bpp else 0
            pred = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
            out.append((v - pred) & 255)
        prev = row
    return bytes(out)


def png(w, h, depth, ctype, rows, bpp, extra=b""):
    ihdr = struct.pack(">IIBBBBB", w, h, depth, ctype, 0, 0, 0)
    data = zlib.compress(filter_rows(rows, bpp))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra + chunk(b"IDAT", data)
            + chunk(b"IEND", b""))


def word(a, r, g, b):
    return "%02X%02X%02X%02X" % (a, r, g, b)


def write(d):
    files = []  # (name, bytes, w, h, [(a, r, g, b)])
    w, h = 7, 5
    px = [[pattern(x, y) for x in range(w)] for y in range(h)]
    flat = [p for row in px for p in row]
    # PNG: RGBA, RGB, grey, grey+alpha, palette with tRNS, 1-bit grey, 16-bit RGB.
    rows = [bytes(v for (a, r, g, b) in row for v in (r, g, b, a)) for row in px]
    files.append(("rgba.png", png(w, h, 8, 6, rows, 4), w, h, flat))
    rows = [bytes(v for (a, r, g, b) in row for v in (r, g, b)) for row in px]
    files.append(("rgb.png", png(w, h, 8, 2, rows, 3), w, h, [(255, r, g, b) for (a, r, g, b) in flat]))
    rows = [bytes(g for (a, r, g, b) in row) for row in px]
    files.append(("grey.png", png(w, h, 8, 0, rows, 1), w, h, [(255, g, g, g) for (a, r, g, b) in flat]))
    rows = [bytes(v for (a, r, g, b) in row for v in (r, a)) for row in px]
    files.append(("grey-alpha.png", png(w, h, 8, 4, rows, 2), w, h, [(a, r, r, r) for (a, r, g, b) in flat]))
    palette = [(i * 40 % 256, i * 90 % 256, i * 13 % 256) for i in range(6)]
    trns = bytes([255, 0, 128, 255, 17])  # entries past it stay opaque
    idx = [[(x * 3 + y) % 6 for x in range(w)] for y in range(h)]
    rows = [bytes(row) for row in idx]
    extra = chunk(b"PLTE", bytes(v for c in palette for v in c)) + chunk(b"tRNS", trns)
    exp = []
    for row in idx:
        for i in row:
            r, g, b = palette[i]
            exp.append((trns[i] if i < len(trns) else 255, r, g, b))
    files.append(("palette.png", png(w, h, 8, 3, rows, 1, extra), w, h, exp))
    bits = [[(x + y) % 3 == 0 for x in range(w)] for y in range(h)]
    rows = []
    for row in bits:
        v = 0
        for i, bit in enumerate(row):
            v |= (1 if bit else 0) << (7 - i)
        rows.append(bytes([v]))
    files.append(("grey1.png", png(w, h, 1, 0, rows, 1), w, h,
                  [(255, 255, 255, 255) if bit else (255, 0, 0, 0) for row in bits for bit in row]))
    rows = [b"".join(struct.pack(">HHH", r * 257, g * 256 + 200, b * 256 + 255) for (a, r, g, b) in row)
            for row in px]
    files.append(("rgb16.png", png(w, h, 16, 2, rows, 6), w, h, [(255, r, g, b) for (a, r, g, b) in flat]))

    # BMP: 24-bit both row orders, 32-bit plain and with a V5 alpha mask, 8/4/1-bit
    # palettes, 16-bit 565 bitfields and 555 plain.
    def bmp(w, h, bpp, rows_bytes, top_down=False, compression=0, header=40, masks=None,
            palette=b""):
        stride = (w * bpp + 31) // 32 * 4
        data = b"".join(r.ljust(stride, b"\0") for r in (rows_bytes if top_down else rows_bytes[::-1]))
        info = struct.pack("<IiiHHIIiiII", header, w, -h if top_down else h, 1, bpp, compression,
                           len(data), 2835, 2835, 0, 0)
        if masks and header >= 56:
            info += struct.pack("<IIII", *masks)
        elif masks:
            info += struct.pack("<III", *masks[:3])
        info = info.ljust(header if header > 40 else len(info), b"\0")
        off = 14 + len(info) + len(palette)
        return b"BM" + struct.pack("<IHHI", off + len(data), 0, 0, off) + info + palette + data

    opaque = [(255, r, g, b) for (a, r, g, b) in flat]
    rows24 = [bytes(v for (a, r, g, b) in row for v in (b, g, r)) for row in px]
    files.append(("rgb24.bmp", bmp(w, h, 24, rows24), w, h, opaque))
    files.append(("rgb24-top-down.bmp", bmp(w, h, 24, rows24, top_down=True), w, h, opaque))
    rows32 = [bytes(v for (a, r, g, b) in row for v in (b, g, r, a)) for row in px]
    files.append(("rgb32.bmp", bmp(w, h, 32, rows32), w, h, opaque))
    files.append(("bgra-v5.bmp", bmp(w, h, 32, rows32, compression=3, header=124,
                                     masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)), w, h, flat))
    pal = bytes(v for (r, g, b) in palette for v in (b, g, r, 0))
    rows8 = [bytes(row) for row in idx]
    files.append(("pal8.bmp", bmp(w, h, 8, rows8, palette=pal + bytes(4 * 250)), w, h,
                  [(255,) + palette[i] for row in idx for i in row]))
    rows4 = []
    for row in idx:
        out = bytearray((w + 1) // 2)
        for i, v in enumerate(row):
            out[i // 2] |= v << (0 if i % 2 else 4)
        rows4.append(bytes(out))
    bmp4 = bmp(w, h, 4, rows4, palette=pal)
    bmp4 = bmp4[:46] + struct.pack("<I", 6) + bmp4[50:]  # colours used: 6
    files.append(("pal4.bmp", bmp4, w, h, [(255,) + palette[i] for row in idx for i in row]))
    rows1 = []
    for row in bits:
        v = 0
        for i, bit in enumerate(row):
            v |= (1 if bit else 0) << (7 - i)
        rows1.append(bytes([v]))
    pal1 = bytes([10, 20, 30, 0, 200, 210, 220, 0])
    files.append(("mono.bmp", bmp(w, h, 1, rows1, palette=pal1), w, h,
                  [(255, 220, 210, 200) if bit else (255, 30, 20, 10) for row in bits for bit in row]))

    def scale(v, bits_):
        m = (1 << bits_) - 1
        return (v * 255 + m // 2) // m

    rows565, exp565 = [], []
    for row in px:
        out = bytearray()
        for (a, r, g, b) in row:
            v = (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)
            out += struct.pack("<H", v)
            exp565.append((255, scale(r >> 3, 5), scale(g >> 2, 6), scale(b >> 3, 5)))
        rows565.append(bytes(out))
    files.append(("rgb565.bmp", bmp(w, h, 16, rows565, compression=3, masks=(0xF800, 0x7E0, 0x1F, 0)),
                  w, h, exp565))
    rows555, exp555 = [], []
    for row in px:
        out = bytearray()
        for (a, r, g, b) in row:
            out += struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
            exp555.append((255, scale(r >> 3, 5), scale(g >> 3, 5), scale(b >> 3, 5)))
        rows555.append(bytes(out))
    files.append(("rgb555.bmp", bmp(w, h, 16, rows555), w, h, exp555))

    with open(d + "/expected.txt", "w") as f:
        for name, data, fw, fh, pixels in files:
            with open(d + "/" + name, "wb") as g:
                g.write(data)
            f.write("%s %d %d %s\n" % (name, fw, fh, "".join(word(*p) for p in pixels)))


def read_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "signature"
    pos, idat, ihdr = 8, b"", None
    while pos < len(data):
        n, = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]
        crc, = struct.unpack(">I", data[pos + 8 + n:pos + 12 + n])
        assert zlib.crc32(kind + body) & 0xFFFFFFFF == crc, "crc of " + str(kind)
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    w, h, depth, ctype, _, _, interlace = ihdr
    assert depth == 8 and interlace == 0 and ctype in (2, 6)
    bpp = 4 if ctype == 6 else 3
    raw = zlib.decompress(idat)
    stride = w * bpp
    prev = bytearray(stride)
    pixels = []
    for y in range(h):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for j in range(stride):
            a = line[j - bpp] if j >= bpp else 0
            b = prev[j]
            c = prev[j - bpp] if j >= bpp else 0
            line[j] = (line[j] + [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]) & 255
        for x in range(w):
            p = line[x * bpp:(x + 1) * bpp]
            pixels.append((p[3] if bpp == 4 else 255, p[0], p[1], p[2]))
        prev = line
    return w, h, ctype, pixels


def read_bmp(path):
    data = open(path, "rb").read()
    assert data[:2] == b"BM"
    off, = struct.unpack("<I", data[10:14])
    header, w, h, planes, bpp, comp = struct.unpack("<IiiHHI", data[14:34])
    assert header == 124 and bpp == 32 and comp == 3, (header, bpp, comp)
    masks = struct.unpack("<IIII", data[54:70])
    assert masks == (0xFF0000, 0xFF00, 0xFF, 0xFF000000), masks
    pixels = []
    for y in range(abs(h)):
        row = h - 1 - y if h > 0 else y
        for x in range(w):
            b, g, r, a = data[off + (row * w + x) * 4:off + (row * w + x) * 4 + 4]
            pixels.append((a, r, g, b))
    return w, h, pixels


def check(d):
    w, h = 13, 7
    want = [pattern(x, y) for y in range(h) for x in range(w)]
    bad = 0
    pw, ph, ctype, got = read_png(d + "/ours.png")
    if (pw, ph, ctype) != (w, h, 6) or got != want:
        print("ours.png differs", pw, ph, ctype)
        bad += 1
    pw, ph, ctype, got = read_png(d + "/ours-opaque.png")
    if (pw, ph, ctype) != (w, h, 2) or got != [(255,) + p[1:] for p in want]:
        print("ours-opaque.png differs", pw, ph, ctype)
        bad += 1
    bw, bh, got = read_bmp(d + "/ours.bmp")
    if (bw, abs(bh)) != (w, h) or got != want:
        print("ours.bmp differs")
        bad += 1
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    {"write": write, "check": check}[sys.argv[1]](sys.argv[2])
