"""Reads a PPM screenshot on stdin; exit 0 when it shows the installer's banner and both progress
bars partly filled (the bars' filled part is the highlight colour, below the banner)."""
import sys

data = sys.stdin.buffer.read()
# P6 header: magic, width, height, maximum (8-bit), then raw RGB.
fields = data.split(maxsplit=4)
if len(fields) < 5 or fields[0] != b"P6" or fields[3] != b"255":
    print("not an 8-bit PPM image")
    sys.exit(1)
width, height = int(fields[1]), int(fields[2])
pixels = data[len(data) - width * height * 3:]
if len(pixels) != width * height * 3:
    print("truncated image")
    sys.exit(1)


def rgb(x, y):
    i = (y * width + x) * 3
    return pixels[i], pixels[i + 1], pixels[i + 2]


def banner_blue(p):
    # The banner's gradient runs from (28, 63, 122) to (63, 127, 208): green well below blue,
    # unlike the desktop's background.
    r, g, b = p
    return 110 < b < 225 and r < 90 and g < 0.66 * b


# Banner: a block of rows mostly of the gradient.
banner_rows = [y for y in range(height) if sum(1 for x in range(0, width, 2) if banner_blue(rgb(x, y))) > 120]
if len(banner_rows) < 40:
    print(f"no banner (only {len(banner_rows)} banner-like rows)")
    sys.exit(1)
banner_bottom = max(banner_rows)

# Bars: rows below the banner holding an unbroken run of the highlight colour (the filled part;
# the label's letters in that colour make only short runs).
HIGHLIGHT = (0x33, 0x99, 0xFF)


def near(p, q):
    return all(abs(a - b) < 24 for a, b in zip(p, q))


bands, current = [], None
for y in range(banner_bottom + 1, height):
    run = longest = 0
    for x in range(width):
        run = run + 1 if near(rgb(x, y), HIGHLIGHT) else 0
        longest = max(longest, run)
    run = longest
    if run >= 20:
        if current is None or y > current[1] + 1:
            current = [y, y, run]
            bands.append(current)
        else:
            current[1] = y
            current[2] = max(current[2], run)
bars = [b for b in bands if b[1] - b[0] >= 6]
if len(bars) < 2:
    print(f"found {len(bars)} filled bar(s) below the banner")
    sys.exit(1)
print(f"banner rows {min(banner_rows)}-{banner_bottom}, bars at rows {bars[0][0]}-{bars[0][1]} and {bars[1][0]}-{bars[1][1]}")
