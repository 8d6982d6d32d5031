#!/usr/bin/env python3
"""The desktop entry, the AppStream metainfo and the hicolor icons: the validators pass, and the icons and
the screenshot are what the files say they are."""
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

src, build = Path(sys.argv[1]), Path(sys.argv[2])
desktop = src / "resources/desktop/org.kovra.kovra.desktop"
metainfo = src / "resources/desktop/org.kovra.kovra.metainfo.xml"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def png_size(path):
    head = path.read_bytes()[:24]
    check(head[:8] == b"\x89PNG\r\n\x1a\n", f"{path}: not a PNG")
    return struct.unpack(">II", head[16:24])


run = subprocess.run(["desktop-file-validate", str(desktop)], capture_output=True, text=True)
print("desktop-file-validate:", run.returncode, run.stdout + run.stderr)
check(run.returncode == 0 and not (run.stdout + run.stderr).strip(), "desktop-file-validate reported something")

run = subprocess.run(["appstreamcli", "validate", "--no-net", "--pedantic", str(metainfo)], capture_output=True,
                     text=True)
print("appstreamcli validate --no-net --pedantic:", run.returncode, run.stdout + run.stderr)
check(run.returncode == 0, "appstreamcli validate failed")
check(not re.search(r"^[EWIP]: ", run.stdout, re.M), "appstreamcli reported an issue")

entry = dict(line.split("=", 1) for line in desktop.read_text(encoding="utf-8").splitlines() if "=" in line)
# The windows' X11 class is the application name set at start-up: "Kovra".
for key, value in {"StartupWMClass": "Kovra", "Icon": "org.kovra.kovra", "Type": "Application"}.items():
    check(entry.get(key) == value, f"{key} is {entry.get(key)!r}")
check("Utility" in entry.get("Categories", "").split(";"), "not among the utilities")
for key in ("Name[ja]", "Comment[ja]"):
    check(re.search(r"[\u3040-\u30ff\u4e00-\u9fff]", entry.get(key, "")) is not None, f"{key} is not Japanese")

icons = build / "icons/hicolor"
check((icons / "scalable/apps/org.kovra.kovra.svg").read_bytes() == (src / "resources/icons/app.svg").read_bytes(),
      "the scalable icon is not the window icon")
for size in (16, 22, 24, 32, 48, 64, 128, 256):
    png = icons / f"{size}x{size}/apps/org.kovra.kovra.png"
    check(png.is_file() and png_size(png) == (size, size), f"{png} is missing or not {size}x{size}")

# The screenshot named by the metainfo is the one kept beside it, at the size the metainfo states.
image = ET.parse(metainfo).find("./screenshots/screenshot/image")
shot = src / "resources/desktop" / image.text.rsplit("/", 1)[-1]
check(shot.is_file(), f"{shot} is missing")
if shot.is_file():
    check(png_size(shot) == (int(image.get("width")), int(image.get("height"))), "screenshot size differs")
    check(shot.stat().st_size < 200_000, "screenshot is not small")

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
