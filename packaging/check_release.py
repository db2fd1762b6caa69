#!/usr/bin/env python3
"""Checks the release zip as a user would receive it: exactly the expected
files, both programs the ones just built, carrying the zip's version and a
valid Authenticode signature, and text files that Notepad shows right."""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import zipfile

BOM = b"\xef\xbb\xbf"
failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


class PE:
    """Just enough of a PE32+ image to find its certificate table and its
    version resource."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        machine, sections, _, _, _, opt_size = struct.unpack_from("<HHIIIH", data, self.pe + 4)
        self.machine = machine
        self.opt = self.pe + 24
        if struct.unpack_from("<H", data, self.opt)[0] != 0x20B:
            raise ValueError("not a PE32+ image")
        self.checksum_at = self.opt + 64
        self.directories_at = self.opt + 112
        self.sections = []
        table = self.opt + opt_size
        for i in range(sections):
            vsize, va, rsize, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((va, max(vsize, rsize), raw))

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.directories_at + 8 * index)

    def security_at(self):
        return self.directories_at + 8 * 4

    def offset(self, rva):
        for va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError("RVA %#x outside every section" % rva)

    def certificate(self):
        """(revision, type) of the first WIN_CERTIFICATE, or None. The table's
        'RVA' is a file offset."""
        at, size = self.directory(4)
        if size == 0:
            return None
        if at + size != len(self.data):
            raise ValueError("certificate table does not end the file")
        length, revision, kind = struct.unpack_from("<IHH", self.data, at)
        if length > size:
            raise ValueError("certificate longer than its table")
        return revision, kind

    def version(self):
        """The fixed file version of the version resource (type 16), or None."""
        rva, size = self.directory(2)
        if size == 0:
            return None
        base = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)

        def first_leaf(at):
            while True:
                _, target = next(entries(at))
                if not target & 0x80000000:
                    return target
                at = target & 0x7FFFFFFF

        for ident, target in entries(0):
            if ident == 16 and target & 0x80000000:
                leaf = first_leaf(target & 0x7FFFFFFF)
                data_rva, data_size = struct.unpack_from("<II", self.data, base + leaf)
                block = self.data[self.offset(data_rva):self.offset(data_rva) + data_size]
                if block[6:6 + 30].decode("utf-16-le") != "VS_VERSION_INFO":
                    raise ValueError("version resource without VS_VERSION_INFO")
                fixed = block.find(struct.pack("<I", 0xFEEF04BD))
                if fixed < 0:
                    raise ValueError("version resource without VS_FIXEDFILEINFO")
                ms, ls = struct.unpack_from("<II", block, fixed + 8)
                return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        return None


def unsigned_view(pe):
    """The image with the fields signing rewrites (checksum, certificate
    table entry) zeroed."""
    data = bytearray(pe.data)
    data[pe.checksum_at:pe.checksum_at + 4] = bytes(4)
    data[pe.security_at():pe.security_at() + 8] = bytes(8)
    return bytes(data)


def check_program(name, data, built_path, args, folder):
    try:
        pe = PE(data)
        if pe.machine != 0x8664:
            fail("%s: machine %#x, not x64" % (name, pe.machine))
        version = pe.version()
        if version != args.version:
            fail("%s: version resource says %s, the zip's name %s" % (name, version, args.version))
        certificate = pe.certificate()
        if certificate != (0x0200, 0x0002):
            fail("%s: certificate table %s, not one PKCS #7 signature" % (name, certificate))
    except (ValueError, struct.error, UnicodeDecodeError, StopIteration) as error:
        fail("%s: not a readable PE32+ image: %s" % (name, error))
        return

    # The zip holds the program just built, signed: the built image plus
    # padding and the signature, nothing else changed; and the built file
    # itself was left unsigned.
    with open(built_path, "rb") as f:
        built = PE(f.read())
    if built.certificate() is not None:
        fail("%s: the built program was signed in place" % built_path)
    signed_part = unsigned_view(pe)[:len(built.data)]
    if signed_part != unsigned_view(built):
        fail("%s: not the program at %s" % (name, built_path))
    elif pe.data[len(built.data):pe.directory(4)[0]].strip(b"\0"):
        fail("%s: bytes other than padding before the signature" % name)

    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data)
    # The throwaway certificate is the only trusted root: a verified chain
    # means our own signer, and the digest matches the bytes.
    run = subprocess.run([args.osslsigncode, "verify", "-CAfile", args.ca, "-in", path],
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
    if run.returncode != 0:
        fail("%s: osslsigncode verify failed:\n%s" % (name, run.stdout))


def check_text(name, data, source):
    if not data.startswith(BOM):
        fail("%s: no UTF-8 byte-order mark" % name)
    body = data[len(BOM):] if data.startswith(BOM) else data
    bare = body.replace(b"\r\n", b"")
    if b"\n" in bare or b"\r" in bare:
        fail("%s: line ends other than CR LF" % name)
    try:
        body.decode("utf-8")
    except UnicodeDecodeError as error:
        fail("%s: not UTF-8: %s" % (name, error))
    with open(source, "rb") as f:
        expected = f.read()
    if expected.startswith(BOM):
        expected = expected[len(BOM):]
    if body.replace(b"\r\n", b"\n") != expected.replace(b"\r\n", b"\n"):
        fail("%s: text differs from %s" % (name, source))
    if b"@" + b"VORLIX_" in body:
        fail("%s: a placeholder was left in" % name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zip", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--entries", nargs="+", required=True)
    parser.add_argument("--ca", required=True)
    parser.add_argument("--osslsigncode", required=True)
    parser.add_argument("--built", nargs="+", required=True, metavar="ENTRY=PATH", help="each program as built")
    parser.add_argument("--text", nargs="+", default=[], metavar="ENTRY=SOURCE")
    args = parser.parse_args()

    if not args.zip.endswith("Vorlix-%s-win64.zip" % args.version):
        fail("zip name %s does not carry version %s" % (args.zip, args.version))
    with zipfile.ZipFile(args.zip) as archive:
        bad = archive.testzip()
        if bad:
            fail("%s: CRC error" % bad)
        names = archive.namelist()
        if sorted(names) != sorted(args.entries):
            fail("zip holds %s, expected %s" % (sorted(names), sorted(args.entries)))
        contents = {name: archive.read(name) for name in set(names) & set(args.entries)}

    programs = dict(item.split("=", 1) for item in args.built)
    texts = dict(item.split("=", 1) for item in args.text)
    with tempfile.TemporaryDirectory() as folder:
        for name, built in programs.items():
            if name in contents:
                check_program(name, contents[name], built, args, folder)
    for name, source in texts.items():
        if name in contents:
            check_text(name, contents[name], source)
    unchecked = set(args.entries) - set(programs) - set(texts)
    if unchecked:
        fail("entries nothing checks: %s" % sorted(unchecked))

    if failures:
        return 1
    print("%s: %d entries, programs signed and current" % (os.path.basename(args.zip), len(names)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
