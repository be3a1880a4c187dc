# Run inside Blender: blender -b --factory-startup --python blender_check.py -- SCENE.gltf CORNERS.ply
# Imports the glTF that lumetra-batch exported and checks it against the
# ASCII PLY export of the same solve: every object is there with its corner
# colours (Blender keeps glTF colours as 8-bit sRGB, so colours up to 1 agree
# within one 8-bit step and brighter ones read as 1) and its reflectance and
# emission as custom properties. Exits 1 on a mismatch.
import sys

import numpy

numpy.bool = bool  # Blender 3.4's glTF importer still uses the removed alias
import bpy


def read_ply(path):
    with open(path) as f:
        lines = f.read().split("\n")
    names, counts, at = [], {}, 0
    while lines[at] != "end_header":
        words = lines[at].split(" ")
        if words[:2] == ["comment", "object"]:
            names.append(" ".join(words[3:]))
        if words[0] == "element":
            counts[words[1]] = int(words[2])
        at += 1
    at += 1
    vertices = [list(map(float, lines[at + i].split())) for i in range(counts["vertex"])]
    at += counts["vertex"]
    faces = [list(map(int, lines[at + i].split()))[1:] for i in range(counts["face"])]
    return names, vertices, faces


def main():
    gltf, ply = sys.argv[sys.argv.index("--") + 1:]
    names, vertices, faces = read_ply(ply)
    bpy.ops.wm.read_factory_settings(use_empty=True)
    bpy.ops.import_scene.gltf(filepath=gltf)
    corners = [vertices[i] for face in faces for i in face]  # x y z r g b, object after object
    at, problems = 0, []
    for name in names:
        ob = bpy.data.objects.get(name)
        if ob is None:
            problems.append("no object " + name)
            continue
        for key in ("reflectance", "emission"):
            if key not in ob.keys():
                problems.append(name + " has no " + key)
        me = ob.data
        colours = me.color_attributes[0].data
        for loop in me.loops:
            want = corners[at]
            at += 1
            co = me.vertices[loop.vertex_index].co  # glTF's +Y up became Blender's +Z up
            if max(abs(co.x - want[0]), abs(co.z - want[1]), abs(-co.y - want[2])) > 1e-4:
                problems.append("%s corner %d at %s, expected %s" % (name, loop.index, tuple(co), want[:3]))
            got = colours[loop.index].color
            for c in range(3):
                expected = min(max(want[3 + c], 0.0), 1.0)
                if abs(got[c] - expected) > 1.0 / 255 + 1e-6:
                    problems.append("%s corner %d colour %s, expected %s" % (name, loop.index, tuple(got), want[3:]))
                    break
    if at != len(corners):
        problems.append("Blender has %d corners, the export %d" % (at, len(corners)))
    for p in problems[:20]:
        print("MISMATCH", p)
    print("checked %d corners of %d objects" % (at, len(names)))
    sys.exit(1 if problems else 0)


main()
