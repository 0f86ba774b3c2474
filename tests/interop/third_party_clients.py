#!/usr/bin/python3
"""Drives the simulated scope with clients written elsewhere: Debian's
pyvisa-py and lxi-tools, over the raw socket and over VXI-11. VXI-11 is
reached as TCPIP0::127.0.0.1::inst0::INSTR, so it needs a portmapper: run it
through scripts/loopback-portmapper.sh.

Prints one line per check (PASS, FAIL, or SKIP with its reason), then a
summary; exits 1 on any failure and 77 when nothing could run."""

import argparse
import contextlib
import importlib.util
import shutil
import subprocess
import sys
import tempfile
import threading
import time

IDN = "MARDOCK,KXA5104-SIM,000001,1.0.0"
RECORD_LENGTH = 600_000
# CURV? with the record length above: "#7", seven digits, the samples, "\n".
CURVE_BYTES = 2 + 7 + 2 * RECORD_LENGTH + 1
TIMEOUT_MS = 5000

# Faults of the clients themselves, which the checks keep clear of.
CLIENT_NOTES = [
    "pyvisa-py 0.5.1 sets END only on a last write piece of at most 1024 bytes: "
    "every command here is shorter",
    "lxi-tools cuts a command to 499 bytes: every command here is shorter",
    "python-vxi11 is not used: Debian 12 does not package it, and on Python 3 it fails "
    "on writes with a termination character",
]


class CheckFailed(Exception):
    pass


class Skipped(Exception):
    pass


def expect(condition, what):
    if not condition:
        raise CheckFailed(what)


def arm_and_trigger(send, ask):
    """The scope, which never triggers by itself here, is busy once armed
    and done after a forced trigger."""
    before = int(ask("ACQ:NUMACQ?"))
    send("ACQ:STOPA SEQ;STATE 1")
    expect(ask("BUSY?") == "1", "not busy while armed")
    send("TRIG")
    expect(ask("BUSY?") == "0", "still busy after the trigger")
    expect(int(ask("ACQ:NUMACQ?")) == before + 1, "no acquisition counted")


class Simulator:
    """mardock-scopesim as its own process, restartable on the same ports."""

    def __init__(self, path, with_vxi11):
        self.path = path
        self.with_vxi11 = with_vxi11
        self.storage = tempfile.TemporaryDirectory()
        self.process = None
        self.port = 0
        self.vxi11_port = 0

    def start(self):
        args = [self.path, "--port", str(self.port), "--storage", self.storage.name,
                "--trigger-mean", "86400", "--save-time", "0",
                "--record-length", str(RECORD_LENGTH)]
        if self.with_vxi11:
            args += ["--vxi11-port", str(self.vxi11_port)]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, text=True)
        wanted = 2 if self.with_vxi11 else 1
        for _ in range(wanted):
            words = self.process.stdout.readline().split(":")
            if len(words) < 2:
                raise RuntimeError("the simulated scope did not start")
            if "vxi11" in words[0]:
                self.vxi11_port = int(words[-1])
            else:
                self.port = int(words[-1])

    def stop(self):
        if self.process:
            self.process.kill()
            self.process.wait()
            self.process.stdout.close()
            self.process = None

    def restart(self):
        self.stop()
        self.start()


class PyVisaClient:
    name = "pyvisa-py"

    def __init__(self, sim, link):
        import pyvisa

        self.errors = pyvisa.errors
        self.manager = pyvisa.ResourceManager("@py")
        self.sim = sim
        self.link = link

    def resource_name(self):
        if self.link == "SOCKET":
            return f"TCPIP0::127.0.0.1::{self.sim.port}::SOCKET"
        return "TCPIP0::127.0.0.1::inst0::INSTR"

    @contextlib.contextmanager
    def session(self):
        resource = self.manager.open_resource(self.resource_name(), timeout=TIMEOUT_MS,
                                              read_termination="\n",
                                              write_termination="\n")
        try:
            yield resource
        finally:
            with contextlib.suppress(Exception):
                resource.close()

    def identification(self):
        with self.session() as scope:
            expect(scope.query("*IDN?") == IDN, "*IDN? answered with another text")

    def compound_command(self):
        with self.session() as scope:
            scope.write("HEAD 0;VERB 0;:ACQ:STOPA SEQ;STATE 0")
            reply = scope.query("ACQ:STOPA?;STATE?;*OPC?")
            expect(reply == "SEQ;0;1", f"the settings read back as {reply!r}")

    def busy_around_arm(self):
        with self.session() as scope:
            arm_and_trigger(scope.write, scope.query)

    def large_reply(self):
        with self.session() as scope:
            # A binary block holds line feeds, so no termination character.
            scope.read_termination = None
            scope.chunk_size = 8 * CURVE_BYTES
            scope.write("CURV?")
            if self.link == "SOCKET":
                # A raw socket has no end flag: the count ends the read.
                data = scope.read_bytes(CURVE_BYTES)
            else:
                data = scope.read_raw()
            expect(len(data) == CURVE_BYTES, f"{len(data)} of {CURVE_BYTES} bytes in one read")
            expect(data.startswith(b"#71200000") and data.endswith(b"\n"),
                   "the block's header or end is wrong")

    def device_clear(self):
        with self.session() as scope:
            scope.write("*IDN?")
            if self.link == "SOCKET":
                # pyvisa-py's clear on a socket drops only what has arrived.
                time.sleep(0.5)
            scope.clear()
            reply = scope.query("*OPC?")
            expect(reply == "1", f"the next query got {reply!r}")

    def status_byte(self):
        if self.link == "SOCKET":
            raise Skipped("a raw socket has no status byte read; pyvisa-py offers none there")
        message_available = 0x10
        with self.session() as scope:
            scope.write("*CLS")
            expect(not scope.read_stb() & message_available, "MAV set with nothing to read")
            scope.write("*IDN?")
            expect(scope.read_stb() & message_available, "MAV clear with a reply waiting")
            scope.read()
            expect(not scope.read_stb() & message_available, "MAV still set after the read")

    def timeout_then_query(self):
        with self.session() as scope:
            scope.timeout = 300
            try:
                scope.read()
                raise CheckFailed("a read with nothing to read returned")
            except self.errors.VisaIOError as error:
                expect(error.error_code == self.errors.StatusCode.error_timeout,
                       f"the read failed with {error} instead of a timeout")
            scope.timeout = TIMEOUT_MS
            expect(scope.query("*IDN?") == IDN, "the query after the timeout went wrong")

    def reconnect_after_restart(self):
        with self.session() as old:
            expect(old.query("*IDN?") == IDN, "no answer before the restart")
            self.sim.restart()
            old.timeout = 1000
            with contextlib.suppress(Exception):
                old.query("*IDN?")
        with self.session() as scope:
            expect(scope.query("*IDN?") == IDN, "no answer on a new session")

    def two_links_alternating(self):
        if self.link == "SOCKET":
            raise Skipped("the scope serves one raw socket connection; a new one replaces it")
        with self.session() as first, self.session() as second:
            first.write("*IDN?")
            second.write("*OPC?")
            expect(second.read() == "1", "the second link got another reply")
            expect(first.read() == IDN, "the first link lost its reply")
            expect(first.query("*OPC?") == "1" and second.query("*IDN?") == IDN,
                   "the links answered each other's queries")

    def two_links_concurrently(self):
        if self.link == "SOCKET":
            raise Skipped("the scope serves one raw socket connection; a new one replaces it")
        with self.session() as waiting, self.session() as other:
            waiting.timeout = 4000
            outcome = []

            def wait_for_nothing():
                try:
                    waiting.read()
                except self.errors.VisaIOError as error:
                    outcome.append(error.error_code)

            reader = threading.Thread(target=wait_for_nothing)
            reader.start()
            # Paces the query to come after the read reached the scope.
            time.sleep(0.5)
            reply = other.query("*IDN?")
            still_waiting = reader.is_alive()
            reader.join()
            expect(reply == IDN, "the other link's query went wrong")
            expect(still_waiting, "the other link was answered only after the read gave up")
            expect(outcome == [self.errors.StatusCode.error_timeout],
                   "the waiting read did not end in a timeout")


class LxiClient:
    name = "lxi-tools"

    def __init__(self, sim, link):
        self.sim = sim
        self.link = link

    def scpi(self, command, timeout_s=5):
        args = ["lxi", "scpi", "-a", "127.0.0.1", "-t", str(timeout_s), "-x"]
        if self.link == "SOCKET":
            args += ["-r", "-p", str(self.sim.port)]
        done = subprocess.run(args + [command], capture_output=True, text=True,
                              timeout=timeout_s + 30)
        if done.returncode != 0:
            raise CheckFailed(f"lxi failed on {command!r}: {done.stderr.strip()}")
        # -x prints each byte as 0xNN, whatever the reply holds.
        return bytes(int(word, 16) for word in done.stdout.split())

    def text(self, command):
        return self.scpi(command).decode().rstrip("\n")

    def identification(self):
        expect(self.text("*IDN?") == IDN, "*IDN? answered with another text")

    def compound_command(self):
        reply = self.text("HEAD 0;VERB 0;:ACQ:STOPA SEQ;STATE 0;:ACQ:STOPA?;STATE?")
        expect(reply == "SEQ;0", f"the settings read back as {reply!r}")

    def busy_around_arm(self):
        arm_and_trigger(self.scpi, self.text)

    def large_reply(self):
        if self.link == "SOCKET":
            # Seen under load: 128,000 of 1,200,010 bytes, whatever had arrived.
            raise Skipped("lxi-tools' raw socket mode returns what one recv() call got, "
                          "so a large reply comes whole only when it is all there in time")
        data = self.scpi("CURV?", timeout_s=20)
        expect(len(data) == CURVE_BYTES, f"{len(data)} of {CURVE_BYTES} bytes in one read")

    def device_clear(self):
        raise Skipped("lxi-tools' command line has no device clear")

    def status_byte(self):
        raise Skipped("lxi-tools' command line has no status byte read")

    def timeout_then_query(self):
        # A query the scope does not know gets no reply.
        with contextlib.suppress(CheckFailed):
            self.scpi("NOSUCH?", timeout_s=1)
            raise CheckFailed("an unanswered query returned")
        expect(self.text("*IDN?") == IDN, "the query after the timeout went wrong")

    def reconnect_after_restart(self):
        expect(self.text("*IDN?") == IDN, "no answer before the restart")
        self.sim.restart()
        expect(self.text("*IDN?") == IDN, "no answer after the restart")

    def two_links_alternating(self):
        if self.link == "SOCKET":
            raise Skipped("the scope serves one raw socket connection; a new one replaces it")
        # Only a script keeps two links open; lxi_connect(address, port,
        # device, timeout in ms, protocol).
        script = """
            local first = lxi_connect("127.0.0.1", 111, "inst0", 5000, "VXI11")
            local second = lxi_connect("127.0.0.1", 111, "inst0", 5000, "VXI11")
            print(lxi_scpi(first, "*IDN?"))
            print(lxi_scpi(second, "*OPC?"))
            print(lxi_scpi(first, "*OPC?"))
            print(lxi_scpi(second, "*IDN?"))
            lxi_disconnect(first)
            lxi_disconnect(second)
        """
        with tempfile.NamedTemporaryFile("w", suffix=".lua") as file:
            file.write(script)
            file.flush()
            done = subprocess.run(["lxi", "run", file.name], capture_output=True, text=True,
                                  timeout=60)
        replies = [line.rstrip() for line in done.stdout.splitlines()]
        expect(replies == [IDN, "1", "1", IDN], f"the links answered {replies!r}")

    def two_links_concurrently(self):
        raise Skipped("lxi runs a script's calls one after another")


CHECKS = [
    ("identification", "identification"),
    ("compound command", "compound_command"),
    ("BUSY? around an arm", "busy_around_arm"),
    ("reply over 1 MB in one read", "large_reply"),
    ("device clear drops a pending reply", "device_clear"),
    ("read status byte", "status_byte"),
    ("read timeout, then a normal query", "timeout_then_query"),
    ("reconnect after the simulator restarts", "reconnect_after_restart"),
    ("two links alternating", "two_links_alternating"),
    ("two links concurrently", "two_links_concurrently"),
]


def missing_client(client):
    if client is PyVisaClient:
        if importlib.util.find_spec("pyvisa_py") is None:
            return "pyvisa-py is not installed (apt-get install python3-pyvisa-py)"
    elif shutil.which("lxi") is None:
        return "lxi-tools is not installed (apt-get install lxi-tools)"
    return None


def run(scopesim, links):
    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}

    def report(verdict, label, detail=""):
        counts[verdict] += 1
        print(f"{verdict} {label}" + (f": {detail}" if detail else ""), flush=True)

    for note in CLIENT_NOTES:
        print(f"note  {note}")
    for link in links:
        sim = Simulator(scopesim, with_vxi11=link == "INSTR")
        sim.start()
        try:
            for client_type in (PyVisaClient, LxiClient):
                missing = missing_client(client_type)
                client = None if missing else client_type(sim, link)
                for title, method in CHECKS:
                    label = f"{client_type.name} {link}: {title}"
                    if missing:
                        report("SKIP", label, missing)
                        continue
                    try:
                        getattr(client, method)()
                    except Skipped as reason:
                        report("SKIP", label, str(reason))
                    except Exception as error:
                        report("FAIL", label, f"{type(error).__name__}: {error}")
                    else:
                        report("PASS", label)
        finally:
            sim.stop()
    print(f"third-party clients: {counts['PASS']} passed, {counts['FAIL']} failed, "
          f"{counts['SKIP']} skipped")
    if counts["FAIL"]:
        return 1
    return 0 if counts["PASS"] else 77


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--scopesim", required=True, help="the mardock-scopesim program")
    parser.add_argument("--links", nargs="+", choices=["SOCKET", "INSTR"], required=True)
    arguments = parser.parse_args()
    return run(arguments.scopesim, arguments.links)


if __name__ == "__main__":
    sys.exit(main())
