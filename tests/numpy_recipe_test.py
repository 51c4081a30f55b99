"""The numpy recipe of the README (the python block under "For scripts"), run with Debian's
python3-numpy on the converters' files of every grid, type word and encoding, and on samples
written little-endian: the array it maps must hold the values that were converted, in z, y, x
order; text samples have nothing to map, and the recipe says so.

    numpy_recipe_test.py README BUILD_FOLDER
"""

import os
import re
import sys
import tempfile

import converted

README, BUILD = sys.argv[1:3]
try:
    import numpy
except ImportError:
    print("numpy is not installed (Debian: python3-numpy): the recipe is not tested")
    sys.exit(77)


def recipe():
    text = open(README, encoding="utf-8").read()
    section = text.split("### For scripts: `--json`", 1)[1]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def main():
    os.environ["PATH"] = os.path.join(BUILD, "voxinfo") + os.pathsep + os.environ["PATH"]
    scope = {}
    exec(recipe(), scope)
    samples = scope["samples"]
    rows = [(program, encoding, word, False)
            for program, encodings in converted.ENCODINGS.items()
            for encoding in encodings for word in converted.TYPES]
    rows += [("voxeven", "BINARY", word, True) for word in ("short", "unsigned_short", "float")]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        for program, encoding, word, little in rows:
            path = converted.convert(BUILD, scratch, program, encoding, word, little)
            name = os.path.basename(path)
            try:
                got = samples(path)
            except ValueError as error:
                if encoding != "ASCII":
                    failures.append("%s: %s" % (name, error))
                continue
            if encoding == "ASCII":
                failures.append("%s: text samples were mapped as %s" % (name, got.dtype))
                continue
            x, y, z = converted.DIMENSIONS
            want = numpy.array(converted.sample_values(word)).reshape(z, y, x)
            if not isinstance(got, numpy.memmap) or got.shape != want.shape or not (
                    got == want).all():
                failures.append("%s: %s %s, first values %s" % (
                    name, got.dtype, got.shape, got.ravel()[:4]))
    for failure in failures:
        print("FAIL:", failure)
    print("%d files; %d failures" % (len(rows), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
