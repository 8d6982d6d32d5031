#!/usr/bin/env python3
"""make install's script under DESTDIR: the program, the desktop entry and the icons are installed, a second
install upgrades only the program's own files, and uninstall removes them; the catalogue stays byte for byte."""
import hashlib
import os
import subprocess
import sys
import tempfile
from pathlib import Path

src, build = Path(sys.argv[1]), Path(sys.argv[2])
script = src / "scripts/install.sh"
ident = "org.kovra.kovra"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def install(action, destdir, prefix):
    env = dict(os.environ, DESTDIR=str(destdir), PREFIX=prefix)
    run = subprocess.run([str(script), action, str(build)], env=env, capture_output=True, text=True)
    print(f"$ install.sh {action} (PREFIX={prefix})\n{run.stdout}{run.stderr}")
    return run


def snapshot(root, skip):
    """Every file of the catalogue: bytes and modification time."""
    out = {}
    for p in sorted(root.rglob("*")):
        rel = p.relative_to(root)
        if p.is_file() and rel.parts[0] not in skip:
            out[str(rel)] = (hashlib.sha256(p.read_bytes()).hexdigest(), p.stat().st_mtime_ns)
    return out


own = {"kovra", "kovra-cli", "manual", ".stignore"}
with tempfile.TemporaryDirectory() as tmp:
    dest = Path(tmp)
    for prefix in ("/home/user/.local", "/home/user/My Programs"):
        share = dest / prefix.lstrip("/") / "share"
        folder = share / "kovra"
        run = install("install", dest, prefix)
        check(run.returncode == 0, f"install into {prefix} failed")
        check(f"lives in {prefix}/share/kovra" in run.stdout, "install does not say where the catalogue lives")
        entry = share / f"applications/{ident}.desktop"
        check(f'Exec="{prefix}/share/kovra/kovra"' in entry.read_text(encoding="utf-8").splitlines(),
              "Exec does not name the installed program")
        v = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
        check(v.returncode == 0 and not (v.stdout + v.stderr).strip(), f"installed entry invalid: {v.stdout}")
        for rel in ["kovra", "kovra-cli", "manual/manual.htm"]:
            check((folder / rel).is_file(), f"{rel} not installed")
        check(os.access(folder / "kovra", os.X_OK), "kovra not executable")
        ignore = (folder / ".stignore").read_text(encoding="utf-8").splitlines()
        check({"/kovra", "/kovra-cli", "/manual", "/KOVRA.INI"} <= set(ignore), "the sync ignore file shares the program")
        for size in (16, 22, 24, 32, 48, 64, 128, 256):
            check((share / f"icons/hicolor/{size}x{size}/apps/{ident}.png").is_file(), f"icon {size} missing")
        check((share / f"icons/hicolor/scalable/apps/{ident}.svg").is_file(), "scalable icon missing")
        check((share / f"metainfo/{ident}.metainfo.xml").is_file(), "metainfo missing")

        # A catalogue in the program folder, as the program writes it.
        image = folder / "20240101000000"
        image.mkdir()
        (folder / "KOVRA.INI").write_bytes(b"[Window]\r\nTop=300\r\nLeft=450\r\n")
        (image / "IMAGE.INI").write_bytes(b"[ImageFile]\r\nFilename=" + str(image).encode() +
                                          b"/p.jpg\r\nTitle=\x96\x7b\x92\x49\r\n")
        (image / "Area0.INI").write_bytes(b"[Area]\r\nVisible=True\r\n[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=pen\r\n")
        (image / "p.jpg").write_bytes(bytes(range(256)) * 4)
        before = snapshot(folder, own)
        cli = subprocess.run([str(folder / "kovra-cli"), "list"], capture_output=True)
        check(cli.returncode == 0 and cli.stdout.startswith(b"20240101000000\t"), "installed kovra-cli cannot list")

        # An older install: another kovra-cli and a manual page that the new manual no longer has.
        (folder / "kovra-cli").write_bytes(b"old")
        (folder / ".stignore").write_bytes(b"/kovra\n// mine\n")  # the user's own sharing rules
        (folder / "manual/old.htm").write_bytes(b"old")
        run = install("install", dest, prefix)
        check(run.returncode == 0, "second install failed")
        check((folder / "kovra-cli").read_bytes() == (build / "bin/kovra-cli").read_bytes(), "kovra-cli not upgraded")
        check(not (folder / "manual/old.htm").exists(), "the old manual page stayed")
        check((folder / ".stignore").read_bytes() == b"/kovra\n// mine\n", "the user's ignore file was replaced")
        check(snapshot(folder, own) == before, "the second install changed the catalogue")
        check(not [p for p in folder.rglob(".kovra-install*")], "temporary files left")

        run = install("uninstall", dest, prefix)
        check(run.returncode == 0, "uninstall failed")
        check(f"kept" in run.stdout and f"{prefix}/share/kovra" in run.stdout, "uninstall does not say the catalogue was kept")
        check(snapshot(folder, own) == before, "uninstall changed the catalogue")
        check(not any((folder / p).exists() for p in own - {".stignore"}), "program files left after uninstall")
        check((folder / ".stignore").exists(), "uninstall removed the user's ignore file")
        check(not entry.exists(), "desktop entry left after uninstall")
        check(not list((share / "icons").rglob(f"{ident}.*")), "icons left after uninstall")

    # Without a catalogue, uninstall leaves nothing behind.
    prefix = "/opt/empty"
    install("install", dest, prefix)
    install("uninstall", dest, prefix)
    check(not (dest / "opt/empty/share/kovra").exists(), "an empty program folder stayed")
    # A path the desktop entry cannot name is refused before anything is written.
    run = install("install", dest, "/home/$user")
    check(run.returncode == 2 and not (dest / "home/$user").exists(), "a path with $ was not refused cleanly")

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
