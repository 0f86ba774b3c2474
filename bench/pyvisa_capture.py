#!/usr/bin/python3
"""One save-on-trigger cycle after another, as a PyVISA script would send it:
the program's command sequence, all three saves with BMP images (or the ISF
save alone), each checked in the event status register.

Usage: pyvisa_capture.py PORT CYCLES [--nodelay] [--isf-only]
Prints the seconds the cycles took. Talks to 127.0.0.1 only.

--nodelay sets TCP_NODELAY on the session's socket, as a competent engineer
would: pyvisa-py leaves Nagle's algorithm on, and in 0.5.1
set_visa_attribute(VI_ATTR_TCPIP_NODELAY) raises UnknownAttribute. Without
it a write that follows another write waits for a delayed acknowledgement.
"""
import socket
import sys
import time

import pyvisa


def wait_until_idle(scope):
    while scope.query("BUSY?").strip() != "0":
        pass


def capture_cycle(scope, stem, isf_only):
    scope.write("ACQ:STATE 1")
    wait_until_idle(scope)
    scope.write("SAV:WAVE:FILEF INTERNAL")
    scope.write(f'SAV:WAVE ALL, "E:\\my_ISFs_{stem}"')
    wait_until_idle(scope)
    scope.query("FILES:DIR?")
    scope.query("*ESR?")
    if isf_only:
        return
    scope.write("SAV:WAVE:FILEF SPREADS")
    scope.write("SAV:WAVE:GATI NON")
    scope.write(f'SAV:WAVE ALL, "E:\\my_CSVs_{stem}"')
    wait_until_idle(scope)
    scope.query("*ESR?")
    scope.write("SAV:IMAG:FILEF BMP")
    scope.write("SAV:IMAG:LAY LAN")
    scope.write("SAV:IMAG:INKS ON")
    scope.write(f'SAV:IMAG "E:\\my_Images_{stem}.BMP"')
    wait_until_idle(scope)
    scope.query("*ESR?")


def main():
    port, cycles = int(sys.argv[1]), int(sys.argv[2])
    manager = pyvisa.ResourceManager("@py")
    scope = manager.open_resource(f"TCPIP0::127.0.0.1::{port}::SOCKET")
    if "--nodelay" in sys.argv:
        link = scope.visalib.sessions[scope.session].interface
        link.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    scope.read_termination = "\n"
    scope.write_termination = "\n"
    scope.timeout = 2000
    scope.write("HEAD 0;VERB 0")
    scope.write("ACQ:STOPA SEQ;STATE 0")
    scope.write("DESE 56")
    scope.write("*CLS")
    start = time.perf_counter()
    for stem in range(cycles):
        capture_cycle(scope, 200000 + stem, "--isf-only" in sys.argv)
    print(time.perf_counter() - start)
    scope.close()
    manager.close()


if __name__ == "__main__":
    main()
