#!/usr/bin/env python3
"""Writes the sample environments in this folder: for each, machine.reg (the Windows identity a
Linux environment root needs: version, computer, user, Word's version), outlook.reg (Outlook's
profiles, options and shared-tools keys, binary values laid out as Outlook lays them: a provider
header, then the path, then its terminating NUL) and the file trees drive_c/ and unc/.

The generated files are committed; edit this script and run it to change them:
    tests/data/environments/make-environments.py tests/data/environments
"""
import os, sys
root = sys.argv[1]

STORE_HEADER = bytes.fromhex(
    "00000000"                          # flags
    "38a1bb1005e5101aa1bb08002b2a56c2"  # MAPI wrapped-store provider
    "0000" + "mspst.dll".encode().hex() + "00"
    "00000000"
    "4e495441f9bfb80100aa0037d96e0000")  # personal-folders provider

def wide(path):
    return path.encode('utf-16-le') + b"\0\0"

def ansi(path):
    return path.encode('cp1252') + b"\0"

def hexlines(name, data):
    # regedit style: 25 bytes per line max roughly, continuation with backslash
    items = ["%02x" % b for b in data]
    head = '"%s"=hex:' % name
    out = []
    line = head
    for i, it in enumerate(items):
        piece = it + ("," if i < len(items) - 1 else "")
        if len(line) + len(piece) > 77:
            out.append(line + "\\")
            line = "  "
        line += piece
    out.append(line)
    return "\n".join(out)

def regstr(s):
    return '"' + s.replace('\\', '\\\\').replace('"', '\\"') + '"'

class Reg:
    def __init__(self):
        self.parts = ["REGEDIT4", ""]
    def comment(self, text):
        for line in text.split("\n"):
            self.parts.append("; " + line)
    def key(self, path, values=()):
        self.parts.append("[%s]" % path)
        for v in values:
            self.parts.append(v)
        self.parts.append("")
    def write(self, path):
        with open(path, "w", encoding="cp1252", newline="\r\n") as f:
            f.write("\n".join(self.parts))

def sz(name, value):
    return "%s=%s" % (regstr(name), regstr(value))
def dword(name, value):
    return '%s=dword:%08x' % (regstr(name), value)
def binary(name, data):
    return hexlines(name, data)

def files(base, entries):
    for rel, content in entries.items():
        p = os.path.join(base, *rel.split("\\"))
        if rel.endswith("\\"):
            os.makedirs(p, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(p), exist_ok=True)
        with open(p, "wb") as f:
            f.write(content if isinstance(content, bytes) else content.encode())

def machine(envdir, comment, computer, user, profile, current, major=None, minor=None, word=None):
    r = Reg()
    r.comment(comment)
    vals = [sz("CurrentVersion", current), sz("SystemRoot", "C:\\WINDOWS" if current == "5.1" else "C:\\Windows")]
    if major is not None:
        vals += [dword("CurrentMajorVersionNumber", major), dword("CurrentMinorVersionNumber", minor)]
    r.key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", vals)
    r.key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", [sz("ComputerName", computer)])
    r.key("HKEY_CURRENT_USER\\Volatile Environment", [sz("USERNAME", user), sz("USERPROFILE", profile)])
    r.key("HKEY_CLASSES_ROOT\\Word.Application\\CurVer", [sz("", word)])
    r.write(os.path.join(envdir, "machine.reg"))

def accounts(r, key, names):
    r.key(key, [binary("NextAccountID", bytes([len(names) + 1, 0, 0, 0]))])
    for i, (name, email) in enumerate(names, 1):
        r.key(key + "\\%08d" % i, [
            binary("Account Name", wide(name)),
            binary("Email", wide(email)),
            binary("POP3 Server", wide("mail.example.com")),
            dword("Leave on Server", 1)])

PST = b"!BDN" + bytes(range(256)) * 4

# ---------------------------------------------------------------- Outlook 2003 on Windows XP
env = os.path.join(root, "outlook2003-xp")
os.makedirs(env, exist_ok=True)
machine(env, "Windows XP (5.1) with Office 2003: computer, user and Word's version.",
        "ANN-XP", "ann", "C:\\Documents and Settings\\ann", "5.1", word="Word.Application.11")
r = Reg()
r.comment("Outlook 2003 with two profiles under the Windows Messaging Subsystem.\n"
          "\"Outlook\": a personal folders file, a personal address book and two POP3 accounts.\n"
          "\"Personal\": its data file and its address book are both missing on disk.")
wms = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles"
local = "C:\\Documents and Settings\\ann\\Local Settings\\Application Data\\Microsoft\\Outlook"
r.key(wms, [sz("DefaultProfile", "Outlook")])
p = wms + "\\Outlook"
r.key(p)
r.key(p + "\\0a0d020000000000c000000000000046", [binary("01023d15", bytes.fromhex("4c9a2f1d0e8b3b4aa3a1c1f4a5e6b7c8"))])
r.comment("Personal folders: the store's path in UTF-16LE after the provider header, and the\n"
          "path alone in 001f6700 (wide) and 001e6700 (8-bit).")
r.key(p + "\\3fe7a2c1d2b04e4b8c1a4d2e9f0b7a11", [
    binary("01020fff", STORE_HEADER + wide(local + "\\Outlook.pst")),
    binary("001f6700", wide(local + "\\Outlook.pst")),
    sz("001e6700", local + "\\Outlook.pst"),
    sz("001e3001", "Personal Folders")])
r.comment("Personal address book, its path stored with every backslash doubled.")
r.key(p + "\\5c1e8f3a2b9d4c7e8a6f0d1c2b3a4958", [
    sz("001e6600", (local + "\\ann.pab").replace("\\", "\\\\")),
    sz("001e3001", "Personal Address Book")])
accounts(r, p + "\\9375CFF0413111d3B88A00104B2A6676", [("Home mail", "ann@example.com"), ("Club", "ann@club.example.org")])
p = wms + "\\Personal"
r.key(p)
r.key(p + "\\7a6b5c4d3e2f40918273645546372819", [
    binary("01020fff", STORE_HEADER + wide(local + "\\Personal.pst")),
    binary("001f6700", wide(local + "\\Personal.pst"))])
r.key(p + "\\8b7c6d5e4f30415283746556473829aa", [sz("001e6600", local + "\\missing.pab")])
r.key("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Outlook\\Options\\Mail", [dword("Send Mail Immediately", 1), sz("EditorPreference", "131073")])
r.key("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Outlook\\Options\\Calendar", [dword("FirstDOW", 1)])
r.write(os.path.join(env, "outlook.reg"))
files(os.path.join(env, "drive_c"), {
    "Documents and Settings\\ann\\Local Settings\\Application Data\\Microsoft\\Outlook\\Outlook.pst": PST,
    "Documents and Settings\\ann\\Local Settings\\Application Data\\Microsoft\\Outlook\\ann.pab": b"PAB sample\r\n",
    "Documents and Settings\\ann\\Application Data\\Microsoft\\Signatures\\Ann.htm": "<html><body>Ann</body></html>\r\n",
    "Documents and Settings\\ann\\Application Data\\Microsoft\\Signatures\\Ann.txt": "Ann\r\n",
    "Documents and Settings\\ann\\Application Data\\Microsoft\\Stationery\\Ivy.htm": "<html><body background=ivy.gif></body></html>\r\n",
    "Documents and Settings\\ann\\Application Data\\Microsoft\\Outlook\\Outlook.rwz": b"RWZ sample rules\r\n",
    "Documents and Settings\\ann\\Application Data\\Microsoft\\Outlook\\outcmd.dat": b"toolbar settings\r\n",
    "Documents and Settings\\ann\\Application Data\\Microsoft\\Templates\\NormalEmail.dot": b"template\r\n",
    "Documents and Settings\\ann\\Contacts\\Old\\Bill.txt": "kept in a subfolder only\r\n",
})

# ---------------------------------------------------------------- Outlook 2013 on Windows 7
env = os.path.join(root, "outlook2013-win7")
os.makedirs(env, exist_ok=True)
machine(env, "Windows 7 (6.1) with Office 2013: computer, user and Word's version.",
        "BOB-PC", "bob", "C:\\Users\\bob", "6.1", word="Word.Application.15")
r = Reg()
r.comment("Outlook 2013: one profile \"Outlook\" under the Office 15.0 key with two data files,\n"
          "one stored in UTF-16LE on the local disk and one in 8-bit text on a network share,\n"
          "two accounts, and stationery in the shared-tools folder.")
o = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles"
r.key(o)
p = o + "\\Outlook"
r.key(p)
docs = "C:\\Users\\bob\\Documents\\Outlook Files"
r.key(p + "\\0a0d020000000000c000000000000046", [binary("01023d15", bytes.fromhex("1f2e3d4c5b6a79880102030405060708"))])
r.comment("Data file on the local disk: the path in UTF-16LE.")
r.key(p + "\\1c2d3e4f5a6b4c7d8e9f0a1b2c3d4e5f", [
    binary("01020fff", STORE_HEADER + wide(docs + "\\bob@example.com.pst")),
    binary("001f6700", wide(docs + "\\bob@example.com.pst")),
    binary("001f3001", wide("bob@example.com"))])
r.comment("Archive on a network share: the path in 8-bit text.")
r.key(p + "\\2d3e4f5a6b7c4d8e9fa0b1c2d3e4f5a6", [
    binary("01020fff", STORE_HEADER + ansi("\\\\fileserver\\mail\\bob\\archive.pst")),
    sz("001e6700", "\\\\fileserver\\mail\\bob\\archive.pst"),
    sz("001e3001", "Archive")])
r.comment("An address book that exists on disk: Outlook 2013 has no such item all the same.")
r.key(p + "\\3e4f5a6b7c8d4e9fa0b1c2d3e4f5a6b7", [sz("001e6600", docs + "\\old.pab")])
accounts(r, p + "\\9375CFF0413111d3B88A00104B2A6676", [("bob@example.com", "bob@example.com"), ("Work", "bob@work.example.net")])
r.key("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options\\Mail", [dword("Send Mail Immediately", 1)])
r.key("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options\\General", [sz("PONT_STRING", "60;")])
r.key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools", [sz("SharedFilesDir", "C:\\Program Files\\Common Files\\Microsoft Shared\\")])
r.write(os.path.join(env, "outlook.reg"))
files(os.path.join(env, "drive_c"), {
    "Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst": PST,
    "Users\\bob\\Documents\\Outlook Files\\old.pab": b"PAB sample\r\n",
    "Users\\bob\\AppData\\Roaming\\Microsoft\\Signatures\\Bob.htm": "<html><body>Bob</body></html>\r\n",
    "Users\\bob\\AppData\\Roaming\\Microsoft\\Signatures\\Bob.txt": "Bob\r\n",
    "Users\\bob\\AppData\\Roaming\\Microsoft\\Signatures\\Bob_files\\filelist.xml": "<xml/>\r\n",
    "Users\\bob\\AppData\\Roaming\\Microsoft\\Outlook\\Outlook.xml": "<prefs/>\r\n",
    "Users\\bob\\AppData\\Roaming\\Microsoft\\Outlook\\Outlook.rwz": b"RWZ sample rules\r\n",
    "Users\\bob\\AppData\\Roaming\\Microsoft\\Templates\\NormalEmail.dotm": b"template\r\n",
    "Users\\bob\\Contacts\\Alice Smith.contact": "<contact>Alice</contact>\r\n",
    "Program Files\\Common Files\\Microsoft Shared\\Stationery\\Bears.htm": "<html>bears</html>\r\n",
    "Program Files\\Common Files\\Microsoft Shared\\Stationery\\Bears.gif": b"GIF89a",
})
files(os.path.join(env, "unc"), {"fileserver\\mail\\bob\\archive.pst": PST})

# ---------------------------------------------------------------- Outlook 2016 on Windows 10
env = os.path.join(root, "outlook2016-win10")
os.makedirs(env, exist_ok=True)
machine(env, "Windows 10 with Office 2016: CurrentVersion says 6.3 for old programs, the\n"
        "version numbers 10 and 0; computer, user and Word's version.",
        "CAROL-LAPTOP", "carol", "C:\\Users\\carol", "6.3", 10, 0, word="Word.Application.16")
r = Reg()
r.comment("Outlook 2016: profiles under the Office 16.0 key. \"Outlook\" keeps an offline folders\n"
          "file of an Exchange account; \"Work\" has no account section. No shared-tools folder is\n"
          "recorded, so there is no stationery.")
o = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles"
r.key(o)
p = o + "\\Outlook"
r.key(p)
ost = "C:\\Users\\carol\\AppData\\Local\\Microsoft\\Outlook\\carol@example.com.ost"
r.key(p + "\\4f5a6b7c8d9e4fa0b1c2d3e4f5a6b7c8", [
    binary("01020fff", STORE_HEADER + wide(ost)),
    binary("001f6700", wide(ost))])
accounts(r, p + "\\9375CFF0413111d3B88A00104B2A6676", [("carol@example.com", "carol@example.com")])
p = o + "\\Work"
r.key(p)
r.key(p + "\\5a6b7c8d9eaf4b0c1d2e3f4a5b6c7d8e", [binary("01020fff", STORE_HEADER + wide("D:\\Mail\\work.pst"))])
r.key("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Options\\Mail", [dword("Send Mail Immediately", 1)])
r.write(os.path.join(env, "outlook.reg"))
files(os.path.join(env, "drive_c"), {
    "Users\\carol\\AppData\\Local\\Microsoft\\Outlook\\carol@example.com.ost": PST,
    "Users\\carol\\AppData\\Roaming\\Microsoft\\Outlook\\Outlook.xml": "<prefs/>\r\n",
    "Users\\carol\\AppData\\Roaming\\Microsoft\\Templates\\Old\\Memo.oft": b"template in a subfolder\r\n",
})
