#!/usr/bin/env python3
"""Writes the expected result files of the batch-run fixture in ImageAnalysisRunTest.cpp.

The values come from the fixture's geometry alone (disc and ring positions, grey levels, magnets,
LP curve constants, capture log), worked out here independently of the program. Lines that depend
on the machine or the moment are written masked, as the test masks them: the computer name, the
version and the temporary folder (<DIR>).

Run from this folder: python3 make_batch_golden.py
"""
import math
import os
import struct

# ---- The fixture (keep in step with ImageAnalysisRunTest.cpp) ----
COLS, ROWS = 160, 140
BG, DISC, RING = 1000, 3000, 100
BACKGROUND_FILE = 200  # BF.bg.tif
DISC_R2 = 36           # disc: dx^2 + dy^2 <= 36
RING_HALF = 10         # ring: square outline, max(|dx|, |dy|) == 10
LEFT, TOP, RIGHT, BOTTOM = 10, 10, 149, 129
UPPER, LOWER = 20, 120
PIXELS_PER_MM = 1000.0
DISC_RADIUS_PX = 6.0
RING_RADIUS_PX = 21 / 3.0
IMAGES = [
    # name, discs, rings, capture time (h, m, s), pumps (speed 1, speed 2, volume 1, volume 2)
    ("Run_0001_BF_1.png", [(40, 50), (100, 90)], [(130, 40)], (10, 0, 0), (10.5, 20.0, 1.25, 2.5)),
    ("Run_0002_BF_1.png", [(70, 70)], [(30, 105)], (10, 1, 30), (11.0, 21.0, 17.75, 34.0)),
    ("Run_0003_BF_1.png", [(30, 40), (80, 60), (120, 100)], [(60, 105), (125, 30)], (10, 3, 0),
     (12.5, 22.5, 35.0, 66.25)),
]
LP = dict(Gd_conc=100.0, ChiGd_factor=0.001, rhobuffer=1.0, munot=100.0, g=10.0, cubic=1.0, square=1.0,
          linear=1.0, constant=1.0, mag_gap=2.0, ChiPar=0.5)
LP["rhof"] = LP["Gd_conc"] * 0.275 + LP["rhobuffer"]
LP["ChiGd"] = LP["Gd_conc"] * LP["ChiGd_factor"]

MASK_COMPUTER = "# ComputerName=*"
MASK_VERSION = "#Vantelis_Version=*"


def image(discs, rings):
    px = [[BG] * COLS for _ in range(ROWS)]
    for cx, cy in discs:
        for y in range(ROWS):
            for x in range(COLS):
                if (x - cx) ** 2 + (y - cy) ** 2 <= DISC_R2:
                    px[y][x] = DISC
    for cx, cy in rings:
        for y in range(cy - RING_HALF, cy + RING_HALF + 1):
            for x in range(cx - RING_HALF, cx + RING_HALF + 1):
                if max(abs(x - cx), abs(y - cy)) == RING_HALF:
                    px[y][x] = RING
    return px


def f32(v):
    return struct.unpack("f", struct.pack("f", v))[0]


def lp_value(h):
    c = LP
    y = h * c["mag_gap"]
    P = c["square"] * y * y + c["cubic"] * y * y * y + c["linear"] * y + c["constant"]
    K = 3.0 * c["munot"] * (c["ChiGd"] + 1.0) * (c["ChiPar"] - c["ChiGd"])
    D = (2.0 * c["ChiGd"] + c["ChiPar"] + 3.0) * (2.0 * c["g"])
    return (P * K / D + c["rhof"]) / 10.0


def height(y):
    return (LOWER - y) / (LOWER - UPPER)


def deviation(s, s2, n):
    if n < 2:
        return 0.0
    v = (s2 - s * s / n) / (n - 1)
    return math.sqrt(v) if v > 0 else 0.0


def stats(ys):
    n = len(ys)
    s = s2 = l = l2 = 0.0
    lps = []
    for y in ys:
        h = height(y)
        s += h
        s2 += h * h
        v = f32(lp_value(h))
        lps.append(v)
        l += v
        l2 += v * v
    if n == 0:
        return (0.0, 0.0, 0.0, 0.0), lps
    return (s / n, deviation(s, s2, n), l / n, deviation(l, l2, n)), lps


def format_double(v):
    if v == 0.0:
        return "0"
    if 1e-6 <= abs(v) <= 1e6 and v == int(v):
        return "%d" % int(v)
    t = "%.9g" % v
    if "." in t and "e" not in t:
        while len(t) > t.index(".") + 2 and t.endswith("0"):
            t = t[:-1]
    return t


def percentile_levels(values, fractions):
    n = len(values)
    hist = {}
    for v in values:
        hist[v] = hist.get(v, 0) + 1
    out = []
    for f in fractions:
        threshold = math.floor(n * f + 0.5)
        running = 0
        for level in sorted(hist):
            running += hist[level]
            if running >= threshold:
                out.append(float(level))
                break
    return out


def circular_comments():
    lines = ["# ******* Circular cell detection algo parameters ********", "#pixels_per_mm=1000.0",
             "#ROI.left=%d" % LEFT, "#ROI.right=%d" % RIGHT, "#ROI.top=%d" % TOP, "#ROI.bottom=%d" % BOTTOM, "",
             "#NUM_FILTERS=2", "#b_edge_processing=false", ""]
    types = [dict(m="true", r=6.0, samples=12, mthr=2000, c="true", cthr=500, minsize=1),
             dict(m="false", r=0.0, samples=0, mthr=0, c="false", cthr=0, minsize=1)]
    for k, t in enumerate(types, 1):
        lines += ["# *** Morphological Filter %d Options ****" % k, "#morph_filter[%d]=%s" % (k, t["m"]),
                  "#radius[%d]=%5.3f\tum" % (k, t["r"]),
                  "#radius[%d]=%5.3f\tpixels" % (k, t["r"] / 1000.0 * PIXELS_PER_MM),
                  "#radius_sweep[%d]=0" % k, "#samples[%d]=%d" % (k, t["samples"]),
                  "#mthreshold[%d]=%d" % (k, t["mthr"]), "#use_inner_ring[%d]=false" % k,
                  "# *** Count Filter %d Options ****" % k, "#count_filter=%s" % t["c"],
                  "#threshold[%d]=%d" % (k, t["cthr"]), "#min_size[%d]=%d" % (k, t["minsize"]),
                  "#proximity_filtering_per_type[%d]=true" % k]
    lines.append("#cross_type_filtering=false")
    return lines


def epi_comments():
    return ["# ******** EpiCellCountingAlgo params ********", "#roi.left=%d" % LEFT, "#roi.right=%d" % RIGHT,
            "#roi.top=%d" % TOP, "#roi.bottom=%d" % BOTTOM, "#UseBgImageIfAvail=true", "DarkPct0=0.001000",
            "DarkPct1=0.002000", "MinPixelCount=30", "MinSize=20", "MaxRatio=0.350000"]


def write(name, lines):
    with open(os.path.join("batch", name), "w", newline="\r\n") as f:
        for line in lines:
            f.write(line + "\n")


def main():
    os.makedirs("batch", exist_ok=True)
    types = ["cir_1", "cir_2", "epi_1"]
    header = "image\tElapsedMin\tImageModifyTime\tframe_idx\t"
    for t in types:
        header += "count[%s]\tmean[%s]\tstdev[%s]\tmean_LP[%s]\tstdev_LP[%s]\t" % (t, t, t, t, t)
    header += "MeanIntROI\tMedianIntROI\tPct10IntROI\tPump1SpeeULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL"
    summary = [MASK_COMPUTER, MASK_VERSION, MASK_COMPUTER, "#image_directory=<DIR>",
               "#image_log_used=<DIR>/20240305-1000-00.log", "# **** Magnet elevations in vertical pixels ****",
               "#lower_magnet=%d" % LOWER, "#upper_magnet=%d" % UPPER]
    summary += circular_comments() + epi_comments() + [header]

    vertical, horizontal = [], []
    t0 = None
    for frame, (name, discs, rings, (hh, mm, ss), pumps) in enumerate(IMAGES, 1):
        px = image(discs, rings)
        roi = [px[y][x] for y in range(TOP, BOTTOM + 1) for x in range(LEFT, RIGHT + 1)]
        vertical.append([sum(px[y][x] - BACKGROUND_FILE for x in range(LEFT, RIGHT + 1)) // (RIGHT - LEFT + 1)
                         for y in range(TOP, BOTTOM + 1)])
        horizontal.append([sum(px[y][x] - BACKGROUND_FILE for y in range(TOP, BOTTOM + 1)) // (BOTTOM - TOP + 1)
                           for x in range(LEFT, RIGHT + 1)])
        seconds = hh * 3600 + mm * 60 + ss
        t0 = seconds if t0 is None else t0
        elapsed = (seconds - t0) / 60.0
        lists = [sorted(discs, key=lambda p: (p[1], p[0])), [], sorted(rings, key=lambda p: (p[1], p[0]))]
        radii = [DISC_RADIUS_PX, 0.0, RING_RADIUS_PX]
        row = "%s\t%4.2f\t2024/03/05 %02d:%02d:%02d\t%d\t" % (name, elapsed, hh, mm, ss, frame)
        low = ["# **** Low level counting data ****", "Vantelis\tVersion\t*", MASK_COMPUTER,
               "#image_file=<DIR>/%s" % name, "#image_timestamp=20240305-%02d%02d-%02d" % (hh, mm, ss),
               "# **** LP Curve Params ****"]
        for key, field in [("Gd_conc", "Gd_conc"), ("ChiGd_factor", "ChiGd_factor"), ("rhobuffer", "rhobuffer"),
                           ("rohf", "rhof"), ("ChiGd", "ChiGd"), ("munot", "munot"), ("g", "g"), ("cubic", "cubic"),
                           ("square", "square"), ("linear", "linear"), ("constant", "constant"),
                           ("mag_gap", "mag_gap")]:
            low.append("# %s=%s" % (key, format_double(LP[field])))
        low += ["# top magnet dim is 50x5x2 mm", "# bottom magnet dim is 50x15x2 mm",
                "# remanent magnetization is 1.45 T", "# ****************"]
        rows = []
        for slot in range(10):
            tname = types[slot] if slot < 3 else "not_used"
            if slot < 3:
                (m, d, lm, ld), lps = stats([p[1] for p in lists[slot]])
                n = len(lists[slot])
                row += "%d\t%6.4f\t%6.4f\t%4.2f\t%4.2f\t" % (n, m, d, lm, ld)
                for i, (x, y) in enumerate(lists[slot]):
                    rows.append("%s\t%d\t%d\t%d\t%5.3f\t%3.1f\t%3.1f" % (
                        tname, i, x, y, height(y), f32(radii[slot]) / PIXELS_PER_MM * 1000.0, lps[i]))
            else:
                n, m, d = 0, 0.0, 0.0
            low += ["#particle_count[%s]=%d" % (tname, n), "#particle_height_mean[%s]=%5.3f" % (tname, m),
                    "#particle_height_stdev[%s]=%6.4f" % (tname, d)]
        low.append("type_name\tidx\tix\tiy\theight\tradius(um)\tLP")
        low += rows
        write(name.replace(".png", ".txt"), low)
        median, pct10 = percentile_levels(roi, [0.5, 0.1])
        row += "%3.1f\t%3.1f\t%3.1f" % (sum(roi) / len(roi), median, pct10)
        row += "\t%3.1f\t%3.1f\t%4.2f\t%4.2f" % pumps
        summary.append(row)

    names = "\t".join(i[0] for i in IMAGES)
    m = BOTTOM - TOP + 1
    vert = [MASK_VERSION, MASK_COMPUTER, "iy_row\ty_fract\ty_mm\ty_ROI_fract\tLP\t" + names]
    for k in range(m):
        j = TOP + k
        h = height(j)
        vert.append("%d\t%6.4f\t%6.4f\t%6.4f\t%4.2f" % (j, h, h * LP["mag_gap"], k / m, lp_value(h)) +
                    "".join("\t%d" % v[k] for v in vertical))
    horz = [MASK_VERSION, MASK_COMPUTER, "ix\t" + names]
    for k in range(RIGHT - LEFT + 1):
        horz.append("%d" % (LEFT + k) + "".join("\t%d" % v[k] for v in horizontal))
    base = IMAGES[0][0].replace(".png", "")
    write(base + ".Analysis.txt", summary)
    write(base + ".[vert_proj].txt", vert)
    write(base + ".[horz_proj].txt", horz)


if __name__ == "__main__":
    main()
