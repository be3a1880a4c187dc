#!/usr/bin/env python3
"""A test model for lumetra-mesh: a two-storey house as a CAD program would
export it, with hundreds of meshes (one per wall piece, frame, sill, step,
piece of furniture), 50 materials (nine of them duplicate glass blocks),
faces triangulated around a stray vertex near an edge here and there (slivers
0.4 mm and 2 mm wide), curved furniture, and no light. Writes house.obj with
house.mtl, and house.gltf with a camera in the living room. The same seed
gives the same files.

Usage: scenes/make-house.py OUTDIR
  lumetra-mesh OUTDIR/house.gltf OUTDIR/scene --max-edge 0.5 --emit 'glass*=1500,1500,1500'
"""
import base64, json, math, os, random, struct, sys

random.seed(7)
out = sys.argv[1] if len(sys.argv) > 1 else "."
os.makedirs(out, exist_ok=True)

materials = []  # (name, rgb)
def mat(name, rgb):
    materials.append((name, rgb))
    return name
paints = [mat("Paint_%02d" % i, (0.5 + 0.4 * random.random(), 0.5 + 0.4 * random.random(), 0.5 + 0.4 * random.random())) for i in range(20)]
woods = [mat("Wood_%s" % n, c) for n, c in [("Oak", (0.6, 0.45, 0.3)), ("Walnut", (0.35, 0.22, 0.15)), ("Pine", (0.75, 0.6, 0.4)),
                                             ("Ash", (0.7, 0.62, 0.5)), ("Teak", (0.55, 0.38, 0.2)), ("Birch", (0.8, 0.7, 0.55))]]
glass = [mat("Glass-Clear_%d" % i, (0.8, 0.85, 0.9)) for i in range(1, 10)]
others = [mat(n, c) for n, c in [("Concrete", (0.55, 0.55, 0.52)), ("Tile_White", (0.85, 0.85, 0.83)), ("Tile_Grey", (0.45, 0.45, 0.46)),
                                  ("Metal_Steel", (0.6, 0.6, 0.62)), ("Metal_Black", (0.1, 0.1, 0.1)), ("Fabric_Blue", (0.2, 0.3, 0.6)),
                                  ("Fabric_Red", (0.6, 0.15, 0.12)), ("Fabric_Beige", (0.75, 0.68, 0.55)), ("Roof_Tiles", (0.5, 0.2, 0.15)),
                                  ("Plaster", (0.88, 0.86, 0.82)), ("Marble", (0.9, 0.9, 0.88)), ("Brick", (0.6, 0.3, 0.22)),
                                  ("Carpet", (0.4, 0.35, 0.3)), ("Leather", (0.3, 0.2, 0.12)), ("Ceramic", (0.95, 0.95, 0.95))]]
assert len(materials) == 50, len(materials)

meshes = []  # (name, material, [triangles as ((x,y,z),)*3])

def quad(p0, p1, p2, p3, sliver=None):
    """Two triangles, or a fan around a stray point `sliver` metres inside edge p0-p1."""
    if sliver is None:
        return [(p0, p1, p2), (p0, p2, p3)]
    m = [(a + b) / 2 for a, b in zip(p0, p1)]
    c = [(a + b) / 2 for a, b in zip(p2, p3)]
    d = [b - a for a, b in zip(m, c)]
    n = math.sqrt(sum(x * x for x in d))
    s = tuple(a + x / n * sliver for a, x in zip(m, d))
    return [(p0, p1, s), (p1, p2, s), (p2, p3, s), (p3, p0, s)]

def box(x0, y0, z0, x1, y1, z1, sliver_faces=0, sliver=0.0004):
    P = lambda i, j, k: (x1 if i else x0, y1 if j else y0, z1 if k else z0)
    faces = [(P(0, 0, 0), P(0, 1, 0), P(1, 1, 0), P(1, 0, 0)), (P(0, 0, 1), P(1, 0, 1), P(1, 1, 1), P(0, 1, 1)),
             (P(0, 0, 0), P(1, 0, 0), P(1, 0, 1), P(0, 0, 1)), (P(0, 1, 0), P(0, 1, 1), P(1, 1, 1), P(1, 1, 0)),
             (P(0, 0, 0), P(0, 0, 1), P(0, 1, 1), P(0, 1, 0)), (P(1, 0, 0), P(1, 1, 0), P(1, 1, 1), P(1, 0, 1))]
    tris = []
    for i, f in enumerate(faces):
        tris += quad(*f, sliver=sliver if i < sliver_faces else None)
    return tris

def add(name, material, tris):
    meshes.append((name, material, tris))

def cylinder(cx, cy, z0, z1, r, n):
    tris = []
    for i in range(n):
        a0, a1 = 2 * math.pi * i / n, 2 * math.pi * (i + 1) / n
        p0 = (cx + r * math.cos(a0), cy + r * math.sin(a0)); p1 = (cx + r * math.cos(a1), cy + r * math.sin(a1))
        tris += quad((p0[0], p0[1], z0), (p1[0], p1[1], z0), (p1[0], p1[1], z1), (p0[0], p0[1], z1))
        tris.append(((cx, cy, z1), (p0[0], p0[1], z1), (p1[0], p1[1], z1)))
        tris.append(((cx, cy, z0), (p1[0], p1[1], z0), (p0[0], p0[1], z0)))
    return tris

def sphere(cx, cy, cz, r, n):
    tris = []
    for i in range(n):
        t0, t1 = math.pi * i / n, math.pi * (i + 1) / n
        for j in range(2 * n):
            f0, f1 = math.pi * j / n, math.pi * (j + 1) / n
            P = lambda t, f: (cx + r * math.sin(t) * math.cos(f), cy + r * math.sin(t) * math.sin(f), cz + r * math.cos(t))
            a, b, c, d = P(t0, f0), P(t1, f0), P(t1, f1), P(t0, f1)
            if i > 0: tris.append((a, b, d))
            if i < n - 1: tris.append((b, c, d))
    return tris

W, D, H, T = 12.0, 9.0, 3.0, 0.2  # house width, depth, storey height, wall thickness
n_sliver = 0
for storey in range(2):
    z0 = storey * H
    add("Slab_%d" % storey, "Concrete", box(0, 0, z0 - 0.25, W, D, z0, sliver_faces=1 if storey else 0))
    add("Floor_%d" % storey, "Wood_Oak" if storey else "Tile_Grey", box(T, T, z0, W - T, D - T, z0 + 0.02))
    # outer walls: pieces between windows, with sills, frames and glass
    for side in range(4):
        length = W if side % 2 == 0 else D
        nwin = 4 if side % 2 == 0 else 3
        seg = length / nwin
        for k in range(nwin):
            a, b = k * seg, (k + 1) * seg
            wa, wb = a + seg * 0.3, b - seg * 0.3
            def wall(u0, u1, h0, h1, thick=T, off=0.0):
                if side == 0: return (u0, off, z0 + h0, u1, off + thick, z0 + h1)
                if side == 1: return (W - thick - off, u0, z0 + h0, W - off, u1, z0 + h1)
                if side == 2: return (W - u1, D - thick - off, z0 + h0, W - u0, D - off, z0 + h1)
                return (off, D - u1, z0 + h0, off + thick, D - u0, z0 + h1)
            sl = random.choice([None, None, 0.0004, 0.002])
            if sl: n_sliver += 1
            paint = random.choice(paints[:6])
            add("Wall_%d_%d_%d_left" % (storey, side, k), paint, box(*wall(a, wa, 0, H), sliver_faces=2 if sl else 0, sliver=sl or 0))
            add("Wall_%d_%d_%d_right" % (storey, side, k), paint, box(*wall(wb, b, 0, H)))
            add("Wall_%d_%d_%d_below" % (storey, side, k), paint, box(*wall(wa, wb, 0, 0.9)))
            add("Wall_%d_%d_%d_above" % (storey, side, k), paint, box(*wall(wa, wb, 2.3, H)))
            add("Sill_%d_%d_%d" % (storey, side, k), "Marble", box(*wall(wa - 0.05, wb + 0.05, 0.9, 0.92, thick=T + 0.06, off=-0.03), sliver_faces=3, sliver=0.002))
            for f, (u0, u1, h0, h1) in enumerate([(wa, wa + 0.05, 0.92, 2.3), (wb - 0.05, wb, 0.92, 2.3), (wa, wb, 2.25, 2.3), (wa, wb, 0.92, 0.97)]):
                add("Frame_%d_%d_%d_%d" % (storey, side, k, f), random.choice(woods), box(*wall(u0, u1, h0, h1, thick=0.08, off=0.06)))
            add("Glass_%d_%d_%d" % (storey, side, k), random.choice(glass), box(*wall(wa + 0.05, wb - 0.05, 0.97, 2.25, thick=0.006, off=0.097)))
    # partition walls with door openings and door frames
    for p in range(3):
        x = 3.0 + p * 3.0
        paint = random.choice(paints)
        add("Partition_%d_%d_a" % (storey, p), paint, box(x, T, z0, x + 0.1, 4.0, z0 + H, sliver_faces=1, sliver=0.002))
        add("Partition_%d_%d_b" % (storey, p), paint, box(x, 4.9, z0, x + 0.1, D - T, z0 + H))
        add("Partition_%d_%d_top" % (storey, p), paint, box(x, 4.0, z0 + 2.1, x + 0.1, 4.9, z0 + H))
        for f, (y0, y1, h0, h1) in enumerate([(4.0, 4.05, 0, 2.1), (4.85, 4.9, 0, 2.1), (4.0, 4.9, 2.05, 2.1)]):
            add("DoorFrame_%d_%d_%d" % (storey, p, f), random.choice(woods), box(x - 0.01, y0, z0 + h0, x + 0.11, y1, z0 + h1))
        add("Door_%d_%d" % (storey, p), random.choice(woods), box(x + 0.03, 4.05, z0 + 0.01, x + 0.07, 4.85, z0 + 2.05))
        add("Skirting_%d_%d" % (storey, p), "Wood_Ash", box(x - 0.012, T, z0, x - 0.0005, 4.0, z0 + 0.08, sliver_faces=2, sliver=0.0004))
    # furniture per room
    for r in range(4):
        rx = T + r * 3.0 + 0.4
        add("Table_%d_%d" % (storey, r), random.choice(woods), box(rx, 1.0, z0 + 0.72, rx + 1.4, 1.9, z0 + 0.76))
        for l in range(4):
            lx, ly = rx + (0.05 if l % 2 == 0 else 1.3), 1.05 if l < 2 else 1.8
            add("TableLeg_%d_%d_%d" % (storey, r, l), random.choice(woods), box(lx, ly, z0, lx + 0.05, ly + 0.05, z0 + 0.72))
        for c in range(4):
            cx = rx + 0.2 + c * 0.3
            add("Chair_%d_%d_%d" % (storey, r, c), random.choice(others[5:8]), box(cx, 0.6, z0 + 0.42, cx + 0.25, 0.9, z0 + 0.46))
            add("ChairBack_%d_%d_%d" % (storey, r, c), random.choice(others[5:8]), box(cx, 0.55, z0 + 0.42, cx + 0.25, 0.6, z0 + 0.95))
        add("Lamp_%d_%d" % (storey, r), "Ceramic", sphere(rx + 0.7, 1.45, z0 + 2.5, 0.2, 16))
        add("LampRod_%d_%d" % (storey, r), "Metal_Black", cylinder(rx + 0.7, 1.45, z0 + 2.7, z0 + H, 0.01, 12))
        add("Column_%d_%d" % (storey, r), "Plaster", cylinder(rx + 2.2, 6.5, z0, z0 + H, 0.15, 48))
        add("Sofa_%d_%d" % (storey, r), random.choice(others[5:8] + ["Leather"]), box(rx, 6.8, z0, rx + 2.0, 7.7, z0 + 0.45))
        add("SofaBack_%d_%d" % (storey, r), random.choice(others[5:8] + ["Leather"]), box(rx, 7.6, z0, rx + 2.0, 7.8, z0 + 0.9))
        add("Rug_%d_%d" % (storey, r), "Carpet", box(rx, 3.0, z0 + 0.02, rx + 2.0, 5.5, z0 + 0.025, sliver_faces=1, sliver=0.002))
        add("Shelf_%d_%d" % (storey, r), random.choice(woods), box(rx + 2.3, 8.3, z0, rx + 2.6, 8.7, z0 + 2.0))
        for s in range(5):
            add("Book_%d_%d_%d" % (storey, r, s), random.choice(others[5:8]), box(rx + 2.32, 8.3 + s * 0.07, z0 + 1.0, rx + 2.55, 8.35 + s * 0.07, z0 + 1.3))
# stairs
for s in range(16):
    add("Step_%02d" % s, "Wood_Walnut", box(10.0, 5.0 + s * 0.25, (s + 1) * H / 16 - 0.04, 11.5, 5.25 + s * 0.25, (s + 1) * H / 16))
    add("Riser_%02d" % s, "Paint_00", box(10.0, 5.0 + s * 0.25, s * H / 16, 11.5, 5.01 + s * 0.25, (s + 1) * H / 16 - 0.04))
# roof: two pitched planes
add("Roof_A", "Roof_Tiles", quad((0, 0, 2 * H), (W, 0, 2 * H), (W, D / 2, 2 * H + 2.5), (0, D / 2, 2 * H + 2.5)))
add("Roof_B", "Roof_Tiles", quad((0, D / 2, 2 * H + 2.5), (W, D / 2, 2 * H + 2.5), (W, D, 2 * H), (0, D, 2 * H)))
add("Gable_A", "Brick", [((0, 0, 2 * H), (0, D / 2, 2 * H + 2.5), (0, D, 2 * H))])
add("Gable_B", "Brick", [((W, 0, 2 * H), (W, D, 2 * H), (W, D / 2, 2 * H + 2.5))])
add("Ceiling_Top", "Plaster", box(0, 0, 2 * H - 0.02, W, D, 2 * H))

used = sorted(set(m for _, m, _ in meshes))
ntri = sum(len(t) for _, _, t in meshes)
print("meshes %d, materials %d (used %d), triangles %d, sliver walls %d" % (len(meshes), len(materials), len(used), ntri, n_sliver))

# OBJ, z up written as y up (x, z, -y) like most exporters
def yup(p):
    return (p[0], p[2], -p[1])
with open(os.path.join(out, "house.mtl"), "w") as f:
    for n, c in materials:
        f.write("newmtl %s\nKd %.4f %.4f %.4f\nKe 0 0 0\n\n" % (n, *c))
with open(os.path.join(out, "house.obj"), "w") as f:
    f.write("mtllib house.mtl\n")
    vi = 1
    for name, m, tris in meshes:
        f.write("o %s\nusemtl %s\n" % (name, m))
        for t in tris:
            for p in t:
                f.write("v %.6f %.6f %.6f\n" % yup(p))
        for k in range(len(tris)):
            f.write("f %d %d %d\n" % (vi + 3 * k, vi + 3 * k + 1, vi + 3 * k + 2))
        vi += 3 * len(tris)

# glTF 2.0 with embedded buffer, one node per mesh, y up, and a camera.
blob = bytearray(); accessors = []; views = []; gmeshes = []; nodes = []
midx = {n: i for i, (n, _) in enumerate(materials)}
for name, m, tris in meshes:
    pts = [yup(p) for t in tris for p in t]
    off = len(blob)
    for p in pts: blob += struct.pack("<3f", *p)
    views.append({"buffer": 0, "byteOffset": off, "byteLength": 12 * len(pts)})
    mn = [min(p[i] for p in pts) for i in range(3)]; mx = [max(p[i] for p in pts) for i in range(3)]
    accessors.append({"bufferView": len(views) - 1, "componentType": 5126, "count": len(pts), "type": "VEC3", "min": mn, "max": mx})
    gmeshes.append({"name": name, "primitives": [{"attributes": {"POSITION": len(accessors) - 1}, "material": midx[m]}]})
    nodes.append({"name": name, "mesh": len(gmeshes) - 1})
# camera: in a corner of the first ground-floor room, 1.6 m high, looking
# across it (glTF cameras look along -z: turn -45 degrees about y).
nodes.append({"name": "LivingRoomCamera", "camera": 0, "translation": [0.6, 1.6, -0.6],
              "rotation": [0, -math.sin(math.pi / 8), 0, math.cos(math.pi / 8)]})
gl = {"asset": {"version": "2.0", "generator": "gen.py"}, "scene": 0, "scenes": [{"nodes": list(range(len(nodes)))}],
      "nodes": nodes, "meshes": gmeshes, "accessors": accessors, "bufferViews": views,
      "materials": [{"name": n, "pbrMetallicRoughness": {"baseColorFactor": [*c, 1.0], "metallicFactor": 0.0}} for n, c in materials],
      "cameras": [{"type": "perspective", "perspective": {"yfov": 1.0, "aspectRatio": 1.5, "znear": 0.05, "zfar": 100}}],
      "buffers": [{"byteLength": len(blob), "uri": "data:application/octet-stream;base64," + base64.b64encode(bytes(blob)).decode()}]}
with open(os.path.join(out, "house.gltf"), "w") as f:
    json.dump(gl, f)
