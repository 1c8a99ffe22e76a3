#!/usr/bin/env python3
"""Run by vanished_peer_test.sh inside a private network namespace, under
scripts/with-wine. Each case connects a peer to a bridge, makes it vanish
(nft drops every packet of that one connection: no FIN, no RST) and
expects the bridge to let it go within a minute, as if it had closed:
  - one client allowed, messages flowing: the next client is served;
  - one client allowed, nothing flowing: the next client is served;
  - several clients allowed: the vanished one's slot serves the next,
    and a living client that reads nothing meanwhile is never cut;
  - a JSON TCP output: it connects to its server again;
  - a JSON TCP input whose server sends nothing: it connects again.
The cases run at once, on bridges of their own."""
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

BIN = sys.argv[1]
RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "wine-run")
BRIDGE = os.path.join(BIN, "app", "TolvanDDE.exe")
# The bridge notices within about 40 s; a minute is the promise.
NOTICE_WITHIN = 60


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def connect(port, timeout=60):
    end = time.monotonic() + timeout
    while True:
        try:
            return socket.create_connection(("127.0.0.1", port), timeout=1)
        except OSError:
            if time.monotonic() > end:
                raise
            time.sleep(0.2)


def vanish(port):
    """Every packet from or to the local `port` is dropped from now on."""
    for rule in (f"tcp sport {port} drop", f"tcp dport {port} drop"):
        subprocess.run(["nft", "add", "rule", "inet", "vanish", "in"] + rule.split(), check=True)


def message(i):
    obj = {"timestamp": time.time(), "freq": 131.725, "channel": 0, "mode": "2", "label": "H1", "block_id": "4",
           "ack": False, "tail": "N123AB", "flight": "XY0123", "msgno": "M%02dA" % (i % 100),
           "text": "SEQ %06d POS N51000E008000 FL350\r\n" % i}
    return (json.dumps(obj) + "\n").encode()


class Feeder(threading.Thread):
    """One message a second to a bridge's JSON UDP input, while `on`."""

    def __init__(self, port, on=True):
        super().__init__(daemon=True)
        self.port, self.on, self.sent = port, on, 0
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)

    def run(self):
        while True:
            if self.on:
                self.sock.sendto(message(self.sent), ("127.0.0.1", self.port))
                self.sent += 1
            time.sleep(1)


def served(port, deadline):
    """A client that connects and gets a record before `deadline`; when
    the bridge serves another, it is refused or closed, and tries again."""
    while time.monotonic() < deadline:
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=1)
        except OSError:
            time.sleep(0.5)
            continue
        s.settimeout(3)
        try:
            if s.recv(4096):
                return s
        except OSError:
            pass
        s.close()
        time.sleep(0.5)
    return None


# Every Wine process of the test, ended together once every case is done:
# a bridge that ended meanwhile would leave the decoder simulator's link to
# it dangling, and hold up what it sends to the others.
processes = []


def start(*command):
    processes.append(subprocess.Popen([RUN] + list(command), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    return processes[-1]


def bridge(*args):
    """A bridge of the test's, and the address of its status page."""
    http = f"127.0.0.1:{free_port()}"
    start(BRIDGE, "--minimized", "--http", http, *args)
    return http


def status(http):
    """What the bridge says of itself, for a case that failed."""
    try:
        with urllib.request.urlopen(f"http://{http}/api/status", timeout=5) as r:
            return r.read().decode()
    except OSError as e:
        return f"(no status: {e!r})"


results = {}


def case(name):
    def wrap(body):
        def run():
            try:
                body()
                results[name] = "ok"
            except Exception as e:  # every failure is reported with its case
                results[name] = f"FAILED: {e!r}"
        return threading.Thread(target=run, name=name)
    return wrap


def within(seconds, what, step):
    """`step` (a call that waits on a socket) done within `seconds`, else
    the case fails saying `what` did not happen."""
    try:
        return step(seconds)
    except socket.timeout:
        raise AssertionError(f"{what} within {seconds} s")


def accept(server, seconds):
    server.settimeout(seconds)
    return server.accept()


def receive(sock, seconds):
    sock.settimeout(seconds)
    data = sock.recv(1 << 20)
    assert data, "closed"
    return data


def vanished_client(max_clients, flowing):
    port, feed = free_port(), free_port(socket.SOCK_DGRAM)
    bridge("--port", str(port), "--max-clients", str(max_clients), "--json-in", f"udp:127.0.0.1:{feed}")
    feeder = Feeder(feed, on=flowing)
    feeder.start()
    a = connect(port)
    living = connect(port) if max_clients > 1 else None
    if flowing:
        within(30, "no record came", lambda t: receive(a, t))
    # With the bridge full, the next client is not served.
    assert served(port, time.monotonic() + 3) is None, "a client was served while the bridge was full"
    vanish(a.getsockname()[1])
    vanished = time.monotonic()
    feeder.on = True
    assert served(port, vanished + NOTICE_WITHIN), f"no client served within {NOTICE_WITHIN} s of one vanishing"
    print(f"  served again {time.monotonic() - vanished:.0f} s after the client vanished", flush=True)
    if living:
        # It read nothing all along, and is still connected: what waited
        # for it arrives.
        within(5, "the living client got nothing", lambda t: receive(living, t))


@case("one client, messages flowing")
def one_client_flowing():
    vanished_client(1, True)


@case("one client, nothing flowing")
def one_client_idle():
    vanished_client(1, False)


@case("several clients, messages flowing")
def several_clients():
    vanished_client(2, True)


@case("JSON TCP output")
def json_tcp_output():
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    http = bridge("--port", str(free_port()), "--relink-seconds", "1", "--dedup-seconds", "0", "--json-out",
                  f"tcp:127.0.0.1:{server.getsockname()[1]}")
    # The JSON outputs carry the decoders' messages: one a second, each one
    # forwarded.
    feed = os.path.join(tempfile.mkdtemp(), "feed.txt")
    with open(feed, "w", newline="\r\n") as f:
        f.write("ACARS mode: 2 Aircraft reg: .G-EUPT\nMessage label: H1 Block id: 4 Msg. no: M01A\n"
                "Flight id: BA0286\nMessage content:-\nPOS {seq} N51284W000275,FL350\n------------------------[ 1 ]\n")
    start(os.path.join(BIN, "tools", "decoder_sim.exe"), "--services", "SkySpy", "--feed", "Z:" + feed, "--count",
          "150", "--interval", "1000", "--wait-links", "1", "--wait-timeout", "60000", "--quiet")
    first, peer = within(60, "the JSON output did not connect", lambda t: accept(server, t))
    within(30, "no JSON line came", lambda t: receive(first, t))
    vanish(peer[1])
    vanished = time.monotonic()
    again, _ = within(NOTICE_WITHIN, "the JSON output did not connect again", lambda t: accept(server, t))
    try:
        within(20, "no JSON line came over the new connection", lambda t: receive(again, t))
    except AssertionError as e:
        raise AssertionError(f"{e}; the bridge: {status(http)}")
    print(f"  JSON out connected again {time.monotonic() - vanished:.0f} s after its server vanished", flush=True)


@case("JSON TCP input")
def json_tcp_input():
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(4)
    bridge("--port", str(free_port()), "--json-in", f"tcp:127.0.0.1:{server.getsockname()[1]}")
    _, peer = within(60, "the JSON input did not connect", lambda t: accept(server, t))
    vanish(peer[1])
    vanished = time.monotonic()
    within(NOTICE_WITHIN, "the JSON input did not connect again", lambda t: accept(server, t))
    print(f"  JSON in connected again {time.monotonic() - vanished:.0f} s after its server vanished", flush=True)


def main():
    subprocess.run(["nft", "add", "table", "inet", "vanish"], check=True)
    subprocess.run(["nft", "add", "chain", "inet", "vanish", "in", "{ type filter hook input priority 0; }"],
                   check=True)
    cases = [one_client_flowing, one_client_idle, several_clients, json_tcp_output, json_tcp_input]
    # Optional words after the folder pick the cases whose names hold one.
    if len(sys.argv) > 2:
        cases = [c for c in cases if any(w in c.name for w in sys.argv[2:])]
    for c in cases:
        c.start()
    for c in cases:
        c.join()
    for p in processes:
        p.kill()
    for name, result in sorted(results.items()):
        print(f"{name}: {result}")
    return 0 if len(results) == len(cases) and all(r == "ok" for r in results.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
