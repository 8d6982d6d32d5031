#!/usr/bin/env python3
"""Builds the hostile catalogues: one program folder per case, each holding what a user's disk may
really hold after years of hand edits, copies between machines and failing USB sticks.

    make_hostile_catalogues.py OUTPUT_DIR [CASE ...]

writes OUTPUT_DIR/<case>/ (a program folder) for every case (or the named ones) and
OUTPUT_DIR/manifest.json: [{"name", "about", "bytes", "folders"}], bytes counting every regular file
of the case (links not followed). Everything is generated here, deterministically; nothing binary is
kept in the repository. Python 3 standard library only.
"""

import json
import os
import random
import sys

CRLF = b"\r\n"
PEN = "ボールペン".encode("cp932")  # the text the tests search for ("ペン")


def sjis(text):
    return text.encode("cp932")


def write(path, data, mode=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if mode is not None:
        os.chmod(path, mode)


def image_ini(folder, title, picture="shelf.bmp"):
    # As the Windows build leaves it: Windows paths that name no file here.
    base = b"C:\\Program Files\\Kovra\\" + folder.encode()
    return (b"[ImageFile]" + CRLF + b"Path=" + base + CRLF + b"Filename=" + base + b"\\" + picture.encode() + CRLF
            + b"Title=" + title + CRLF)


def area_ini(visible=b"True", geometry=(b"10", b"20", b"150", b"187.5"), items=None, total=None):
    out = b"[Area]" + CRLF + b"Visible=" + visible + CRLF
    for key, value in zip((b"Left", b"Top", b"Width", b"Height"), geometry):
        out += key + b"=" + value + CRLF
    if items is not None:
        out += b"[ItemCount]" + CRLF + b"Sum=" + (total if total is not None else str(len(items)).encode()) + CRLF
        out += b"[Items]" + CRLF
        for k, item in enumerate(items):
            out += b"Item%d=" % k + item + CRLF
    return out


def tiny_bmp():
    # 2 x 2 pixels, 24 bits.
    row = 8
    header = b"BM" + (54 + 2 * row).to_bytes(4, "little") + bytes(4) + (54).to_bytes(4, "little")
    info = ((40).to_bytes(4, "little") + (2).to_bytes(4, "little") + (2).to_bytes(4, "little") + (1).to_bytes(2, "little")
            + (24).to_bytes(2, "little") + bytes(4) + (2 * row).to_bytes(4, "little") + (2835).to_bytes(4, "little") * 2
            + bytes(8))
    return header + info + b"\x00\x00\xff\x00\xff\x00\x00\x00" + b"\xff\x00\x00\xff\xff\xff\x00\x00"


def sound_image(root, folder, title="棚", items=(PEN, sjis("電池"))):
    """An image folder as the program writes it, with the search text in area 0."""
    d = os.path.join(root, folder)
    write(os.path.join(d, "IMAGE.INI"), image_ini(folder, sjis(title)))
    write(os.path.join(d, "shelf.bmp"), tiny_bmp())
    write(os.path.join(d, "Area0.INI"), area_ini(items=list(items)))
    for n in range(1, 30):
        write(os.path.join(d, "Area%d.INI" % n), area_ini(visible=b"False"))
    return d


def program_folder(root):
    write(os.path.join(root, "KOVRA.INI"), b"[Window]" + CRLF + b"Top=4500" + CRLF + b"Left=1200" + CRLF)
    write(os.path.join(root, "manual", "index.htm"), b"<html><body>manual</body></html>" + CRLF)


# ---- The cases. Each gets an empty program folder and fills it.

def case_clean(root):
    """control: a sound catalogue, nothing to report"""
    program_folder(root)
    sound_image(root, "20030405060708")
    sound_image(root, "20030405060709", title="押入れ", items=(sjis("ペンチ"), sjis("USBケーブル")))


def case_garbage(root):
    """binary garbage and NUL bytes in every INI file"""
    rnd = random.Random(8)
    noise = lambda n: bytes(rnd.randrange(256) for _ in range(n))
    write(os.path.join(root, "KOVRA.INI"), b"[Window]\x00" + CRLF + b"Top=\x00\x004500" + CRLF + noise(4000))
    write(os.path.join(root, "manual", "index.htm"), b"<html></html>")
    for i in range(3):
        folder = "2003040506070%d" % i
        d = os.path.join(root, folder)
        write(os.path.join(d, "IMAGE.INI"),
              [noise(3000), b"\x00" * 512, b"[ImageFile]\x00" + CRLF + b"Title=\x00" + noise(300) + CRLF][i])
        for n in range(30):
            kind = (n + i) % 5
            if kind == 0:
                data = noise(2000 + n)
            elif kind == 1:
                data = b"\x00" * (100 + n)
            elif kind == 2:  # a sound file with NULs and noise in its values
                data = area_ini(geometry=(b"1\x002", b"\x00", b"3", b"4"),
                                items=[b"\x00" + PEN, noise(40).replace(b"\r", b"").replace(b"\n", b"")],
                                total=b"2\x00")
            elif kind == 3:
                data = b"[Items]" + CRLF + b"Item0=" + noise(5000) + CRLF + b"[ItemCount]" + CRLF + b"Sum=1" + CRLF
            else:
                data = b""  # an empty file
            write(os.path.join(d, "Area%d.INI" % n), data)
    sound_image(root, "20040101000000")


def case_large_area_file(root):
    """a 15 MB area file: still read, whole"""
    big_area_file(root, 15)


def case_huge_area_file(root):
    """a 100 MB area file: past the largest INI file read"""
    big_area_file(root, 100)


def big_area_file(root, megabytes):
    program_folder(root)
    d = sound_image(root, "20030405060708")
    line = sjis("ガムテープと養生テープと荷造り紐の予備ー") * 4  # 160 bytes
    count = megabytes * 1024 * 1024 // (len(line) + 16)
    with open(os.path.join(d, "Area1.INI"), "wb") as f:
        f.write(area_ini(items=[]).replace(b"Sum=0", b"Sum=32767"))
        chunk = []
        for k in range(count):
            chunk.append(b"Item%d=" % k + (PEN if k == 32000 else line) + CRLF)
            if len(chunk) == 4096:
                f.write(b"".join(chunk))
                chunk = []
        f.write(b"".join(chunk))


def case_long_line(root):
    """a 1 MB line: in a title, an item, a section header and a value without line end"""
    program_folder(root)
    mb = 1024 * 1024
    d = os.path.join(root, "20030405060708")
    write(os.path.join(d, "IMAGE.INI"), image_ini("20030405060708", sjis("長") * (mb // 2)))
    write(os.path.join(d, "Area0.INI"),
          area_ini(items=[b"x" * mb, PEN]) + b"[" + b"S" * mb + b"]" + CRLF + b"Item0=" + sjis("ソ") * (mb // 2))
    write(os.path.join(d, "Area1.INI"), b"Left=" + b"9" * mb)  # no section, no line end
    sound_image(root, "20030405060709")


def case_sum_without_items(root):
    """Sum of 32767 with no items, and Sum values that are no count"""
    program_folder(root)
    for i in range(10):
        d = os.path.join(root, "200304050607%02d" % i)
        write(os.path.join(d, "IMAGE.INI"), image_ini("200304050607%02d" % i, sjis("空")))
        for n in range(30):
            write(os.path.join(d, "Area%d.INI" % n), area_ini(items=[], total=b"32767"))
    d = os.path.join(root, "20040101000000")
    write(os.path.join(d, "IMAGE.INI"), image_ini("20040101000000", sjis("変な数")))
    for n, total in enumerate((b"-32768", b"99999", b"abc", b"2.5", b"", b"1e9", b"0x10", b" 3 ")):
        write(os.path.join(d, "Area%d.INI" % n), area_ini(items=[PEN], total=total))


def case_bad_geometry(root):
    """negative and overflowing geometry"""
    program_folder(root)
    d = sound_image(root, "20030405060708")
    shapes = [(b"-32768", b"-1", b"32767", b"0"), (b"-40000", b"0", b"10", b"10"), (b"0", b"32767.5", b"1", b"1"),
              (b"1e9", b"0", b"1", b"1"), (b"1e400", b"0", b"1", b"1"), (b"-0", b"+5", b" 7 ", b"-32768.5"),
              (b"-20", b"-30", b"-40", b"-50")]
    for n, g in enumerate(shapes):
        write(os.path.join(d, "Area%d.INI" % n), area_ini(geometry=g, items=[PEN]))


def case_text_geometry(root):
    """Visible=True with text geometry"""
    program_folder(root)
    d = sound_image(root, "20030405060708")
    shapes = [(b"abc", b"1", b"2", b"3"), (sjis("１２"), b"1", b"2", b"3"), (b"0x10", b"1", b"2", b"3"),
              (b"1", b"", b"2", b"3"), (b"1", b"2", b"NaN", b"inf"), (b"1,5", b"2", b"3", b"4")]
    for n, g in enumerate(shapes):
        write(os.path.join(d, "Area%d.INI" % (n + 1)), area_ini(geometry=g, items=[PEN]))
    write(os.path.join(d, "Area8.INI"), b"[Area]" + CRLF + b"Visible=True" + CRLF)  # no geometry at all


def case_truncated_dbcs(root):
    """double-byte characters cut at the end of a file and of a value"""
    program_folder(root)
    d = os.path.join(root, "20030405060708")
    # A title whose 125-byte cut would split the last character, and one that ends in a lead byte.
    write(os.path.join(d, "IMAGE.INI"), image_ini("20030405060708", sjis("ソ") * 70))
    write(os.path.join(d, "Area0.INI"), area_ini(items=[PEN + b"\x83", b"\x83", b"b" * 254 + sjis("ソ")]))
    write(os.path.join(d, "Area1.INI"), area_ini(items=[PEN]) + b"Item1=" + sjis("ゾ") + b"\x83")  # ends the file
    write(os.path.join(d, "Area2.INI"), b"[Items" + b"\x83")
    e = os.path.join(root, "20030405060709")
    write(os.path.join(e, "IMAGE.INI"), b"[ImageFile]" + CRLF + b"Title=" + sjis("棚") + b"\x83" + CRLF + b"\x81")


def case_unicode_files(root):
    """UTF-8 and UTF-16 files where code page 932 belongs"""
    program_folder(root)
    text = image_ini("20030405060708", b"TITLE").replace(b"TITLE", "棚の上".encode("utf-8"))
    area = "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=ボールペン\r\n"
    d = os.path.join(root, "20030405060708")
    write(os.path.join(d, "IMAGE.INI"), b"\xef\xbb\xbf" + text)
    write(os.path.join(d, "Area0.INI"), b"\xef\xbb\xbf" + area.encode("utf-8"))
    write(os.path.join(d, "Area1.INI"), area.encode("utf-8"))
    e = os.path.join(root, "20030405060709")
    write(os.path.join(e, "IMAGE.INI"), text.decode("utf-8").encode("utf-16"))  # with its byte-order mark
    write(os.path.join(e, "Area0.INI"), area.encode("utf-16"))
    write(os.path.join(e, "Area1.INI"), area.encode("utf-16-be"))
    write(os.path.join(root, "KOVRA.INI"), "[Window]\r\nTop=100\r\nLeft=200\r\n".encode("utf-16"))


def case_area_is_folder(root):
    """area files, IMAGE.INI and KOVRA.INI that are folders"""
    os.makedirs(os.path.join(root, "KOVRA.INI", "inner"))
    write(os.path.join(root, "manual", "index.htm"), b"<html></html>")
    d = os.path.join(root, "20030405060708")
    for n in range(30):
        os.makedirs(os.path.join(d, "Area%d.INI" % n, "Items"))
    os.makedirs(os.path.join(d, "IMAGE.INI"))
    os.makedirs(os.path.join(d, "shelf.bmp"))
    sound_image(root, "20030405060709")


def case_unreadable(root):
    """files that cannot be read (mode 000; the tests also fail their reads through the file seam)"""
    program_folder(root)
    os.chmod(os.path.join(root, "KOVRA.INI"), 0)
    d = sound_image(root, "20030405060708")
    os.chmod(os.path.join(d, "IMAGE.INI"), 0)
    os.chmod(os.path.join(d, "Area0.INI"), 0)
    os.chmod(os.path.join(d, "shelf.bmp"), 0)
    sound_image(root, "20030405060709")


def case_symlink_loops(root):
    """symbolic link loops"""
    program_folder(root)
    os.symlink("20030405060701", os.path.join(root, "20030405060701"))  # itself
    os.symlink("20030405060703", os.path.join(root, "20030405060702"))  # a pair
    os.symlink("20030405060702", os.path.join(root, "20030405060703"))
    d = sound_image(root, "20030405060708")
    os.remove(os.path.join(d, "Area5.INI"))
    os.symlink("Area5.INI", os.path.join(d, "Area5.INI"))
    os.remove(os.path.join(d, "IMAGE.INI"))
    os.symlink("IMAGE.INI", os.path.join(d, "IMAGE.INI"))
    os.symlink("..", os.path.join(d, "up"))  # a subfolder that leads back to the program folder
    os.symlink(".", os.path.join(d, "here"))


def case_link_to_program(root):
    """an image folder that is a symbolic link to the program folder, and one to another image"""
    program_folder(root)
    sound_image(root, "20030405060708")
    write(os.path.join(root, "Area0.INI"), area_ini(items=[PEN]))  # seen only through the link
    write(os.path.join(root, "IMAGE.INI"), image_ini("x", sjis("プログラムフォルダ")))
    os.symlink(".", os.path.join(root, "20030405060709"))
    os.symlink(os.path.abspath(root), os.path.join(root, "20030405060710"))
    os.symlink("20030405060708", os.path.join(root, "20030405060711"))


def case_foreign_subfolders(root):
    """2,000 foreign subfolders beside the images"""
    program_folder(root)
    sound_image(root, "20030405060708")
    for i in range(2000):
        d = os.path.join(root, ["photos%04d", "Backup %04d", "zz%04d", "%04d年"][i % 4] % i)
        os.makedirs(d)
        if i % 10 == 0:
            write(os.path.join(d, "note.txt"), b"not an image")
    sound_image(root, "20991231235959")


def case_after_manual(root):
    """folder names that are not digits, sorting after "manual\""""
    program_folder(root)
    sound_image(root, "20030405060708", title="棚", items=(sjis("電池"),))
    sound_image(root, "photos", title="写真", items=(PEN,))
    sound_image(root, "zz", title="最後", items=(sjis("ペン立て"),))
    sound_image(root, "Xmanual", title="手引き", items=(PEN,))  # skipped: ends in "manual"
    sound_image(root, "Manuals", title="説明書", items=(PEN,))


CASES = [
    ("clean", case_clean),
    ("garbage", case_garbage),
    ("large_area_file", case_large_area_file),
    ("huge_area_file", case_huge_area_file),
    ("long_line", case_long_line),
    ("sum_without_items", case_sum_without_items),
    ("bad_geometry", case_bad_geometry),
    ("text_geometry", case_text_geometry),
    ("truncated_dbcs", case_truncated_dbcs),
    ("unicode_files", case_unicode_files),
    ("area_is_folder", case_area_is_folder),
    ("unreadable", case_unreadable),
    ("symlink_loops", case_symlink_loops),
    ("link_to_program", case_link_to_program),
    ("foreign_subfolders", case_foreign_subfolders),
    ("after_manual", case_after_manual),
]


def size_of(root):
    total = 0
    for dirpath, dirnames, filenames in os.walk(root):
        for name in filenames:
            path = os.path.join(dirpath, name)
            if not os.path.islink(path):
                total += os.lstat(path).st_size
    return total


def main(argv):
    if len(argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out = argv[1]
    wanted = set(argv[2:])
    unknown = wanted - {name for name, _ in CASES}
    if unknown:
        print("unknown case: " + ", ".join(sorted(unknown)), file=sys.stderr)
        return 2
    os.makedirs(out, exist_ok=True)
    manifest = []
    for name, build in CASES:
        if wanted and name not in wanted:
            continue
        root = os.path.join(out, name)
        os.makedirs(root)
        build(root)
        folders = sorted(e for e in os.listdir(root) if os.path.isdir(os.path.join(root, e)))
        manifest.append({"name": name, "about": build.__doc__, "bytes": size_of(root), "folders": len(folders)})
    with open(os.path.join(out, "manifest.json"), "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
