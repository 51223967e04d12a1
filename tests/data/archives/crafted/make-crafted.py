#!/usr/bin/env python3
"""Writes the small crafted archives beside this script: members that lie about their size
under the traditional PKWARE scheme (ZipCrypto) and bzip2, which libzip decodes for the
component, names that hold terminal escape sequences, and an item list that names the run
folder's lock. The files are committed; run this only to change them.

  make-crafted.py                 the small archives, beside this script
  make-crafted.py --large FOLDER  the large ones, which are not committed: an options export
                                  of a million keys, and a signature list that fills the info
                                  file's 1 MiB (scripts/restore-cli-test.sh makes them)
"""
import bz2
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = b"pw"


def crc_update(crc, byte):
    return (crc >> 8) ^ CRC_TABLE[(crc ^ byte) & 0xFF]


CRC_TABLE = []
for n in range(256):
    c = n
    for _ in range(8):
        c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
    CRC_TABLE.append(c)


def zipcrypto(data, password, check_byte):
    keys = [0x12345678, 0x23456789, 0x34567890]

    def update(byte):
        keys[0] = crc_update(keys[0], byte)
        keys[1] = (keys[1] + (keys[0] & 0xFF)) & 0xFFFFFFFF
        keys[1] = (keys[1] * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = crc_update(keys[2], keys[1] >> 24)

    for b in password:
        update(b)
    header = bytes(11) + bytes([check_byte])
    out = bytearray()
    for b in header + data:
        temp = (keys[2] | 2) & 0xFFFF
        k = ((temp * (temp ^ 1)) >> 8) & 0xFF
        out.append(b ^ k)
        update(b)
    return bytes(out)


def deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def bzip2_of_zeros(size):
    c = bz2.BZ2Compressor(9)
    chunk = bytes(1 << 20)
    out = []
    left = size
    while left:
        n = min(left, len(chunk))
        out.append(c.compress(chunk[:n]))
        left -= n
    out.append(c.flush())
    return b"".join(out)


def crc_of_zeros(size):
    crc = 0
    chunk = bytes(1 << 20)
    left = size
    while left:
        n = min(left, len(chunk))
        crc = zlib.crc32(chunk[:n], crc)
        left -= n
    return crc


class Member:
    def __init__(self, name, stored, method, real_size, crc, declared=None, encrypted=False):
        self.name = name.encode("utf-8")
        self.method = method  # 0 stored, 8 deflate, 12 bzip2
        self.crc = crc
        self.size = real_size if declared is None else declared
        self.encrypted = encrypted
        if encrypted:
            stored = zipcrypto(stored, PASSWORD, (crc >> 24) & 0xFF)
        self.stored = stored


def plain(name, data, method=8, declared=None, encrypted=False):
    stored = deflate(data) if method == 8 else bz2.compress(data) if method == 12 else data
    return Member(name, stored, method, len(data), zlib.crc32(data), declared, encrypted)


def write_zip(path, members):
    body = bytearray()
    central = bytearray()
    for m in members:
        flags = (1 if m.encrypted else 0) | (0x800 if any(b > 127 for b in m.name) else 0)
        offset = len(body)
        fields = struct.pack("<HHHHHIII", 20 if m.method != 12 else 46, flags, m.method, 0, 0x21,
                             m.crc, len(m.stored), m.size)
        body += b"PK\x03\x04" + fields + struct.pack("<HH", len(m.name), 0) + m.name + m.stored
        central += (b"PK\x01\x02" + struct.pack("<H", 0x031E) + fields +
                    struct.pack("<HHHHHII", len(m.name), 0, 0, 0, 0, 0o100644 << 16, offset) +
                    m.name)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central),
                      len(body), 0)
    with open(path, "wb") as out:
        out.write(body + central + end)


def info(lines):
    text = "".join(line + "\r\n" for line in lines)
    # Text outside ASCII makes the info file UTF-8, which its first line says.
    return text.encode("ascii") if text.isascii() else ("BackupText=UTF-8\r\n" + text).encode()


HEADER = ["BackupComputer=PC", "BackupLogonUser=ann", "BackupIdentity=Mail",
          "BackupTime=12/07/2026 10:00:00", "Outlookversion=Outlook 2016",
          "BackupInformation=crafted"]
GIB = 1 << 30
MIB20 = 20 << 20


def small(folder):
    # The info file: declared small, holding far more.
    write_zip(os.path.join(folder, "zipcrypto-info-lies.ksb"), [
        Member("ksbackup.dat", deflate(bytes(MIB20)), 8, MIB20, crc_of_zeros(MIB20), 200, True)])
    write_zip(os.path.join(folder, "bzip2-info-lies.ksb"), [
        Member("ksbackup.dat", bzip2_of_zeros(GIB), 12, GIB, crc_of_zeros(GIB), 2)])

    # A data file that lies; the info file is honest.
    datas = info(HEADER + ["BackupDatas=big.pst", "BackupItem=01000000000"])
    write_zip(os.path.join(folder, "bzip2-member-lies.ksb"), [
        plain("ksbackup.dat", datas),
        Member("big.pst", bzip2_of_zeros(GIB), 12, GIB, crc_of_zeros(GIB), 2)])
    write_zip(os.path.join(folder, "zipcrypto-member-lies.ksb"), [
        plain("ksbackup.dat", datas, encrypted=True),
        Member("big.pst", deflate(bytes(MIB20)), 8, MIB20, crc_of_zeros(MIB20), 2, True)])
    # Shorter than declared: the CRC of the declared length's bytes is never reached.
    write_zip(os.path.join(folder, "bzip2-member-short.ksb"), [
        plain("ksbackup.dat", datas),
        Member("big.pst", bz2.compress(b"x" * 10), 12, 10, zlib.crc32(b"x" * 10), 1000)])

    # Names that would drive a terminal, in the list and in the report.
    escape = "\x1b]0;owned\x07\x1b[2J"
    write_zip(os.path.join(folder, "escape-names.ksb"), [
        plain("ksbackup.dat", info(HEADER + ["BackupSignatures=" + escape + "a.txt;b\u009b31m.txt",
                                             "BackupItem=00001000000"])),
        plain(escape + "a.txt", b"a", 0)])

    # The options export named run.lock, as if it were the run folder's lock.
    write_zip(os.path.join(folder, "runlock-item.ksb"), [
        plain("ksbackup.dat", info(HEADER + ["BackupConfigsetting=run.lock",
                                             "BackupItem=00000001000"])),
        plain("run.lock", b"\\\r\n\"Font\"= sz:Crafted\r\n")])


def large(folder):
    # An options export of a million keys: about 13 MiB of text, a few hundred KiB stored.
    tree = b"\\\r\n" + b"".join(b"\\k%d\r\n" % i for i in range(1000000))
    write_zip(os.path.join(folder, "million-keys.ksb"), [
        plain("ksbackup.dat", info(HEADER + ["BackupConfigsetting=OBC1.tmp",
                                             "BackupItem=00000001000"])),
        plain("OBC1.tmp", tree)])
    # A signature list as long as the info file may be: some 87,000 names, none of which the
    # archive holds.
    names = ["s%06d.htm" % i for i in range(87300)]
    write_zip(os.path.join(folder, "long-list.ksb"), [
        plain("ksbackup.dat", info(HEADER + ["BackupSignatures=" + ";".join(names),
                                             "BackupItem=00001000000"])),
        plain("ann.txt", b"a signature")])


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--large":
        large(sys.argv[2])
    elif len(sys.argv) == 1:
        small(HERE)
    else:
        sys.exit("usage: make-crafted.py [--large FOLDER]")
