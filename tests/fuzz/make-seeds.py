#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz corpus (tests/fuzz/corpus/).

Inputs that a fuzzing run finds interesting are added beside these by
scripts/fuzz.sh; this script only (re)writes the files named "seed-*".
"""
import json
import os
import plistlib
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


# --- Apple-event frames (docs/apple-events.md) ---------------------------------

def code(c):
    assert len(c) == 4
    return c.encode("latin-1")


def scalar(t, data):
    return code(t) + b"\x00" + struct.pack(">I", len(data)) + data


def utxt(s):
    return scalar("utxt", s.encode("utf-16-be"))


def long_(v):
    return scalar("long", struct.pack(">i", v))


def type_(c):
    return scalar("type", code(c))


def enum(c):
    return scalar("enum", code(c))


def furl(u):
    return scalar("furl", u.encode("utf-8"))


def null():
    return scalar("null", b"")


def lst(items):
    return code("list") + b"\x01" + struct.pack(">I", len(items)) + b"".join(items)


def record(fields, rtype="reco"):
    body = b"".join(code(k) + v for k, v in fields)
    return code(rtype) + b"\x02" + struct.pack(">I", len(fields)) + body


def event(cls, eid, params, rtid, inte=0x20):
    attrs = [("rtid", long_(rtid))]
    if inte is not None:
        attrs.append(("inte", long_(inte)))
    out = code("aevt") + b"\x03" + code(cls) + code(eid)
    out += struct.pack(">I", len(attrs)) + b"".join(code(k) + v for k, v in attrs)
    out += struct.pack(">I", len(params)) + b"".join(code(k) + v for k, v in params)
    return out


def frame(payload, kind=1):
    return b"RDAE" + struct.pack(">HHI", 1, kind, len(payload)) + payload


def usrf(pairs):
    items = []
    for k, v in pairs:
        items += [utxt(k), utxt(v)]
    return record([("usrf", lst(items))])


def make_asset(rtid, name="My Clip", meta=None, options=None, inte=0x20):
    props = [("pnam", utxt(name)),
             ("meta", usrf(meta or [("com.apple.proapps.studio.reel", "A001"),
                                    ("com.apple.proapps.share.description", "Take 1")])),
             ("dopt", usrf(options or [("availableMetadataSets", "all")]))]
    return event("core", "crel", [("kocl", type_("aset")), ("prdt", record(props))], rtid, inte)


def document(index=1):
    return record([("want", type_("docu")), ("from", null()), ("form", enum("indx")),
                   ("seld", long_(index))], "obj ")


def asset(index=1):
    return record([("want", type_("aset")), ("from", document()), ("form", enum("indx")),
                   ("seld", long_(index))], "obj ")


def prop(owner, p):
    return record([("want", type_("prop")), ("from", owner), ("form", enum("prop")),
                   ("seld", type_(p))], "obj ")


def get(rtid, specifier):
    return event("core", "getd", [("----", specifier)], rtid)


def appleevent_seeds():
    share = [frame(make_asset(1))]
    for i, p in enumerate(["locn", "lbry", "meta", "dopt", "pnam", "ID  "]):
        share.append(frame(get(10 + i, prop(asset(), p))))
    share.append(frame(event("aevt", "odoc", [("----", lst([
        furl("file:///tmp/My%20Clip.mov"), furl("file:///tmp/My%20Clip.fcpxml")]))], 20)))
    write("appleevent", "share", b"".join(share))
    write("appleevent", "make", frame(make_asset(1)))
    write("appleevent", "make-never-interact", frame(make_asset(2, inte=0x10)))
    write("appleevent", "make-odd-names", frame(make_asset(
        3, name="../../etc/passwd:\u00e9\u0301/\u0000x", meta=[("k", "v" * 300)])))
    write("appleevent", "make-no-class", frame(event("core", "crel", [], 4)))
    write("appleevent", "get-document-name", frame(get(5, prop(document(), "pnam"))))
    write("appleevent", "get-by-id", frame(get(6, record([
        ("want", type_("aset")), ("from", document()), ("form", enum("ID  ")),
        ("seld", utxt("1"))], "obj "))))
    write("appleevent", "get-negative-index", frame(get(7, prop(asset(-1), "locn"))))
    write("appleevent", "core-events", b"".join(
        frame(event("aevt", e, [], 30 + i)) for i, e in enumerate(["oapp", "rapp", "quit"])))
    write("appleevent", "unknown-event", frame(event("xxxx", "yyyy", [("----", long_(1))], 40)))
    write("appleevent", "no-return-id", frame(code("aevt") + b"\x03" + code("core") +
                                               code("getd") + struct.pack(">II", 0, 0)))
    write("appleevent", "reply-frame", frame(event("aevt", "ansr", [], 41), kind=2))
    write("appleevent", "bad-magic", b"XXAE" + frame(make_asset(1))[4:])
    write("appleevent", "cut-short", frame(make_asset(1))[:-7])
    write("appleevent", "claims-1GB", b"RDAE" + struct.pack(">HHI", 1, 1, 1 << 30))
    deep = long_(1)
    for _ in range(40):
        deep = lst([deep])
    write("appleevent", "too-deep", frame(event("core", "getd", [("----", deep)], 42)))
    scalars = [scalar("shor", b"\x00\x01"), scalar("doub", struct.pack(">d", 1.5)),
               scalar("bool", b"\x01"), scalar("true", b""), scalar("utf8", "é".encode()),
               scalar("TEXT", b"abc"), scalar("comp", struct.pack(">q", -5)),
               scalar("magn", struct.pack(">I", 7)), scalar("keyw", code("pnam"))]
    write("appleevent", "scalars", frame(event("core", "getd", [("----", lst(scalars))], 43)))


# --- Property lists: export list, registry entries -------------------------------

def plist_seeds():
    item = {"name": "My Clip", "library": "lib1", "project": "p1", "projectname": "Film",
            "thumbnail": "/tmp/thumb.jpg", "original": "/data/Lib/Media/My Clip.mov",
            "fcpxml": "/data/Lib/Media/My Clip.fcpxml",
            "fcpmetadata": {"com.apple.proapps.studio.reel": "A001", "n": 3},
            "locationinfo": {"mediapath": "Media", "dbname": "lib1"},
            "storetopath": "/tmp/out", "assetid": "42", "exportstatus": 2,
            "fcpxmlstatus": 2, "fcpxmlonly": False, "importtype": 1}
    only_xml = dict(item, fcpxmlonly=True, exportstatus=-1, name="Only \u00e9\u0301 XML")
    minimal = {"name": "x"}
    write("plist_records", "export-list.xml", plistlib.dumps([item, only_xml, minimal]))
    write("plist_records", "export-list.bin", plistlib.dumps([item, only_xml],
                                                             fmt=plistlib.FMT_BINARY))
    library = {"dbname": "lib1", "name": "Main", "desc": "", "packagefolder": "/data/Lib",
               "mountpath": "", "type": 0, "address": "127.0.0.1", "port": 7662, "shared": 0}
    network = dict(library, dbname="net", type=1, address="10.1.2.3", shared=1)
    write("plist_records", "registry.xml", plistlib.dumps({"lib1": library, "net": network}))
    write("plist_records", "registry.bin", plistlib.dumps([library, network],
                                                          fmt=plistlib.FMT_BINARY))
    write("plist_records", "project.xml", plistlib.dumps(
        {"id": "p1", "name": "Film", "dbname": "lib1", "type": 0}))
    write("plist_records", "odd-values.xml", plistlib.dumps([
        {"name": "tab\there", "exportstatus": 99, "importtype": "1", "fcpxmlonly": "yes",
         "locationinfo": "not a dict", "fcpmetadata": [1, 2]},
        {"name": "", "library": 5, "original": "", "data": b"\x00\x01"}]))


# --- Service answers and project trees ------------------------------------------

def envelope(**fields):
    out = {"error": 0, "domain": "tessel", "message": "ok"}
    out.update(fields)
    return out


def tree(depth, prefix="g"):
    node = {"id": f"{prefix}{depth}", "name": f"Level {depth}", "dbname": "fz", "type": 1}
    for level in range(depth - 1, 0, -1):
        node = {"id": f"{prefix}{level}", "name": f"Level {level}", "dbname": "fz", "type": 1,
                "group": [node]}
    return node


def service_seeds():
    write("service_answer", "libraries.json", json.dumps(envelope(items=[
        {"dbname": "lib1", "name": "Main", "type": 0, "port": 7662}])))
    write("service_answer", "error.json", json.dumps(
        {"error": 35, "domain": "TesselDomain", "message": "No such library"}))
    write("service_answer", "error-as-text.json", '{"error":"7","domain":"d","message":"m"}')
    write("service_answer", "missing-message.json", '{"error":0,"domain":"d"}')
    write("service_answer", "array.json", '[{"Status":{"code":3,"msg":"bad","domain":"x"}}]')
    write("service_answer", "status.json", json.dumps(envelope(
        Status={"code": 5, "msg": "m", "domain": "d"})))
    write("service_answer", "escapes.json",
          '{"error":0,"domain":"d","message":"\\u00e9\\ud834\\udd1e\\ud834 \\n\\"\\\\\\/",'
          '"n":[1.0,1e2,-0,9223372036854775808,1.5e-400,null,true,false]}')
    write("service_answer", "system.json", json.dumps(envelope(id="local", password="p4ss")))
    write("service_answer", "upload-location.plist", plistlib.dumps(
        {"mediapath": "Media/2024", "items": [1, 2.5, True, "x"]}))
    write("service_answer", "array.plist", plistlib.dumps(["a", 2]))
    write("service_answer", "binary.plist", plistlib.dumps({"k": b"\x00\xff"},
                                                           fmt=plistlib.FMT_BINARY))
    write("service_answer", "html", "<html><body><h1>502 Bad Gateway</h1></body></html>")
    write("service_answer", "deep.json", "[" * 3000 + "]" * 3000)
    write("service_answer", "cut.json", '{"error":0,"domain":"d","message":"m","items":[{"a":')


def project_seeds():
    projects = [
        {"id": "p1", "name": "Film", "dbname": "fz", "type": 0, "group": [
            {"id": "g1", "name": "Scenes", "dbname": "fz", "type": 1, "group": [
                {"id": "g11", "name": "Night", "dbname": "fz", "type": 1}]},
            {"id": "g2", "name": "Sound", "dbname": "fz", "type": 1}]},
        {"id": "p2", "name": "Ads", "dbname": "fz", "type": 0},
        {"id": "bad", "type": 0},
        {"id": "p3", "name": "Same id", "dbname": "fz", "type": 0, "group": [
            {"id": "p3", "name": "Twin", "dbname": "fz", "type": 1}]}]
    write("project_tree", "tree.json", json.dumps(envelope(projects=projects)))
    write("project_tree", "empty.json", json.dumps(envelope(projects=[])))
    write("project_tree", "no-projects.json", json.dumps(envelope()))
    write("project_tree", "not-a-list.json", json.dumps(envelope(projects={"id": "p"})))
    deep = tree(300)
    deep["type"] = 0
    write("project_tree", "deep.json", json.dumps(envelope(projects=[deep])))
    write("project_tree", "tree.plist", plistlib.dumps({"projects": projects}))


if __name__ == "__main__":
    appleevent_seeds()
    plist_seeds()
    service_seeds()
    project_seeds()
