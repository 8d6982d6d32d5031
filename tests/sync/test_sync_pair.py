#!/usr/bin/env python3
"""Two Syncthing instances on 127.0.0.1 share one program folder (A and B) with the installed .stignore:
an image registered on A reaches B; edits made while both are paused give a conflict copy of an area file;
kovra-cli check reports it and check --merge folds it back, after which A and B hold the same catalogue.

Usage: test_sync_pair.py SOURCE_DIR KOVRA_CLI"""
import copy
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
import xml.etree.ElementTree as ET
from pathlib import Path

SKIP = 77  # ctest's SKIP_RETURN_CODE
FOLDER_ID = "kovra-catalogue"
IMAGE = "20240101120000"
CONFLICT = re.compile(r"^Area0\.sync-conflict-\d{8}-\d{6}-[A-Z0-9]{7}\.INI$")
# What stays on each computer: never compared, never expected on the other side.
LOCAL = {"KOVRA.INI", ".stignore", ".stfolder", "kovra", "kovra-cli", "manual"}

src, cli = Path(sys.argv[1]), Path(sys.argv[2])
started = time.monotonic()


def log(message):
    print(f"[{time.monotonic() - started:6.2f}s] {message}", flush=True)


class Failure(Exception):
    pass


def free_ports(count):
    """Ports the kernel hands out on 127.0.0.1, held together so they differ, then released for Syncthing."""
    socks = []
    try:
        for _ in range(count):
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            s.bind(("127.0.0.1", 0))
            socks.append(s)
        return [s.getsockname()[1] for s in socks]
    finally:
        for s in socks:
            s.close()


def cp932_lines(*lines):
    return b"".join(line.encode("cp932") + b"\r\n" for line in lines)


def area_file(left, top, width, height, items):
    lines = ["[Area]", "Visible=True", f"Left={left}", f"Top={top}", f"Width={width}", f"Height={height}",
             "[ItemCount]", f"Sum={len(items)}", "[Items]"]
    lines += [f"Item{k}={item}" for k, item in enumerate(items)]
    return cp932_lines(*lines)


def snapshot(root):
    """Every shared file of a program folder, relative path -> bytes."""
    out = {}
    for p in sorted(root.rglob("*")):
        rel = p.relative_to(root)
        if rel.parts[0] in LOCAL or not p.is_file():
            continue
        out[str(rel)] = p.read_bytes()
    return out


def conflict_copies(root):
    return sorted(p.name for p in (root / IMAGE).glob("*") if CONFLICT.match(p.name))


def kovra(root, *args):
    run = subprocess.run([str(cli), "--root", str(root), *args], capture_output=True, timeout=30)
    return run.returncode, run.stdout.decode("utf-8", "replace"), run.stderr.decode("utf-8", "replace")


def kovra_ok(root, *args):
    code, out, err = kovra(root, *args)
    if code != 0:
        raise Failure(f"kovra-cli {' '.join(args)} on {root.name}: exit {code}: {out}{err}")
    return out


def wait_for(what, predicate, timeout=40.0, interval=0.2):
    t0 = time.monotonic()
    while True:
        value = predicate()
        if value:
            log(f"{what}: {time.monotonic() - t0:.2f}s")
            return value
        if time.monotonic() - t0 > timeout:
            raise Failure(f"timed out after {timeout:.0f}s waiting for: {what}")
        time.sleep(interval)


class Instance:
    def __init__(self, name, base, folder, gui_port, sync_port):
        self.name, self.folder = name, folder
        self.home = base / f"home-{name}"
        self.home.parent.mkdir(parents=True, exist_ok=True)
        self.gui = f"127.0.0.1:{gui_port}"
        self.listen = f"tcp://127.0.0.1:{sync_port}"
        self.process = None
        self.logfile = self.home / "syncthing.log"
        env = dict(os.environ, STNODEFAULTFOLDER="1", STNOUPGRADE="1", STNORESTART="1")
        env.pop("STGUIADDRESS", None)
        env.pop("STGUIAPIKEY", None)
        self.env = env
        gen = subprocess.run(["syncthing", "generate", f"--home={self.home}", "--no-default-folder",
                              "--skip-port-probing"], env=env, capture_output=True, text=True, timeout=60)
        if gen.returncode != 0:
            raise Failure(f"syncthing generate failed: {gen.stdout}{gen.stderr}")
        self.tree = ET.parse(self.home / "config.xml")
        cfg = self.tree.getroot()
        self.device_id = cfg.find("device").get("id")
        self.api_key = cfg.find("gui/apikey").text

    def configure(self, other):
        cfg = self.tree.getroot()
        cfg.find("gui").set("tls", "false")
        cfg.find("gui/address").text = self.gui
        options = {
            "listenAddress": self.listen, "globalAnnounceEnabled": "false", "localAnnounceEnabled": "false",
            "relaysEnabled": "false", "natEnabled": "false", "urAccepted": "-1", "urSeen": "3",
            "crashReportingEnabled": "false", "autoUpgradeIntervalH": "0", "startBrowser": "false",
            "announceLANAddresses": "false", "restartOnWakeup": "false", "reconnectionIntervalS": "1",
            "progressUpdateIntervalS": "1", "setLowPriority": "false",
        }
        opts = cfg.find("options")
        for key, value in options.items():
            el = opts.find(key)
            if el is None:
                el = ET.SubElement(opts, key)
            el.text = value
        for key in ("globalAnnounceServer", "stunServer"):
            for el in opts.findall(key):
                el.text = ""

        # The other computer, at its fixed address only.
        device = copy.deepcopy(cfg.find("defaults/device"))
        device.set("id", other.device_id)
        device.set("name", other.name)
        device.find("address").text = other.listen
        cfg.insert(list(cfg).index(cfg.find("gui")), device)

        # The program folder, shared with it; rescanned often and watched.
        folder = copy.deepcopy(cfg.find("defaults/folder"))
        folder.attrib.update({"id": FOLDER_ID, "label": "Kovra", "path": str(self.folder), "type": "sendreceive",
                              "rescanIntervalS": "5", "fsWatcherEnabled": "true", "fsWatcherDelayS": "1"})
        for d in folder.findall("device"):
            folder.remove(d)
        for did in (self.device_id, other.device_id):
            d = ET.Element("device", {"id": did, "introducedBy": ""})
            ET.SubElement(d, "encryptionPassword").text = ""
            folder.insert(0, d)
        cfg.insert(list(cfg).index(device), folder)
        self.tree.write(self.home / "config.xml", encoding="unicode")

    def start(self):
        log_out = open(self.logfile, "ab")
        self.process = subprocess.Popen(
            ["syncthing", "serve", f"--home={self.home}", "--no-browser", "--no-restart", "--no-upgrade",
             f"--gui-address=http://{self.gui}"],
            env=self.env, stdout=log_out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
            start_new_session=True)
        log_out.close()

    def stop(self):
        """Asks for a shutdown, then signals its process group: nothing of it outlives the test."""
        if self.process is None or self.process.poll() is not None:
            return
        t0 = time.monotonic()
        try:
            self.rest("POST", "/rest/system/shutdown", timeout=2)
            self.process.wait(timeout=5)
        except (urllib.error.URLError, OSError, ValueError, subprocess.TimeoutExpired):
            pass
        for sig in (signal.SIGTERM, signal.SIGKILL):
            try:
                os.killpg(self.process.pid, sig)  # its group: also a child it may have started
            except ProcessLookupError:
                break
            try:
                self.process.wait(timeout=5)
                break
            except subprocess.TimeoutExpired:
                log(f"syncthing {self.name} ignored {sig.name}")
        log(f"syncthing {self.name} stopped in {time.monotonic() - t0:.2f}s")

    def rest(self, method, path, timeout=30):
        req = urllib.request.Request(f"http://{self.gui}{path}", method=method,
                                     headers={"X-API-Key": self.api_key})
        with urllib.request.urlopen(req, timeout=timeout) as r:
            body = r.read()
        return json.loads(body) if body.strip() else None

    def alive(self):
        if self.process.poll() is not None:
            raise Failure(f"syncthing {self.name} exited with {self.process.returncode}:\n{self.log_tail()}")
        try:
            return self.rest("GET", "/rest/system/ping", timeout=2) == {"ping": "pong"}
        except (urllib.error.URLError, OSError, ValueError):
            return False

    def connection(self, other):
        return self.rest("GET", "/rest/system/connections")["connections"].get(other.device_id, {})

    def connected_to(self, other):
        c = self.connection(other)
        return c.get("connected", False) and not c.get("paused", True)

    def paused_from(self, other):
        c = self.connection(other)
        return c.get("paused", False) and not c.get("connected", True)

    def folder_idle(self):
        s = self.rest("GET", f"/rest/db/status?folder={FOLDER_ID}")
        return s.get("state") == "idle" and s.get("needTotalItems", 1) == 0

    def completion_of(self, other):
        return self.rest("GET", f"/rest/db/completion?folder={FOLDER_ID}&device={other.device_id}")

    def log_tail(self, lines=30):
        try:
            return "\n".join(self.logfile.read_text(errors="replace").splitlines()[-lines:])
        except OSError:
            return "(no log)"


def start_pair(base, a_root, b_root, instances):
    """Two instances that know each other, connected. A port taken by someone else between choosing it and
    Syncthing's bind is the one race here: then both start again on fresh ports and homes."""
    for attempt in range(1, 4):
        gui_a, sync_a, gui_b, sync_b = free_ports(4)
        homes = base / f"try{attempt}"
        a = Instance("A", homes, a_root, gui_a, sync_a)
        b = Instance("B", homes, b_root, gui_b, sync_b)
        instances[:] = [a, b]
        a.configure(b)
        b.configure(a)
        log(f"homes {a.home} and {b.home}; A gui {a.gui} sync {a.listen}; B gui {b.gui} sync {b.listen}")
        for i in instances:
            i.start()
        try:
            wait_for("both REST interfaces up", lambda: a.alive() and b.alive(), timeout=30)
            wait_for("A and B connected", lambda: a.connected_to(b) and b.connected_to(a), timeout=30)
            return a, b
        except Failure as e:
            if attempt == 3:
                raise
            log(f"start {attempt} failed, again on other ports: {e}")
            for i in instances:
                i.stop()
    raise Failure("unreachable")


def merge_supported(scratch):
    """check --merge is there when --help names it or an empty program folder accepts it."""
    help_text = subprocess.run([str(cli), "--help"], capture_output=True, timeout=30).stdout.decode("utf-8", "replace")
    empty = scratch / "empty-program-folder"
    empty.mkdir()
    code, _, _ = kovra(empty, "check", "--merge")
    return "--merge" in help_text or code != 2


def main():
    if shutil.which("syncthing") is None:
        print("SKIP: syncthing is not installed (scripts/deps.sh installs it)")
        return SKIP
    base = Path(tempfile.mkdtemp(prefix="kovra-sync-"))
    instances = []
    try:
        a_root, b_root = base / "A", base / "B"
        for root in (a_root, b_root):
            root.mkdir()
            (root / ".stfolder").mkdir()
            shutil.copyfile(src / "resources/sync/stignore", root / ".stignore")
        # This computer's window position differs on each and stays its own.
        (a_root / "KOVRA.INI").write_bytes(cp932_lines("[Window]", "Top=100", "Left=200"))
        (b_root / "KOVRA.INI").write_bytes(cp932_lines("[Window]", "Top=300", "Left=400"))
        (a_root / "kovra").write_bytes(b"this computer's program")

        a, b = start_pair(base, a_root, b_root, instances)
        def settled():
            return (snapshot(a_root) == snapshot(b_root) and a.folder_idle() and b.folder_idle()
                    and a.completion_of(b).get("completion") == 100 and b.completion_of(a).get("completion") == 100)

        # Registration: an image registered on A, written as the program writes it.
        t0 = time.monotonic()
        image_a = a_root / IMAGE
        image_a.mkdir()
        shutil.copyfile(src / "tests/data/shelf.jpg", image_a / "shelf.jpg")
        (image_a / "Area0.INI").write_bytes(area_file(2, 2, 6, 4, ["本棚"]))
        (image_a / "Area1.INI").write_bytes(area_file(8, 6, 4, 4, ["時計"]))
        (image_a / "IMAGE.INI").write_bytes(cp932_lines(
            "[ImageFile]", f"Path={image_a}", f"Filename={image_a}/shelf.jpg", "Title=書斎の棚"))
        wait_for("register: image on A reached B", settled)
        listed = kovra_ok(b_root, "list")
        log(f"kovra-cli list on B: {listed.strip()}")
        if not listed.startswith(f"{IMAGE}\t書斎の棚\t"):
            raise Failure(f"B does not list the image: {listed!r}")
        if (b_root / "kovra").exists() or (b_root / "KOVRA.INI").read_bytes() == (a_root / "KOVRA.INI").read_bytes():
            raise Failure("the program or KOVRA.INI was shared")
        log(f"register: done in {time.monotonic() - t0:.2f}s")

        # Conflict: both edit while apart.
        t0 = time.monotonic()
        for i in instances:
            i.rest("POST", "/rest/system/pause")
        wait_for("both paused and disconnected", lambda: a.paused_from(b) and b.paused_from(a))
        area0 = f"{IMAGE}/Area0.INI"
        kovra_ok(a_root, "ini", "set", area0, "Items", "Item1", "ペン立て")
        kovra_ok(a_root, "ini", "set", area0, "ItemCount", "Sum", "2")
        kovra_ok(b_root, "ini", "set", area0, "Items", "Item1", "消しゴム")
        kovra_ok(b_root, "ini", "set", area0, "ItemCount", "Sum", "2")
        area1 = f"{IMAGE}/Area1.INI"
        moved = {"Left": "1", "Top": "7", "Width": "5", "Height": "3"}
        for key, value in moved.items():
            kovra_ok(b_root, "ini", "set", area1, "Area", key, value)
        # Each side's edits in its index before they meet, so they are seen as concurrent.
        for i in instances:
            i.rest("POST", f"/rest/db/scan?folder={FOLDER_ID}", timeout=60)
        for i in instances:
            i.rest("POST", "/rest/system/resume")
        wait_for("A and B reconnected", lambda: a.connected_to(b) and b.connected_to(a))
        holder = wait_for("conflict: copy appeared",
                          lambda: next((r for r in (a_root, b_root) if conflict_copies(r)), None))
        log(f"conflict copy on {holder.name}: {conflict_copies(holder)}")
        wait_for("conflict: A and B settled", settled)
        copies = conflict_copies(a_root)
        if len(copies) != 1 or conflict_copies(b_root) != copies:
            raise Failure(f"expected one conflict copy on both sides, got A {copies}, B {conflict_copies(b_root)}")
        both = [(a_root / area0).read_bytes(), (a_root / IMAGE / copies[0]).read_bytes()]
        items = {"ペン立て".encode("cp932"), "消しゴム".encode("cp932")}
        if not all(sum(item in text for text in both) == 1 for item in items):
            raise Failure("the area file and its conflict copy do not hold one side's item each")
        b_rect = {k: kovra_ok(b_root, "ini", "get", area1, "Area", k).strip() for k in moved}
        a_rect = {k: kovra_ok(a_root, "ini", "get", area1, "Area", k).strip() for k in moved}
        if a_rect != moved or b_rect != moved:
            raise Failure(f"area 1 is not B's rectangle: A {a_rect}, B {b_rect}")
        log(f"conflict: done in {time.monotonic() - t0:.2f}s")

        # Merge: the copy reported and merged on the side that made it.
        code, out, err = kovra(holder, "check")
        log(f"kovra-cli check on {holder.name}: exit {code}: {(out + err).strip()}")
        if not merge_supported(base):
            print("SKIP merge: kovra-cli check --merge is not supported by this build; the conflict copy "
                  "is left unmerged (registration and conflict passed)", flush=True)
            return 0
        t0 = time.monotonic()
        if copies[0] not in out + err:
            raise Failure(f"kovra-cli check does not report {copies[0]}")
        kovra_ok(holder, "check", "--merge")
        wait_for("merge: reached both and settled",
                 lambda: not conflict_copies(a_root) and not conflict_copies(b_root) and settled())
        for root in (a_root, b_root):
            text = (root / area0).read_bytes()
            if not all(item in text for item in items):
                raise Failure(f"{root.name}'s Area0.INI lacks an item after the merge: {text!r}")
            rect = {k: kovra_ok(root, "ini", "get", area1, "Area", k).strip() for k in moved}
            if rect != moved:
                raise Failure(f"{root.name}'s area 1 is not B's rectangle after the merge: {rect}")
        sa, sb = snapshot(a_root), snapshot(b_root)
        if sa != sb:
            raise Failure(f"A and B differ: {sorted(set(sa.items()) ^ set(sb.items()))}")
        log(f"byte-identical on A and B: {', '.join(sa)}")
        log(f"merge: done in {time.monotonic() - t0:.2f}s")
        return 0
    except Failure as e:
        print(f"FAIL: {e}", flush=True)
        for i in instances:
            print(f"--- syncthing {i.name} log ---\n{i.log_tail()}", flush=True)
        return 1
    finally:
        for i in instances:
            i.stop()
        shutil.rmtree(base, ignore_errors=True)
        log("both instances stopped")


sys.exit(main())
