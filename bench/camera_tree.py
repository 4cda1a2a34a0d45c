#!/usr/bin/env python3
# The benchmark volumes' files: 20 000 random photos in 200 camera folders under the folder given,
# the same bytes on every run (seeded), half of them with long names.
import os
import random
import sys

root = sys.argv[1]
random.seed(7)
for d in range(200):
    folder = os.path.join(root, "Camera folder %03d" % d)
    os.mkdir(folder)
    for f in range(100):
        name = "IMG_2024%04d_%03d photo with a long name.jpg" % (d, f) if f % 2 else "IMG%05d.JPG" % (d * 100 + f)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(os.urandom(random.randint(100, 8000)))
