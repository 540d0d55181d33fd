"""Image file oracle for the image codecs, with zlib and struct only.

`write DIR`: writes PNG, BMP, GIF and TIFF files of many layouts into DIR (GIF with our own
LZW encoder, following giflib's code-size steps) and, in DIR/expected.txt, one
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


def png_adam7(w, h, px):
    """An interlaced 8-bit RGBA PNG: the seven passes, each filtered on its own."""
    passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
    raw = b""
    for x0, y0, dx, dy in passes:
        rows = [bytes(v for x in range(x0, w, dx) for v in (px[y][x][1], px[y][x][2], px[y][x][3], px[y][x][0]))
                for y in range(y0, h, dy)]
        rows = [r for r in rows if r]
        if rows:
            raw += filter_rows(rows, 4)
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 1)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw))
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

    more_files(files)
    iw, ih = 11, 9
    ipx = [[pattern(x, y) for x in range(iw)] for y in range(ih)]
    files.append(("adam7.png", png_adam7(iw, ih, ipx), iw, ih, [p for row in ipx for p in row]))
    with open(d + "/expected.txt", "w") as f:
        for name, data, fw, fh, pixels in files:
            with open(d + "/" + name, "wb") as g:
                g.write(data)
            f.write("%s %d %d %s\n" % (name, fw, fh, "".join(word(*p) for p in pixels)))


def lzw(indexes, min_size):
    """GIF LZW codes, packed little-endian; the code size grows as giflib's encoder does."""
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    out, acc, nbits = bytearray(), 0, 0
    state = {"size": min_size + 1, "next": eoi + 1}

    def emit(code):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += state["size"]
        while nbits >= 8:
            out.append(acc & 255)
            acc >>= 8
            nbits -= 8
        if state["next"] >= (1 << state["size"]) and state["size"] < 12:
            state["size"] += 1

    table = {(i,): i for i in range(clear)}
    emit(clear)
    w = None
    for k in indexes:
        if w is None:
            w = (k,)
            continue
        wk = w + (k,)
        if wk in table:
            w = wk
            continue
        emit(table[w])
        if state["next"] >= 4095:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            state["size"], state["next"] = min_size + 1, eoi + 1
        else:
            table[wk] = state["next"]
            state["next"] += 1
        w = (k,)
    if w is not None:
        emit(table[w])
    emit(eoi)
    if nbits:
        out.append(acc & 255)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        out.append(len(part))
        out += part
    return bytes(out) + b"\0"


def gif(sw, sh, palette, frame, transparent=None, local=False):
    """frame: (left, top, w, h, rows of indexes, interlaced)."""
    left, top, fw, fh, rows, interlaced = frame
    bits = max(1, (len(palette) - 1).bit_length())
    table = bytes(v for c in palette for v in c) + bytes(3 * ((1 << bits) - len(palette)))
    head = b"GIF89a" + struct.pack("<HHBBB", sw, sh, 0 if local else 0x80 | (bits - 1), 0, 0)
    if not local:
        head += table
    if transparent is not None:
        head += b"\x21\xF9\x04" + bytes([1, 0, 0, transparent, 0])
    head += b"\x21\xFE" + sub_blocks(b"a comment first")  # extensions are skipped
    order = list(range(fh))
    if interlaced:
        order = [y for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)) for y in range(start, fh, step)]
    desc = b"\x2C" + struct.pack("<HHHHB", left, top, fw, fh,
                                 (0x80 | (bits - 1) if local else 0) | (0x40 if interlaced else 0))
    if local:
        desc += table
    data = [i for y in order for i in rows[y]]
    return head + desc + bytes([max(2, bits)]) + sub_blocks(lzw(data, max(2, bits))) + b"\x3B"


def tiff(w, h, spp, photometric, rows, big=False, extra=None):
    """Uncompressed 8-bit strips, one strip a row, in either byte order."""
    e = ">" if big else "<"
    entries = []
    blobs = []
    data = b"".join(rows)
    header = 8
    n_tags = 11 + (1 if extra is not None else 0)
    ifd_size = 2 + 12 * n_tags + 4
    blob_at = header + ifd_size

    def blob(b):
        nonlocal blob_at
        off = blob_at
        blobs.append(b)
        blob_at += len(b) + (len(b) & 1)
        return off

    bits_off = blob(struct.pack(e + "H" * spp, *([8] * spp))) if spp > 2 else None
    row_bytes = w * spp
    offs_index = len(blobs)
    offs_at = blob(bytes(4 * h))
    counts = blob(struct.pack(e + "I" * h, *([row_bytes] * h)))
    data_at = blob_at
    offsets = struct.pack(e + "I" * h, *[data_at + y * row_bytes for y in range(h)])
    blobs[offs_index] = offsets

    def tag(t, typ, count, value):
        entries.append((t, typ, count, value))

    tag(256, 4, 1, w)
    tag(257, 4, 1, h)
    tag(258, 3, spp, bits_off if bits_off is not None else 8)
    tag(259, 3, 1, 1)
    tag(262, 3, 1, photometric)
    tag(273, 4, h, offs_at)
    tag(277, 3, 1, spp)
    tag(278, 4, 1, 1)
    tag(279, 4, h, counts)
    tag(284, 3, 1, 1)
    tag(274, 3, 1, 1)
    if extra is not None:
        tag(338, 3, 1, extra)
    entries.sort()
    out = (b"MM\x00\x2A" if big else b"II\x2A\x00") + struct.pack(e + "I", 8)
    out += struct.pack(e + "H", len(entries))
    for t, typ, count, value in entries:
        if typ == 3 and count == 1:
            out += struct.pack(e + "HHIHH", t, typ, count, value, 0)
        else:
            out += struct.pack(e + "HHII", t, typ, count, value)
    out += struct.pack(e + "I", 0)
    for b in blobs:
        out += b + (b"\0" if len(b) & 1 else b"")
    return out + data


def more_files(files):
    w, h = 7, 13
    palette = [(i * 30 % 256, 255 - i * 20, i * 7) for i in range(12)]
    idx = [[(x * 5 + y * 3) % 12 for x in range(w)] for y in range(h)]

    def colour(i, transparent):
        return (0, 0, 0, 0) if i == transparent else (255,) + palette[i]

    files.append(("interlaced.gif", gif(w, h, palette, (0, 0, w, h, idx, True), transparent=2),
                  w, h, [colour(i, 2) for row in idx for i in row]))
    files.append(("plain.gif", gif(w, h, palette, (0, 0, w, h, idx, False)), w, h,
                  [colour(i, None) for row in idx for i in row]))
    # A local table and a frame inside a larger screen: outside the frame is transparent.
    sw, sh, left, top = 10, 15, 2, 1
    exp = []
    for y in range(sh):
        for x in range(sw):
            inside = left <= x < left + w and top <= y < top + h
            exp.append(colour(idx[y - top][x - left], None) if inside else (0, 0, 0, 0))
    files.append(("framed.gif", gif(sw, sh, palette, (left, top, w, h, idx, False), local=True),
                  sw, sh, exp))
    # Long runs: the code size climbs to 12 bits and the table is cleared.
    big = [[(x * x + y * 7) % 12 for x in range(200)] for y in range(100)]
    files.append(("long.gif", gif(200, 100, palette, (0, 0, 200, 100, big, False)), 200, 100,
                  [colour(i, None) for row in big for i in row]))

    px = [[pattern(x, y) for x in range(w)] for y in range(h)]
    rows = [bytes(g for (a, r, g, b) in row) for row in px]
    files.append(("grey.tif", tiff(w, h, 1, 1, rows), w, h,
                  [(255, g, g, g) for row in px for (a, r, g, b) in row]))
    rows = [bytes(v for (a, r, g, b) in row for v in (r, g, b)) for row in px]
    files.append(("rgb-be.tif", tiff(w, h, 3, 2, rows, big=True), w, h,
                  [(255, r, g, b) for row in px for (a, r, g, b) in row]))
    rows = [bytes(v for (a, r, g, b) in row for v in (r, g, b, a)) for row in px]
    files.append(("rgba-unassoc.tif", tiff(w, h, 4, 2, rows, extra=2), w, h,
                  [p for row in px for p in row]))
    # Associated alpha comes back straight: colours 0 or 255 survive the round exactly.
    assoc = [[(a, 255 if (x + y) % 2 else 0, 0 if x % 3 else 255, 255) for x, (a, r, g, b) in enumerate(row)]
             for y, row in enumerate(px)]
    rows = [bytes(v for (a, r, g, b) in row for v in ((r * a + 127) // 255, (g * a + 127) // 255,
                                                    (b * a + 127) // 255, a)) for row in assoc]
    files.append(("rgba-assoc.tif", tiff(w, h, 4, 2, rows, extra=1), w, h,
                  [(a, r, g, b) if a else (0, 0, 0, 0) for row in assoc for (a, r, g, b) in row]))


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
