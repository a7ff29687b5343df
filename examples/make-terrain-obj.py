#!/usr/bin/env python3
"""Writes terrain.obj: the visible form of the height field in terrain-spheres.json.

The collision object there builds its triangles from
  {"heightField": {"cells": [30, 30], "size": [20, 20], "amplitude": 1.2, "frequency": [0.45, 0.45]}}
This file has the same vertices (y = amplitude * sin(x * fx) * cos(z * fz) on the same grid) and the same
two triangles per cell, so what is drawn and lit is what the spheres roll on. Texture coordinates place
the light map: (0, 0) at the (-x, -z) corner.
"""
import math

CELLS, SIZE, AMPLITUDE, FREQUENCY = 30, 20.0, 1.2, 0.45

lines = ["# height field %d x %d cells, %g m square, amplitude %g, frequency %g (make-terrain-obj.py)"
         % (CELLS, CELLS, SIZE, AMPLITUDE, FREQUENCY)]
n = CELLS + 1
for iz in range(n):
    for ix in range(n):
        x = -0.5 * SIZE + SIZE * ix / CELLS
        z = -0.5 * SIZE + SIZE * iz / CELLS
        y = AMPLITUDE * math.sin(x * FREQUENCY) * math.cos(z * FREQUENCY)
        lines.append("v %.5f %.5f %.5f" % (x, y, z))
for iz in range(n):
    for ix in range(n):
        lines.append("vt %.5f %.5f" % (ix / CELLS, iz / CELLS))
def index(ix, iz):
    return iz * n + ix + 1
for iz in range(CELLS):
    for ix in range(CELLS):
        # (x0, z0), (x0, z1), (x1, z0) and (x1, z0), (x0, z1), (x1, z1), as the collision object does.
        for corners in (((ix, iz), (ix, iz + 1), (ix + 1, iz)), ((ix + 1, iz), (ix, iz + 1), (ix + 1, iz + 1))):
            lines.append("f " + " ".join("%d/%d" % (index(*c), index(*c)) for c in corners))
with open(__file__.replace("make-terrain-obj.py", "terrain.obj"), "w") as out:
    out.write("\n".join(lines) + "\n")
