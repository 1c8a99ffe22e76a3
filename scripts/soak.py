#!/usr/bin/env python3
"""The bridge with every input and output at once, for a million decoder
texts (a benchmark, not a test): the decoder simulator as all four decoders
(started again every CHUNK texts, before a decoder under Wine runs out), a
JSON feed over UDP, two clients of the record port, and JSON out over UDP,
over TCP and to a reader of a served port. Every 100,000 texts it prints
the records each client has, the objects each JSON output delivered, what
is missing and the bridge's resident memory; at the end, the aims.
Run by scripts/soak, inside scripts/with-wine.
    soak.py [--texts N] [--chunk N] [--json-rate OBJECTS_PER_SECOND]"""
import argparse
import hashlib
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BIN = os.path.join(HERE, "..", "build", "win")
RUN = os.path.join(HERE, "wine-run")
SERVICES = ["SkySpy", "WinACARS", "ANAD", "POSFIX"]


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def connect(port):
    for _ in range(600):
        try:
            return socket.create_connection(("127.0.0.1", port))
        except OSError:
            time.sleep(0.1)
    raise RuntimeError(f"nothing listens on {port}")


class RecordClient(threading.Thread):
    """A client of the record port: counts the records and hashes the stream."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.sock = connect(port)
        self.records = 0
        self.digest = hashlib.sha256()
        self.buffer = b""

    def run(self):
        while True:
            data = self.sock.recv(1 << 16)
            if not data:
                return
            self.digest.update(data)
            self.buffer += data
            at = 0
            while len(self.buffer) - at >= 16:
                length = struct.unpack_from("<I", self.buffer, at)[0]
                if len(self.buffer) - at < 16 + length:
                    break
                at += 16 + length
                self.records += 1
            self.buffer = self.buffer[at:]


class LineCounter(threading.Thread):
    """Counts JSON lines from a connected socket (the served port's reader,
    or the connection the bridge's TCP output makes to us)."""

    def __init__(self, sock=None, listener=None):
        super().__init__(daemon=True)
        self.sock, self.listener, self.lines = sock, listener, 0

    def run(self):
        sock = self.sock or self.listener.accept()[0]
        while True:
            data = sock.recv(1 << 16)
            if not data:
                return
            self.lines += data.count(b"\n")


class DatagramCounter(threading.Thread):
    def __init__(self, port):
        super().__init__(daemon=True)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
        self.sock.bind(("127.0.0.1", port))
        self.datagrams = 0

    def run(self):
        while True:
            self.sock.recv(1 << 16)
            self.datagrams += 1


class JsonSender(threading.Thread):
    """Sends flat ACARS JSON objects over UDP at a steady rate until stopped."""

    def __init__(self, port, rate):
        super().__init__(daemon=True)
        self.port, self.rate, self.sent, self.stop = port, rate, 0, threading.Event()

    def run(self):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        began = time.monotonic()
        while not self.stop.is_set():
            obj = {"timestamp": time.time(), "freq": 131.725, "channel": 0, "mode": "2", "label": "H1",
                   "block_id": "4", "ack": False, "tail": "N123AB", "flight": "XY0123", "msgno": "M%03dA" % (self.sent % 1000),
                   "text": "JSON %07d POS N51000E008000 FL350" % self.sent}
            s.sendto((json.dumps(obj) + "\n").encode(), ("127.0.0.1", self.port))
            self.sent += 1
            ahead = began + self.sent / self.rate - time.monotonic()
            if ahead > 0:
                time.sleep(ahead)


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS"):
                return int(line.split()[1]) / 1024
    return 0.0


def wait_until(done, seconds):
    end = time.monotonic() + seconds
    while not done() and time.monotonic() < end:
        time.sleep(0.2)
    return done()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--texts", type=int, default=1_000_000)
    ap.add_argument("--chunk", type=int, default=50_000, help="texts per run of the simulator (under 65,535)")
    ap.add_argument("--json-rate", type=float, default=20.0)
    a = ap.parse_args()
    work = tempfile.mkdtemp(prefix="soak")
    os.chdir(work)
    with open("soak.feed", "wb") as f:
        for i, service in enumerate(SERVICES):
            f.write((f"ACARS mode: 2 Aircraft reg: .D-SOAK{i}\r\nMessage label: H1 Block id: {i} Msg. no: M{i:02d}A\r\n"
                     f"Flight id: SK000{i}\r\nMessage content:-\r\nSEQ {{seq}} FROM {service} " + "X" * 200 +
                     "\r\n------------------------[ 1 ]\r\n%%\r\n").encode())

    port, served, udp_out, json_in = free_port(), free_port(), free_port(socket.SOCK_DGRAM), free_port(
        socket.SOCK_DGRAM)
    tcp_listener = socket.socket()
    tcp_listener.bind(("127.0.0.1", 0))
    tcp_listener.listen(1)
    tcp_out = tcp_listener.getsockname()[1]
    datagrams = DatagramCounter(udp_out)
    datagrams.start()
    tcp_lines = LineCounter(listener=tcp_listener)
    tcp_lines.start()
    bridge = subprocess.Popen([RUN, os.path.join(BIN, "app", "TolvanDDE.exe"), "--port", str(port), "--max-clients",
                               "2", "--relink-seconds", "1", "--freq", "131.725", "--json-out",
                               f"udp:127.0.0.1:{udp_out}", "--json-out", f"tcp:127.0.0.1:{tcp_out}", "--json-out",
                               f"serve:127.0.0.1:{served}", "--json-in", f"udp:127.0.0.1:{json_in}"])
    try:
        clients = [RecordClient(port), RecordClient(port)]
        for c in clients:
            c.start()
        served_lines = LineCounter(sock=connect(served))
        served_lines.start()
        time.sleep(2)  # until the bridge has accepted every reader: each gets what comes after
        sender = JsonSender(json_in, a.json_rate)
        sender.start()
        print(f"== Soak: {a.texts:,} decoder texts in runs of {a.chunk:,}, JSON in at {a.json_rate:g}/s, "
              f"2 clients, JSON out over UDP, TCP and a served port", flush=True)
        print(f"{'texts':>9} {'client 1':>9} {'client 2':>9} {'JSON udp':>9} {'JSON tcp':>9} {'served':>9} "
              f"{'JSON in':>8} {'missing':>8} {'memory MB':>9}", flush=True)
        published, memory, began = 0, {}, time.monotonic()
        while published < a.texts:
            count = min(a.chunk, a.texts - published)
            sim = subprocess.run([RUN, os.path.join(BIN, "tools", "decoder_sim.exe"), "--feed", "soak.feed", "--count",
                                  str(count), "--wait-links", "4", "--wait-timeout", "60000", "--quiet"])
            if sim.returncode != 0:
                print(f"decoder_sim ended with {sim.returncode}", flush=True)
            published += count
            if published % 100_000 == 0 or published == a.texts:
                sent = sender.sent
                wait_until(lambda: min(c.records for c in clients) >= published + sent and
                           min(datagrams.datagrams, tcp_lines.lines, served_lines.lines) >= published, 30)
                missing = published + sent - min(c.records for c in clients) + published - min(
                    datagrams.datagrams, tcp_lines.lines, served_lines.lines)
                memory[published] = rss_mb(bridge.pid)
                print(f"{published:>9,} {clients[0].records:>9,} {clients[1].records:>9,} {datagrams.datagrams:>9,} "
                      f"{tcp_lines.lines:>9,} {served_lines.lines:>9,} {sent:>8,} {max(missing, 0):>8,} "
                      f"{memory[published]:>9.1f}", flush=True)
        sender.stop.set()
        sender.join()
        sent = sender.sent
        wait_until(lambda: min(c.records for c in clients) >= published + sent, 30)
        time.sleep(1)
        spent = time.monotonic() - began
        lost_records = [published + sent - c.records for c in clients]
        lost_json = [published - n for n in (datagrams.datagrams, tcp_lines.lines, served_lines.lines)]
        same = clients[0].digest.hexdigest() == clients[1].digest.hexdigest() and \
            clients[0].records == clients[1].records
        first = memory.get(100_000, next(iter(memory.values())))
        growth = memory[published] - first
        print(f"== Aims ({spent:.0f} s, {published / spent:.0f} texts/s)")
        print(f"nothing lost: records missing per client {lost_records}, JSON objects missing (udp, tcp, served) "
              f"{lost_json}: {'yes' if not any(lost_records) and not any(lost_json) else 'NO'}")
        print(f"both clients' streams identical: {'yes' if same else 'NO'} "
              f"({clients[0].records:,} records, sha256 {clients[0].digest.hexdigest()[:16]})")
        print(f"memory growth from 100,000 texts to {published:,}: {growth:+.2f} MB (aim under 1 MB): "
              f"{'yes' if growth < 1 else 'NO'}")
    finally:
        bridge.kill()
        bridge.wait()


if __name__ == "__main__":
    sys.exit(main())
