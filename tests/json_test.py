"""voxinfo --json against voxinfo's text report, on every file of tests/legacy/files and on the
converters' own files in every grid, type and encoding: the two writers of one report, compared.
Each object parsed by Python's json, each figure of it found on its line of the text report
(numbers as written, null where the text shows nan or inf), the findings alike, every key of one
type across all the files, and every key and finding code held to the manual page's lists.

    json_test.py VOXINFO BUILD_FOLDER LEGACY_FILES MANUAL_PAGE
"""

import json
import os
import re
import subprocess
import sys
import tempfile

import converted

VOXINFO, BUILD, LEGACY, MANUAL = sys.argv[1:5]

def documented(section):
    """The names after each .TP in a section of the manual page: "a\\fR, \\fBb" names two."""
    text = open(MANUAL, encoding="utf-8").read()
    body = text.split(".SH " + section + "\n", 1)[1].split("\n.SH ", 1)[0].split("\n")
    names = set()
    for before, line in zip(body, body[1:]):
        if before == ".TP" and line.startswith(".B "):
            names.update(re.sub(r"\\f[BRI]", "", line[3:]).replace(" ", "").split(","))
    return names


def key_paths(value, prefix=""):
    """Every key of an object as documented: inner keys after a dot, list items as one, and the
    keys inside the axes of coordinates and extent as those of x."""
    if isinstance(value, dict):
        for key, inner in value.items():
            path = prefix + "." + key if prefix else key
            yield path
            if prefix in ("coordinates", "extent"):
                path = prefix + ".x"
            yield from key_paths(inner, path)
    elif isinstance(value, list):
        for inner in value:
            yield from key_paths(inner, prefix)


def printable(text):
    return re.sub(r"[\x00-\x1f\x7f]", lambda m: "\\x%02x" % ord(m.group()), text)


def figure(value):
    """A JSON figure as a pattern for the text: a number as written, null for what is not finite."""
    if value is None:
        return r"-?(?:nan|inf)"
    return re.escape(str(value))


def span(pair):
    return "none" if pair is None else "%s to %s" % (figure(pair[0]), figure(pair[1]))


def values_of(v):
    return ("none" if v["min"] is None else "%s to %s" % (re.escape(v["min"]), re.escape(v["max"])))


# Each line of the text report that holds figures, and the figures of the JSON object that the
# line must show, as a pattern of its value; None where the object has no such line.
LINES = {
    "grid": lambda o: re.escape(o["grid"]),
    "dimensions": lambda o: " ".join(figure(d) for d in o["dimensions"]),
    "points": lambda o: figure(o["points"]),
    "spacing": lambda o: o["spacing"] and " ".join(figure(d) for d in o["spacing"]),
    "origin": lambda o: o["origin"] and " ".join(figure(d) for d in o["origin"]),
    "extent": lambda o: ", ".join("%s %s" % (axis, span(e)) for axis, e in o["extent"].items()),
    "values": lambda o: o["values"] and values_of(o["values"]) + (
        "" if o["values"]["not_finite"] == "0" else ", %s not finite" % o["values"]["not_finite"]),
    "byte order": lambda o: o["samples"] and o["samples"]["byte_order"] and re.escape(
        o["samples"]["byte_order"]) + ("" if o["samples"]["byte_order_unknown"] is None else
                                       ": " + re.escape(o["samples"]["byte_order_unknown"]) + ".*"),
    "result": lambda o: re.escape(o["result"]),
}


def compare(name, text, o):
    """The failures where the text report and the object of one file disagree."""
    lines = [line[2:].split(": ", 1) for line in text if line.startswith("  ")]
    failures = []
    for key, pattern in LINES.items():
        shown = [value for k, value in lines if k == key]
        want = pattern(o)
        if (want is None) != (not shown) or (shown and not re.fullmatch(want, shown[0])):
            failures.append("%s: %s: text %r, JSON %r" % (name, key, shown, want))
    # Coordinates, arrays and findings in their order.
    axes = [value for k, value in lines if k in ("x", "y", "z", "z locations")]
    want = ["%s %s, %s" % (c["values"], "value" if c["values"] == "1" else "values",
                           span((c["min"], c["max"])) if c["min"] is not None else
                           "(?:none finite|none)") for c in o["coordinates"].values()]
    arrays = [value for k, value in lines if k == "array"]
    findings = [(k, value) for k, value in lines if k in ("problem", "warning")]
    want_findings = [(k, printable(f["message"])) for k in ("problem", "warning")
                     for f in o[k + "s"]]
    if len(axes) != len(want) or not all(re.fullmatch(w, a) for w, a in zip(want, axes)):
        failures.append("%s: coordinates %r against %r" % (name, axes, want))
    if [a.split(",")[0] for a in arrays] != ["%s %s %s" % (a["section"], a["keyword"], a["name"])
                                             for a in o["arrays"]]:
        failures.append("%s: arrays %r against %r" % (name, arrays, o["arrays"]))
    if sorted(findings) != sorted(want_findings):
        failures.append("%s: findings %r against %r" % (name, findings, want_findings))
    return failures


def types(value, prefix="", out=None):
    """The JSON types seen under each key path, null apart."""
    out = {} if out is None else out
    if isinstance(value, dict):
        for key, inner in value.items():
            types(inner, prefix + "." + key if prefix else key, out)
    elif isinstance(value, list):
        out.setdefault(prefix, set()).add("list")
        for inner in value:
            types(inner, prefix + "[]", out)
    elif value is not None:
        kind = "number" if isinstance(value, (int, float)) and not isinstance(value, bool) else \
            type(value).__name__
        out.setdefault(prefix, set()).add(kind)
    return out


def main():
    keys, codes = documented("JSON OUTPUT"), documented("FINDING CODES")
    failures = []
    seen_keys, seen_codes, seen_types = set(), set(), {}
    with tempfile.TemporaryDirectory() as scratch:
        files = sorted(os.path.join(LEGACY, name) for name in os.listdir(LEGACY))
        files += converted.every_file(BUILD, scratch)
        # Numbers that are not finite, which JSON writes as null, beside finite ones.
        files.append(os.path.join(scratch, "not_finite.vtk"))
        with open(files[-1], "wb") as f:
            f.write(b"# vtk DataFile Version 2.0\nt\nBINARY\nDIMENSIONS 2 1 1\n"
                    b"SPACING nan -inf 1e308\nORIGIN 0 inf 0\nPOINT_DATA 2\nSCALARS s float\n"
                    b"LOOKUP_TABLE default\n\x7f\xc0\x00\x00\x3f\x80\x00\x00")
        for path in files:
            text = subprocess.run([VOXINFO, path], capture_output=True)
            got = subprocess.run([VOXINFO, "--json", path], capture_output=True)
            name = os.path.basename(path)
            lines = got.stdout.decode("utf-8").split("\n")
            if got.returncode != text.returncode or len(lines) != 2 or lines[1] != "":
                failures.append("%s: status %d against %d, %d lines" % (
                    name, got.returncode, text.returncode, len(lines) - 1))
                continue
            plain = json.loads(lines[0])
            exact = json.loads(lines[0], parse_int=str, parse_float=str)
            seen_keys.update(key_paths(plain))
            if plain["status"] != got.returncode or plain["file"] != path:
                failures.append("%s: status %r, file %r" % (name, plain["status"], plain["file"]))
            if got.returncode == 2:
                error = text.stderr.decode("utf-8", "replace").rstrip("\n")
                if set(plain) != {"file", "status", "error"} or plain["error"]["message"] != error:
                    failures.append("%s: %r against the diagnostic %r" % (name, plain, error))
                continue
            seen_codes.update(f["code"] for f in plain["problems"] + plain["warnings"])
            text_lines = text.stdout.decode("utf-8", "replace").split("\n")[1:-1]
            failures += compare(name, text_lines, exact)
            types(plain, out=seen_types)
            if plain["samples"] is not None and plain["samples"]["dtype"] is not None:
                s = plain["samples"]
                size = int(s["dtype"][2:]) * plain["points"] * plain["samples"]["components"]
                if s["bytes"] != size and not plain["problems"]:
                    failures.append("%s: %s bytes for dtype %s" % (name, s["bytes"], s["dtype"]))
        # JSON Lines: one object a file, in order, and the worst status.
        batch = subprocess.run([VOXINFO] + files + ["--json"], capture_output=True, text=True)
        objects = [json.loads(line) for line in batch.stdout.splitlines()]
        if [o["file"] for o in objects] != files or batch.returncode != max(
                o["status"] for o in objects):
            failures.append("a batch of %d files gave %d objects, status %d" % (
                len(files), len(objects), batch.returncode))
    undocumented = seen_keys - keys
    unseen = {k for k in keys if "." in k or k in {"file", "status"}} - seen_keys
    failures += ["key %s is not in the manual page" % k for k in sorted(undocumented)]
    failures += ["documented key %s is never written" % k for k in sorted(unseen)]
    failures += ["code %s is not in the manual page" % c for c in sorted(seen_codes - codes)]
    # Every key keeps one type, null apart.
    failures += ["key %s holds %s" % (k, " and ".join(sorted(t)))
                 for k, t in sorted(seen_types.items()) if len(t) > 1]
    for failure in failures:
        print("FAIL:", failure)
    print("%d files, %d keys, %d codes; %d failures" % (len(files), len(seen_keys),
                                                          len(seen_codes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
