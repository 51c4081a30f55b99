"""voxinfo --json against voxinfo's text report, on every file of tests/legacy/files and on the
converters' own files in every grid, type and encoding: each object parsed by Python's json, every
text line made again from the object's figures and compared with the text report, and every key
and finding code held to the manual page's lists.

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


def plural(n, one, many):
    return "%s %s" % (n, one if n == "1" else many)


def text_lines(o):
    """The text report's lines, made again from an object whose numbers are kept as written."""
    lines = []
    line = lambda key, value: lines.append("  %s: %s" % (key, printable(value)))
    if o["version"] != "2.0":
        line("version", o["version"])
    line("grid", o["grid"])
    line("encoding", o["encoding"] + (", samples embedded" if o["reference"] is None
                                      else ", samples in " + o["reference"]["path"]))
    line("dataset", o["dataset"] or "none")
    line("dimensions", " ".join(o["dimensions"]))
    line("points", o["points"])
    if o["spacing"] is not None:
        line("spacing", " ".join(o["spacing"]))
        line("origin", " ".join(o["origin"]))
    for axis, c in o["coordinates"].items():
        found = "none finite" if c["values"] != "0" else "none"
        line("z locations" if o["grid"] == "slice stack" else axis,
             plural(c["values"], "value", "values") + ", " +
             (found if c["min"] is None else c["min"] + " to " + c["max"]))
    line("extent", ", ".join(axis + (" none" if e is None else " %s to %s" % tuple(e))
                             for axis, e in o["extent"].items()))
    values = lambda v: (("none" if v["min"] is None else v["min"] + " to " + v["max"]) +
                        ("" if v["not_finite"] == "0" else ", %s not finite" % v["not_finite"]))
    s = o["samples"]
    if s is None:
        line("samples", "none")
    else:
        what = "" if (s["array"], s["name"]) == ("SCALARS", "scalars") else "%s %s, " % (
            s["array"], s["name"])
        what += s["type"]
        if o["encoding"] == "ASCII":
            what += " as text"
        elif s["bytes_per_value"] is None:
            what += " (bits)" if s["type"].lower() == "bit" else " (size unknown)"
        else:
            what += " (%s)" % plural(s["bytes_per_value"], "byte", "bytes")
        if s["components"] != "1":
            what += ", %s components" % s["components"]
        if o["encoding"] == "ASCII":
            what += ", %s in %s from byte %s" % (plural(s["numbers"], "number", "numbers"),
                                                 plural(s["bytes"], "byte", "bytes"), s["offset"])
        elif o["encoding"] == "BINARY":
            what += ", %s from byte %s" % (plural(s["bytes"], "byte", "bytes"), s["offset"])
        elif s["bytes"] is None:
            what += ", in " + s["file"]
        else:
            what += ", %s in %s" % (plural(s["bytes"], "byte", "bytes"), s["file"])
        line("samples", what)
        if o["values"] is not None:
            line("values", values(o["values"]))
        if s["byte_order"] is not None:
            line("byte order", s["byte_order"] + (
                "" if s["byte_order_unknown"] is None else
                ": %s; read as big-endian, as declared" % s["byte_order_unknown"]))
    for a in o["arrays"]:
        text = "%s %s %s, %s, %s, %s" % (a["section"], a["keyword"], a["name"], a["type"],
                                         plural(a["components"], "component", "components"),
                                         plural(a["tuples"], "tuple", "tuples"))
        line("array", text + ("" if a["values"] is None else ", " + values(a["values"])))
    for kind in ("problem", "warning"):
        for f in o[kind + "s"]:
            lines.append("  %s: %s" % (kind, printable(f["message"])))
    line("result", o["result"])
    return lines


def main():
    keys, codes = documented("JSON OUTPUT"), documented("FINDING CODES")
    failures = []
    seen_keys, seen_codes = set(), set()
    with tempfile.TemporaryDirectory() as scratch:
        files = sorted(os.path.join(LEGACY, name) for name in os.listdir(LEGACY))
        files += converted.every_file(BUILD, scratch)
        for path in files:
            text = subprocess.run([VOXINFO, path], capture_output=True)
            got = subprocess.run([VOXINFO, "--json", path], capture_output=True)
            name = os.path.basename(path)
            lines = got.stdout.decode("utf-8", "surrogateescape").split("\n")
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
                error = text.stderr.decode("utf-8", "surrogateescape").rstrip("\n")
                if set(plain) != {"file", "status", "error"} or plain["error"]["message"] != error:
                    failures.append("%s: %r against the diagnostic %r" % (name, plain, error))
                continue
            seen_codes.update(f["code"] for f in plain["problems"] + plain["warnings"])
            want = text.stdout.decode("utf-8", "surrogateescape").split("\n")[1:-1]
            have = text_lines(exact)
            # Without a DATASET line the text says what VTK's readers would need.
            have = [w if h == "  dataset: none" and w.startswith("  dataset: none; ") else h
                    for h, w in zip(have, want)] + have[len(want):]
            # Problems and warnings are two lists, each in the text's order.
            for kind in ("", "  problem: ", "  warning: "):
                pick = lambda lines: [line for line in lines if line.startswith(kind) and (
                    kind or not line.startswith(("  problem: ", "  warning: ")))]
                if pick(have) != pick(want):
                    failures += ["%s: from JSON %r, in the text %r" % (name, h, w)
                                 for h, w in zip(pick(have) + [""] * len(want),
                                                 pick(want) + [""] * len(have)) if h != w][:3]
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
    for failure in failures:
        print("FAIL:", failure)
    print("%d files, %d keys, %d codes; %d failures" % (len(files), len(seen_keys),
                                                          len(seen_codes), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
