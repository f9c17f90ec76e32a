"""Reads a PPM screenshot on stdin. `frame`: exit 0 when it shows the navy background with its
black border and the 48 x 32 orange picture; `views NAVY`: when four cascaded views now cover
part of the NAVY navy pixels seen before, the picture at the top-left among them."""
import sys

data = sys.stdin.buffer.read()
fields = data.split(maxsplit=4)
if len(fields) < 5 or fields[0] != b"P6" or fields[3] != b"255":
    print("not an 8-bit PPM image")
    sys.exit(1)
width, height = int(fields[1]), int(fields[2])
pixels = data[len(data) - width * height * 3:]


def rgb(x, y):
    i = (y * width + x) * 3
    return tuple(pixels[i:i + 3])


NAVY, ORANGE, BLACK = (0, 0, 128), (255, 128, 0), (0, 0, 0)
navy = [(x, y) for y in range(height) for x in range(width) if rgb(x, y) == NAVY]
orange = sum(1 for y in range(height) for x in range(width) if rgb(x, y) == ORANGE)
if sys.argv[1] == "frame":
    if len(navy) < 40000 or orange != 48 * 32:
        print(f"navy {len(navy)}, orange {orange}")
        sys.exit(1)
    left, right = min(x for x, _ in navy), max(x for x, _ in navy)
    top, bottom = min(y for _, y in navy), max(y for _, y in navy)
    middle_x, middle_y = (left + right) // 2, (top + bottom) // 2
    edges = [rgb(left - 1, middle_y), rgb(right + 1, middle_y), rgb(middle_x, bottom + 1)]
    if any(edge != BLACK for edge in edges):
        print(f"no black border around the navy area: {edges}")
        sys.exit(1)
    print(len(navy))
    sys.exit(0)
# Cascaded 200 x 120 views overlap: together they cover more than one of them, less than four.
covered = int(sys.argv[2]) - len(navy)
if covered < 200 * 120 + 3 * 20 * 120 or len(navy) < 40000 or orange != 0:
    print(f"covered {covered}, navy left {len(navy)}, orange {orange}")
    sys.exit(1)
print(f"views cover {covered} navy pixels")
