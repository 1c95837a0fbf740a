#!/usr/bin/env python3
"""Writes the generated seed files of tests/fuzz/corpus (run from anywhere).

The text seeds are copies of the embedded default Configuration with one
thing broken each; the PRN and TIFF seeds are built here byte by byte, small
enough that a fuzzer mutates their structure rather than their pixels.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CONF = os.path.join(ROOT, "share", "Configuration")
SAMPLES = os.path.join(ROOT, "tests", "data")


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tiff(width, height, spp, bits, photometric, extras=(), tiled=False, pixels=None):
    """A little-endian baseline TIFF, uncompressed, one strip (or one tile)."""
    bps = bits // 8
    size = width * height * spp * bps
    data = pixels if pixels is not None else bytes((i * 37) & 0xFF for i in range(size))
    entries = []

    def tag(code, typ, count, value):
        entries.append((code, typ, count, value))

    tag(256, 4, 1, width)
    tag(257, 4, 1, height)
    tag(258, 3, 1, bits) if spp == 1 else None
    tag(259, 3, 1, 1)
    tag(262, 3, 1, photometric)
    tag(277, 3, 1, spp)
    tag(284, 3, 1, 1)
    if extras:
        tag(338, 3, len(extras), list(extras))
    if tiled:
        tag(322, 4, 1, 16)
        tag(323, 4, 1, 16)
    else:
        tag(278, 4, 1, height)
    # Out-of-line values follow the directory.
    header = 8
    n = len(entries) + (1 if spp > 1 else 0) + 2
    ifd_size = 2 + 12 * n + 4
    extra = bytearray()
    base = header + ifd_size
    rows = []
    if spp > 1:
        off = base + len(extra)
        extra += struct.pack("<%dH" % spp, *([bits] * spp))
        rows.append((258, 3, spp, off))
    fixed = []
    for code, typ, count, value in entries:
        if isinstance(value, list):
            if count * 2 <= 4:
                v = struct.pack("<%dH" % count, *value).ljust(4, b"\0")
                fixed.append((code, typ, count, v))
            else:
                off = base + len(extra)
                extra += struct.pack("<%dH" % count, *value)
                fixed.append((code, typ, count, struct.pack("<I", off)))
        elif typ == 3:
            fixed.append((code, typ, count, struct.pack("<HH", value, 0)))
        else:
            fixed.append((code, typ, count, struct.pack("<I", value)))
    for code, typ, count, off in rows:
        fixed.append((code, typ, count, struct.pack("<I", off)))
    if len(extra) % 2:
        extra += b"\0"
    strip_off = base + len(extra)
    if tiled:
        tile_bytes = 16 * 16 * spp * bps
        data = data.ljust(tile_bytes, b"\0")[:tile_bytes]
        fixed.append((324, 4, 1, struct.pack("<I", strip_off)))
        fixed.append((325, 4, 1, struct.pack("<I", len(data))))
    else:
        fixed.append((273, 4, 1, struct.pack("<I", strip_off)))
        fixed.append((279, 4, 1, struct.pack("<I", len(data))))
    fixed.sort(key=lambda e: e[0])
    ifd = struct.pack("<H", len(fixed))
    for code, typ, count, v in fixed:
        ifd += struct.pack("<HHI", code, typ, count) + v
    ifd += struct.pack("<I", 0)
    assert len(ifd) == ifd_size, (len(ifd), ifd_size)
    return b"II*\0" + struct.pack("<I", header) + ifd + bytes(extra) + data


def prn(width, height, channels, bits, rows=None):
    stride = (width * bits // 32) * 4 + 4
    head = struct.pack("<8I", 21845, 720, 720, stride, height, width, 0, channels)
    head += bytes([bits]) + bytes(15)
    body = rows if rows is not None else bytes((i * 29) & 0xFF for i in range(height * channels * stride))
    return head + body


def main():
    ini = read(os.path.join(CONF, "initiation.ini"))
    put("initiation", "default.ini", ini)
    put("initiation", "lf_only.ini", ini.replace(b"\r\n", b"\n"))
    put("initiation", "odd_values.ini",
        b"dfPreset=a=b=c\r\ndfTurboMd=2\r\ndfLargeImageMd=1\r\n=1\r\nno equals\r\ndfRotLimit=\xff\xfe\r\n")

    cfg = read(os.path.join(CONF, "Default.cfg"))
    put("preset", "default.cfg", cfg)
    put("preset", "empty_sequence.cfg", cfg.replace(b"PRNSequence=0,1,2,3,L0,L1", b"PRNSequence="))
    put("preset", "odd_values.cfg",
        b"xResolution=-1e400\r\nyResolution=nan\r\nUseDots=1e10\r\nBits=7\r\nDitherMethod=99\r\n"
        b"MiddleDotStart=inf\r\nLargeDotStart=-0\r\nPRNSequence=S5,,M3,L9\r\nPRNHeader=HS\r\nSuffix=p\r\n"
        b"LinearProfile=../../initiation.ini\r\nRenderIntent=\r\nUseLc=1\r\n")

    lin = read(os.path.join(CONF, "Default", "linear.txt"))
    put("linearisation", "default.txt", lin)
    put("linearisation", "short.txt", b"\r\n".join(lin.split(b"\r\n")[:4]))
    put("linearisation", "equal_nodes.txt",
        b"header\r\n" + b"0\t0\t0\t0.5\t0.5\t0.5\t0.5\t1\t1\t1e39\t-1e39\r\n" * 20)

    put("prn_reader", "cmyk_2bit.prn", prn(8, 2, 4, 2))
    put("prn_reader", "six_1bit.prn", prn(40, 3, 6, 1))
    put("prn_reader", "short_body.prn", prn(8, 2, 4, 2)[:70])
    put("prn_reader", "header_only.prn", prn(8, 2, 4, 2)[:48])

    put("magick_tiff", "cmyk8.tif", tiff(4, 3, 4, 8, 5))
    put("magick_tiff", "cmyk16_two_extra.tif", tiff(3, 2, 6, 16, 5, extras=(0, 0)))
    put("magick_tiff", "cmyk8_seven_extra.tif", tiff(2, 2, 11, 8, 5, extras=(0,) * 7))
    put("magick_tiff", "cmyk8_tiled.tif", tiff(5, 4, 4, 8, 5, tiled=True))
    put("magick_tiff", "gray16.tif", tiff(4, 2, 1, 16, 1))
    sample = os.path.join(SAMPLES, "tcl_logo_cmyk_2extra.tif")
    if os.path.exists(sample):
        shutil.copyfile(sample, os.path.join(HERE, "corpus", "magick_tiff", "tcl_logo_cmyk_2extra.tif"))


if __name__ == "__main__":
    main()
