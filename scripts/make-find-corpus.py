#!/usr/bin/python3
"""Builds the corpus on which the width guess and the graphics scan are judged.

Real pictures from Debian packages (wallpapers, icons, documentation images) are turned into
each colour mode at widths of 2 to 200 bytes per row and embedded at random offsets between
compressed data, plain text and machine code. A sheet is laid out in one of four shapes: pictures
side by side, pictures with a band of blank rows inside, tiles with blank gaps between them, or a
picture on a background of one colour; and shaded by thresholds, by error diffusion
(Floyd-Steinberg) or, in the modes of 1-2 bits per pixel, by an ordered pattern (Bayer 2x2, 4x4,
8x8 or a checkerboard). Real retro data is added as it is installed:
the ZX Spectrum ROM of opense-basic (character set at 15616, one byte per row) and the
console fonts of kbd.

    scripts/make-find-corpus.py OUTDIR [CASES] [SEED]

Writes OUTDIR/NNNN.bin and OUTDIR/manifest.tsv with one case a line:
    file  mode  first  length  width  group  shape  dither
Run the evaluation with:  build/bench/pl_find_eval OUTDIR/manifest.tsv
Judge on two corpora of different seeds: tune on one, quote the other.
Needs the Debian packages python3-pil gnome-backgrounds adwaita-icon-theme libgtk-3-doc gdb
opense-basic kbd (installed here when missing and run as root), so run it with the system's
/usr/bin/python3 (as its first line does): another python3 on the PATH may not see python3-pil.
Every source is taken from named packages (the pictures and the code) or from the packages every
Debian system has (the changelogs: compressed data and text), never from whatever else is
installed, so that a seed gives the same corpus on every machine with the same release.
The shapes and ordered dithers are drawn from a second random sequence, so that a seed's pictures,
offsets and fillers are those the generator made before it had them.
Not part of the tests.
"""
import glob
import gzip
import os
import random
import subprocess
import sys

PACKAGES = ["python3-pil", "gnome-backgrounds", "adwaita-icon-theme", "libgtk-3-doc", "gdb", "opense-basic",
            "kbd"]


def ensure_packages():
    missing = [p for p in PACKAGES
               if subprocess.run(["dpkg", "-s", p], capture_output=True).returncode != 0]
    if not missing:
        return
    if os.geteuid() != 0:
        sys.exit("install first: apt-get install " + " ".join(missing))
    subprocess.run(["apt-get", "install", "-y", "-qq"] + missing, check=True)


if len(sys.argv) < 2 or sys.argv[1] in ("-h", "--help"):
    print(__doc__.strip())
    sys.exit(0 if len(sys.argv) > 1 else 2)
ensure_packages()
from PIL import Image  # noqa: E402

MODES = ["binary", "atari", "bk", "sam"]
PIXELS_PER_BYTE = [8, 4, 4, 2]


def picture_sources():
    walls = package_files("gnome-backgrounds", ".webp", 10000)
    icons = package_files("adwaita-icon-theme", ".png", 3000)
    docs = package_files("libgtk-3-doc", ".png", 8000)
    return walls, icons, docs


def package_files(package, suffix, least_size):
    """The files of an installed package that end in suffix and hold more than least_size bytes."""
    listed = subprocess.run(["dpkg", "-L", package], capture_output=True, text=True, check=True).stdout
    return sorted(p for p in listed.splitlines()
                  if p.endswith(suffix) and os.path.isfile(p) and os.path.getsize(p) > least_size)


def required_packages():
    """The packages of priority required, which every Debian system has."""
    listed = subprocess.run(["dpkg-query", "-W", "-f", "${Package} ${Priority}\\n"],
                            capture_output=True, text=True, check=True).stdout
    return sorted(line.split()[0] for line in listed.splitlines() if line.endswith(" required"))


def open_rgb(path, rng):
    image = Image.open(path)
    image.load()
    if image.mode in ("RGBA", "LA", "P"):
        image = image.convert("RGBA")
        background = Image.new("RGBA", image.size, (0, 0, 0, 255) if rng.random() < 0.5 else
                               (255, 255, 255, 255))
        image = Image.alpha_composite(background, image)
    return image.convert("RGB")


def load_cached(sources, rng, cache):
    walls, icons, docs = sources
    kind = rng.random()
    pool = walls if kind < 0.3 else icons if kind < 0.8 or not docs else docs
    path = rng.choice(pool)
    if path not in cache:
        cache[path] = open_rgb(path, rng)
        if pool is walls:
            cache[path].thumbnail((1600, 1600))
    return cache[path]


def sprite_sheet(sources, pixel_width, rows, rng, cache):
    """Pictures scaled to fit the sheet, laid side by side in bands from the top."""
    sheet = Image.new("RGB", (pixel_width, rows))
    y = 0
    while y < rows:
        x = 0
        band = 0
        while x < pixel_width:
            image = load_cached(sources, rng, cache)
            limit_height = band if band else rows
            scale = min(pixel_width / image.width, limit_height / image.height)
            size = (max(1, round(image.width * scale)), max(1, round(image.height * scale)))
            sheet.paste(image.resize(size, Image.LANCZOS), (x, y))
            x += size[0]
            band = band or size[1]
        y += band
    return sheet


SHAPES = ["sheet", "band", "gaps", "background"]
ORDERED = {
    "bayer2": [[0, 2], [3, 1]],
    "bayer4": [[0, 8, 2, 10], [12, 4, 14, 6], [3, 11, 1, 9], [15, 7, 13, 5]],
    "checker": [[0, 1], [1, 0]],
}


def bayer(n):
    """The Bayer threshold matrix of n x n (n a power of 2), values 0..n*n-1."""
    if n == 1:
        return [[0]]
    half = bayer(n // 2)
    return [[4 * half[y % (n // 2)][x % (n // 2)] + [[0, 2], [3, 1]][y // (n // 2)][x // (n // 2)]
             for x in range(n)] for y in range(n)]


ORDERED["bayer8"] = bayer(8)


def ordered_levels(grey, levels, matrix):
    """Grey bytes to levels 0..levels-1, each pixel's threshold from the matrix tiled over the picture."""
    width, rows = grey.size
    values = grey.tobytes()
    n = len(matrix)
    cells = max(max(row) for row in matrix) + 1
    steps = levels - 1
    out = bytearray(width * rows)
    for y in range(rows):
        thresholds = [(matrix[y % n][x % n] + 0.5) / cells for x in range(n)]
        base = y * width
        for x in range(width):
            level = int(values[base + x] * steps / 255 + thresholds[x % n])
            out[base + x] = min(steps, level)
    return bytes(out)


def to_bytes(strip, mode, rng, shape_rng):
    """The strip packed in the mode, and how it was shaded: none, fs or an ordered pattern."""
    width, rows = strip.size
    dither = rng.random() < 0.5
    # Ordered patterns in the modes of 1-2 bits per pixel, error diffusion in the others' stead.
    kind = "fs" if dither else "none"
    if dither and mode != 3 and shape_rng.random() < 0.6:
        kind = shape_rng.choice(sorted(ORDERED))
    if mode == 0:
        grey = strip.convert("L")
        if kind in ORDERED:
            pixels = ordered_levels(grey, 2, ORDERED[kind])
        else:
            pixels = grey.convert("1", dither=Image.FLOYDSTEINBERG if dither else Image.NONE).convert(
                "L").tobytes()
            pixels = bytes(1 if p else 0 for p in pixels)
        levels = 2
    else:
        levels = 4 if mode in (1, 2) else 16
        if kind in ORDERED:
            pixels = ordered_levels(strip.convert("L"), levels, ORDERED[kind])
        elif mode == 3 and rng.random() < 0.6:
            pixels = strip.quantize(levels, dither=Image.FLOYDSTEINBERG if dither else Image.NONE).tobytes()
        else:
            palette = Image.new("P", (1, 1))
            steps = [round(i * 255 / (levels - 1)) for i in range(levels)]
            palette.putpalette(sum(([s, s, s] for s in steps), []) + [0, 0, 0] * (256 - levels))
            pixels = strip.convert("L").convert("RGB").quantize(
                palette=palette, dither=Image.FLOYDSTEINBERG if dither else Image.NONE).tobytes()
    per_byte = PIXELS_PER_BYTE[mode]
    bits = 8 // per_byte
    out = bytearray()
    for r in range(rows):
        row = pixels[r * width:(r + 1) * width]
        for x in range(0, width, per_byte):
            value = 0
            for j in range(per_byte):
                index = row[x + j] & (levels - 1)
                # Binary: leftmost pixel in bit 7; BK-0010: low bits first
                shift = 8 - bits * (j + 1) if mode != 2 else bits * j
                value |= index << shift
            out.append(value)
    return bytes(out), kind


def background_colour(shape_rng):
    return (0, 0, 0) if shape_rng.random() < 0.5 else (255, 255, 255)


def shaped(strip, shape, shape_rng):
    """The sheet in its shape: a band of blank rows inside, gaps between tiles, or on a background."""
    width, rows = strip.size
    colour = background_colour(shape_rng)
    if shape == "band":
        height = shape_rng.randint(2, max(2, min(64, rows // 4)))
        top = shape_rng.randint(rows // 4, max(rows // 4, rows * 3 // 4 - height))
        strip.paste(colour, (0, top, width, top + height))
    elif shape == "gaps":
        tile_w = shape_rng.choice([8, 16, 24, 32])
        tile_h = shape_rng.choice([8, 16, 24, 32])
        gap = shape_rng.randint(1, 8)
        for x in range(tile_w, width, tile_w + gap):
            strip.paste(colour, (x, 0, min(width, x + gap), rows))
        for y in range(tile_h, rows, tile_h + gap):
            strip.paste(colour, (0, y, width, min(rows, y + gap)))
    elif shape == "background":
        inner = (max(1, round(width * shape_rng.uniform(0.5, 0.9))),
                 max(1, round(rows * shape_rng.uniform(0.5, 0.9))))
        picture = strip.resize(inner, Image.LANCZOS)
        strip = Image.new("RGB", (width, rows), colour)
        strip.paste(picture, (shape_rng.randint(0, width - inner[0]), shape_rng.randint(0, rows - inner[1])))
    return strip


def filler_sources():
    # The gzip files of the packages every Debian system has: changelogs, manual pages, notes.
    gzipped = [p for package in required_packages() for p in package_files(package, ".gz", 0)]
    compressed = b"".join(open(p, "rb").read() for p in gzipped)
    text = b"".join(gzip.decompress(open(p, "rb").read()) for p in gzipped if "/changelog" in p)
    code = b""
    for name in ["/usr/bin/cmake", "/usr/bin/gdb", "/usr/bin/python3", "/usr/bin/ctest"]:
        if os.path.exists(name):
            data = open(name, "rb").read()
            code += data[len(data) // 8: len(data) // 2]
    return {"compressed": compressed, "text": text, "code": code}


def filler(fillers, rng, length):
    kind = rng.choice(sorted(fillers))
    source = fillers[kind]
    start = rng.randrange(0, len(source) - length)
    return source[start:start + length], kind


def font_cases(outdir, rng, count):
    cases = []
    fonts = sorted(glob.glob("/usr/share/consolefonts/*.psf*"))
    for path in rng.sample(fonts, min(count, len(fonts))):
        raw = open(path, "rb").read()
        data = gzip.decompress(raw) if path.endswith(".gz") else raw
        if data[:2] == b"\x36\x04":
            glyphs = 512 if data[2] & 1 else 256
            first, height, row_bytes = 4, data[3], 1
        elif data[:4] == b"\x72\xb5\x4a\x86":
            le = lambda o: int.from_bytes(data[o:o + 4], "little")
            first, glyphs, height, width = le(8), le(16), le(24), le(28)
            row_bytes = (width + 7) // 8
        else:
            continue
        length = glyphs * height * row_bytes
        name = "font-%s.bin" % os.path.basename(path).split(".")[0]
        open(os.path.join(outdir, name), "wb").write(data)
        cases.append((name, 0, first, length, row_bytes, "font", "font", "none"))
    return cases


def main():
    outdir = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 240
    seed = int(sys.argv[3]) if len(sys.argv) > 3 else 1
    rng = random.Random(seed)
    shape_rng = random.Random(seed * 7919 + 1)
    os.makedirs(outdir, exist_ok=True)
    sources = picture_sources()
    fillers = filler_sources()
    cache = {}
    cases = []
    for n in range(count):
        mode = n % 4
        width = rng.randint(2, 200)
        rows = max(32, -(-2048 // width))
        rows = min(rows * rng.choice([1, 1, 2, 3]), max(32, 65536 // width))
        strip = sprite_sheet(sources, width * PIXELS_PER_BYTE[mode], rows, rng, cache)
        shape = shape_rng.choice(SHAPES)
        picture, dither = to_bytes(shaped(strip, shape, shape_rng), mode, rng, shape_rng)
        before, kind_before = filler(fillers, rng, rng.randint(1024, 48 * 1024))
        after, kind_after = filler(fillers, rng, rng.randint(1024, 48 * 1024))
        name = "%04d.bin" % n
        open(os.path.join(outdir, name), "wb").write(before + picture + after)
        cases.append((name, mode, len(before), len(picture), width, kind_before + "+" + kind_after, shape,
                      dither))
    rom = "/usr/share/spectrum-roms/opense.rom"
    if os.path.exists(rom):
        open(os.path.join(outdir, "opense.rom"), "wb").write(open(rom, "rb").read())
        cases.append(("opense.rom", 0, 15616, 768, 1, "zx-rom", "font", "none"))
    cases += font_cases(outdir, rng, 24)
    # Stretches without pictures, for the false regions per MiB.
    for kind, source in sorted(fillers.items()):
        name = "plain-%s.bin" % kind
        open(os.path.join(outdir, name), "wb").write(source[:4 << 20])
        cases.append((name, 0, -1, 0, 0, "plain-" + kind, "-", "-"))
    with open(os.path.join(outdir, "manifest.tsv"), "w") as manifest:
        for case in cases:
            manifest.write("\t".join(str(v) for v in case) + "\n")
    print("%d cases in %s" % (len(cases), outdir))


main()
