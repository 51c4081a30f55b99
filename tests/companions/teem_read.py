"""Opens a NRRD header (.nhdr) with teem's unu and compares what it gives.

    python3 teem_read.py COMPANION RAW TYPE ORDER COMPONENTS NX NY NZ XAXIS YAXIS ZAXIS

unu (Debian: teem-unu, from teem-apps) saves the volume it reads as one NRRD file with raw
little-endian values and the header it made of the companion; the driver reads that file back
and compares the sizes, spacing, origin and every value (the words are those of expect.py).
`unu minmax` must also agree with the raw samples.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source folder
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import expect  # noqa: E402

UNU = shutil.which("teem-unu") or shutil.which("unu") or "teem-unu"
NUMBER = r"[-+0-9.eEinfa]+"


def unu(*args):
    done = subprocess.run([UNU, *args], capture_output=True, text=True)
    if done.returncode != 0:
        said = done.stderr.strip().split("\n\n")[0]  # not the usage that follows
        raise expect.Mismatch(f"unu {args[0]} failed: {said}")
    return done.stdout


def vectors(text):
    """The vectors of a 'space directions' or 'space origin' field; none for 'none'."""
    return [None if v == "none" else [float(x) for x in v.strip("()").split(",")]
            for v in re.findall(r"none|\([^)]*\)", text)]


def check(expected):
    with tempfile.TemporaryDirectory() as scratch:
        saved = os.path.join(scratch, "saved.nrrd")
        unu("save", "-f", "nrrd", "-e", "raw", "-en", "little", "-i", expected.companion,
            "-o", saved)
        with open(saved, "rb") as file:
            text = b""
            while not text.endswith(b"\n\n"):
                line = file.readline()
                if not line:
                    raise expect.Mismatch("unu wrote no data after its header")
                text += line
            header = dict(line.split(": ", 1) for line in text.decode().splitlines()[1:]
                          if ": " in line and not line.startswith("#"))
            values = expect.np.fromfile(file, dtype=unu_type(header["type"]))
    sizes = [int(v) for v in header["sizes"].split()]
    components = 1
    if len(sizes) == 4:
        components = sizes.pop(0)
    elif len(sizes) != 3:
        raise expect.Mismatch(f"sizes: {header['sizes']}")
    if "space directions" in header:
        directions = vectors(header["space directions"])[-3:]
        for i, d in enumerate(directions):
            if d is None or any(d[j] != 0 for j in range(3) if j != i):
                raise expect.Mismatch(f"space directions {header['space directions']}")
        spacing = [d[i] for i, d in enumerate(directions)]
        origin = vectors(header.get("space origin", "(0,0,0)"))[0]
        if header.get("space") not in ("left-posterior-superior", "3D-right-handed"):
            raise expect.Mismatch(f"space: {header.get('space')}")
    else:
        spacing = [float(v) for v in header["spacings"].split()[-3:]]
        origin = [float(v) for v in header["axis mins"].split()[-3:]]
        centers = header.get("centers", header.get("centerings", ""))
        if centers.split()[-3:] != ["node"] * 3:
            raise expect.Mismatch("axis mins without node centering: ITK moves them half a step")
    axes = [origin[i] + spacing[i] * expect.np.arange(sizes[i]) for i in range(3)]
    expected.check_grid(sizes, axes)
    expected.check_values(values, components)
    # unu minmax skips NaN and infinities, and gives 64-bit unsigned values as signed ones.
    finite = values[expect.np.isfinite(values)] if values.dtype.kind == "f" else values
    if finite.size and values.dtype != "<u8":
        said = re.findall(rf"(?:min|max): ({NUMBER})", unu("minmax", expected.companion))
        if [float(v) for v in said] != [float(finite.min()), float(finite.max())]:
            raise expect.Mismatch(f"unu minmax says {' '.join(said)}")
    return (f"{header['type']} x{components}, sizes {sizes}, spacing {spacing}, origin {origin}: "
            f"all {values.size} values match")


def unu_type(word):
    types = {"signed char": "i1", "unsigned char": "u1", "short": "i2", "unsigned short": "u2",
             "int": "i4", "unsigned int": "u4", "long long int": "i8",
             "unsigned long long int": "u8", "float": "f4", "double": "f8"}
    if word not in types:
        raise expect.Mismatch(f"type: {word}")
    return "<" + types[word]


if __name__ == "__main__":
    sys.exit(expect.run("unu", check, sys.argv[1:]))
