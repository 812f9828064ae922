#!/usr/bin/env python3
"""Whole commands beside ImageMagick on the same 4-megapixel 24-bit BMP.

Run by hand from the project root after a Release build:
    bench/cli_vs_imagemagick.py [--build build] [--runs 7] [--threads N] [--cli PATH]

Each pair is timed as whole processes (start-up, reading and writing
included), ours and ImageMagick's in turn, and the medians and the ratio
(ImageMagick / ours: above 1 means ours is faster) are printed. Nothing is
asserted.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

PEER = "convert-im6.q16"

# (name, our arguments after IN OUT, ImageMagick's operators between IN and OUT)
CASES = [
    ("convert BMP to BMP", ["convert"], []),
    ("apply Contrast 30", ["apply", "--op", "Contrast", "--set", "Amount=30"], ["-brightness-contrast", "0x30"]),
    ("apply Colorize", ["apply", "--op", "Colorize", "--set", "Hue=200"], ["-fill", "#3080c0", "-colorize", "60"]),
    ("apply Monochrome", ["apply", "--op", "Monochrome"], ["-colorspace", "Gray", "-type", "TrueColor"]),
]


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def picture(path):
    # A plasma with a fixed seed: smooth areas and noise, like a photograph.
    subprocess.run([PEER, "-seed", "7", "-size", "2048x2048", "plasma:fractal", "-depth", "8",
                    "-type", "TrueColor", "BMP3:" + path], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--threads", type=int, default=0, help="our --threads (0: the default, every core)")
    parser.add_argument("--cli", help="this pixqv-cli instead of the build's (an older one, to compare)")
    args = parser.parse_args()
    cli = args.cli or os.path.join(args.build, "src", "cli", "pixqv-cli")
    if not os.access(cli, os.X_OK):
        sys.exit(f"no {cli}: build first")
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "p4.bmp")
        picture(source)
        ours_out, theirs_out = os.path.join(tmp, "ours.bmp"), os.path.join(tmp, "theirs.bmp")
        threads = ["--threads", str(args.threads)] if args.threads > 0 else []
        print(f"{'command':24} {'ours ms':>9} {'ImageMagick ms':>15} {'ratio':>7}")
        for name, ours_args, peer_ops in CASES:
            ours_cmd = [cli, ours_args[0], source, ours_out] + ours_args[1:] + threads
            peer_cmd = [PEER, source] + peer_ops + ["BMP3:" + theirs_out]
            timed(ours_cmd), timed(peer_cmd)  # warm the caches
            ours, theirs = [], []
            for _ in range(args.runs):
                ours.append(timed(ours_cmd))
                theirs.append(timed(peer_cmd))
            a, b = statistics.median(ours) * 1000, statistics.median(theirs) * 1000
            print(f"{name:24} {a:9.1f} {b:15.1f} {b / a:7.2f}")


if __name__ == "__main__":
    main()
