#!/usr/bin/env python3
"""Writes the four traction-control presets shipped in system/ beside Kestra.

Each file is a DTC map file: 1056 bytes, 16-bit values little-endian, in this order
  bytes    0-303  injection-factor map: 8 x 16 cells (factor x 1000), 16 engine-speed
                  points (rpm), 8 wheel-slip points (percent x 10)
  bytes  304-607  advance-reduction map: 8 x 16 cells (degrees x 10, 0 or negative),
                  the same two axes
  bytes 608-1055  32 level records of 14 bytes:
                    0  injection kept at full intervention, percent x 10 (u16)
                    2  advance kept at full intervention, percent x 10 (u16)
                    4  4 injection-cut steps, 0-20 (u8 each)
                    8  4 advance-retard steps, 0-20 (u8 each)
                   12  wheel slip at which the level starts acting, percent (u8)
                   13  spare, 0

Record 0 is "off"; records 1-8 are the rider's levels, each cutting earlier and harder
than the one before; records 9-31 are neutral. "undefined" is neutral throughout:
factor 1.000, no advance reduction, every record at 100 % / 100 % with no steps.

Run from this folder: ./make-presets.py (it rewrites the four .fdt files).
"""
import struct

RPM = [1500, 2500, 3500, 4500, 5500, 6500, 7000, 7500, 8000, 8500, 9000, 9500, 10000, 10500, 11000, 11500]
SLIP = [0, 2, 4, 6, 8, 10, 15, 20]  # percent

# name: (slip where the maps start acting, injection cut per percent of slip,
#        advance reduction per percent of slip, largest reduction, level scale)
PRESETS = {
    "sbk1098R": (4.0, 0.020, 1.0, 15.0, 0.8),  # track bike: late and gentle
    "sbk1198": (3.0, 0.025, 1.2, 18.0, 1.0),
    "sf1098S": (2.0, 0.030, 1.5, 20.0, 1.2),  # road bike: early and firm
    "undefined": None,
}


def s16(values):
    return b"".join(struct.pack("<h", int(round(v))) for v in values)


def map_block(cell):
    cells = [cell(s, r) for s in SLIP for r in RPM]
    return s16(cells) + s16(RPM) + s16([s * 10 for s in SLIP])


def level_records(scale):
    out = b""
    for level in range(32):
        if scale is None or level == 0 or level > 8:
            out += struct.pack("<HH4B4BBB", 1000, 1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0)
            continue
        k = level * scale
        inj_kept = max(0.0, 100.0 - 6.0 * k)
        adv_kept = max(0.0, 100.0 - 5.0 * k)
        inj_steps = [min(20, round(k * f)) for f in (0.5, 1.0, 1.5, 2.0)]
        adv_steps = [min(20, round(k * f)) for f in (1.0, 1.5, 2.0, 2.5)]
        start = max(1, round(12 - level * scale))
        out += struct.pack("<HH4B4BBB", round(inj_kept * 10), round(adv_kept * 10), *inj_steps, *adv_steps, start, 0)
    return out


def preset(params):
    if params is None:
        return map_block(lambda s, r: 1000) + map_block(lambda s, r: 0) + level_records(None)
    start, inj_per, adv_per, adv_max, scale = params

    def factor(s, r):
        over = max(0.0, s - start)
        high_revs = 1.0 + 0.2 * (r - RPM[0]) / (RPM[-1] - RPM[0])  # a little more at high revs
        return max(0.4, 1.0 - inj_per * over * high_revs) * 1000

    def advance(s, r):
        over = max(0.0, s - start)
        return -min(adv_max, adv_per * over) * 10

    return map_block(factor) + map_block(advance) + level_records(scale)


for name, params in PRESETS.items():
    data = preset(params)
    assert len(data) == 1056, (name, len(data))
    with open(name + ".fdt", "wb") as f:
        f.write(data)
