#!/usr/bin/env python3
"""F-measure of the ink of an output image against a ground-truth image.

    ink-fmeasure.py OUTPUT.bmp GROUND-TRUTH.pgm

Every pixel below 255 counts as ink in both. Prints the F-measure in percent,
then precision and recall. Reads 24-bit BMP (the first channel) and binary PGM.
"""
import struct
import sys


def read_bmp(data):
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    if struct.unpack_from("<H", data, 28)[0] != 24:
        sys.exit("ink-fmeasure: only 24-bit BMP is read")
    row_size = (width * 3 + 3) // 4 * 4
    rows = []
    for y in range(abs(height)):
        stored = abs(height) - 1 - y if height > 0 else y
        start = offset + stored * row_size
        rows.append(data[start : start + width * 3 : 3])
    return width, abs(height), b"".join(rows)


def read_pgm(data):
    fields, position = [], 0
    while len(fields) < 4:
        while data[position : position + 1].isspace():
            position += 1
        if data[position : position + 1] == b"#":
            while data[position : position + 1] not in (b"\n", b"\r"):
                position += 1
            continue
        end = position
        while not data[end : end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    if fields[0] != b"P5" or fields[3] != b"255":
        sys.exit("ink-fmeasure: only 8-bit binary PGM is read")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[position + 1 : position + 1 + width * height]


def read_image(path):
    with open(path, "rb") as file:
        data = file.read()
    return read_bmp(data) if data[:2] == b"BM" else read_pgm(data)


# One byte per pixel, 1 for ink, read as one big integer so that counting is a popcount.
INK = bytes([1] * 255 + [0])


def ink_bits(pixels):
    return int.from_bytes(pixels.translate(INK), "big")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    output, truth = read_image(sys.argv[1]), read_image(sys.argv[2])
    if output[:2] != truth[:2]:
        sys.exit("ink-fmeasure: the images differ in size")
    found, expected = ink_bits(output[2]), ink_bits(truth[2])
    hits = bin(found & expected).count("1")
    precision = hits / max(bin(found).count("1"), 1)
    recall = hits / max(bin(expected).count("1"), 1)
    f_measure = 2 * precision * recall / (precision + recall) if hits else 0.0
    print(f"{100 * f_measure:.2f} {100 * precision:.2f} {100 * recall:.2f}")


if __name__ == "__main__":
    main()
