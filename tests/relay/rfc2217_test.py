#!/usr/bin/env python3
# pyserial's rfc2217:// against tolvi-relay (natively, or tolvi-relay.exe under wine): it
# opens a Telnet connector, sets 9600 7E1, moves every byte value both ways through an echoing
# pipe, purges, sends breaks (said once in the status lines) and reads the modem lines; and a
# connector with --pipe-server is reached by a pipe client that connects after tolvi, leaves
# and comes back, the COM-port client staying and seeing carrier detect go and return.
#   rfc2217_test.py TOLVI_RELAY TOLVI_PIPESERVER [wine]
import os
import socket
import subprocess
import sys
import tempfile
import time

import serial

relay, pipeserver = sys.argv[1], sys.argv[2]
run = [a for a in sys.argv[3:] if a]  # "wine", or nothing
work = tempfile.mkdtemp()
env = dict(os.environ)
if not run:
    env["TOLVI_PIPE_DIR"] = work
processes = []


def stop_all():
    for p in processes:
        if p.poll() is None:
            p.terminate()
    for p in processes:
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()


def fail(why):
    print("FAIL: " + why)
    for name in sorted(os.listdir(work)):
        if name.endswith(".out"):
            print("--- " + name)
            print(open(os.path.join(work, name), errors="replace").read())
    stop_all()
    sys.exit(1)


def start(args, out):
    # Wine's programs write to a file, never a pipe: its background processes would hold one.
    with open(os.path.join(work, out), "w") as f:
        p = subprocess.Popen(run + args, stdout=f, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, env=env)
    processes.append(p)
    return p


def lines(out, text):
    with open(os.path.join(work, out), errors="replace") as f:
        return sum(1 for line in f if text in line)


def wait_lines(out, text, count, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if lines(out, text) >= count:
            return
        time.sleep(0.1)
    fail("no %d lines with %r in %s" % (count, text, out))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read_exactly(port, size):
    got = b""
    end = time.monotonic() + 10
    while len(got) < size and time.monotonic() < end:
        got += port.read(size - len(got))
    return got


tag = "tolvi-rfc2217-%d" % os.getpid()
echo_pipe, vm_pipe = "\\\\.\\pipe\\%s-echo" % tag, "\\\\.\\pipe\\%s-vm" % tag
echo_port, vm_port = free_port(), free_port()
start([pipeserver, echo_pipe, "echo"], "echo.out")
wait_lines("echo.out", "serving", 1)
start([relay, echo_pipe, str(echo_port), vm_pipe, str(vm_port), "--pipe-server"], "relay.out")
wait_lines("relay.out", "listening", 2)
wait_lines("relay.out", "waiting for the VM", 1)

# A Telnet connector, as a serial port of 9600 7E1: the open fails unless every setting is
# answered with the value asked.
url = "rfc2217://127.0.0.1:%d" % echo_port
try:
    port = serial.serial_for_url(url, baudrate=9600, bytesize=7, parity="E", stopbits=1, timeout=2)
except serial.SerialException as e:
    fail("open: %s" % e)
if not (port.cts and port.dsr and port.cd):
    fail("the modem lines are down with the pipe attached")
every = bytes(range(256)) * 4  # 255 doubled on the way, CR NUL kept as it is
port.write(every)
echoed = read_exactly(port, len(every))
if echoed != every:
    fail("echo: %d of %d bytes, %r..." % (len(echoed), len(every), echoed[:32]))
port.reset_input_buffer()   # each purge waits for its answer, or raises
port.reset_output_buffer()
port.send_break(0.05)
port.send_break(0.05)
port.baudrate = 115200
port.write(b"after")
if read_exactly(port, 5) != b"after":
    fail("no echo after the purges and breaks")
port.close()
wait_lines("relay.out", "sent a break", 1)
time.sleep(0.5)
if lines("relay.out", "sent a break") != 1:
    fail("a break was said more than once")

# The pipe's server end: the machine connects after tolvi, leaves, and comes back.
vm = start([pipeserver, "--connect", vm_pipe, "echo"], "vm1.out")
wait_lines("relay.out", "[%d %s] pipe attached" % (vm_port, vm_pipe), 1)
url = "rfc2217://127.0.0.1:%d" % vm_port
try:
    port = serial.serial_for_url(url, baudrate=9600, timeout=2)
except serial.SerialException as e:
    fail("open of the served pipe: %s" % e)
port.write(b"first")
if read_exactly(port, 5) != b"first":
    fail("no echo through the served pipe")
vm.terminate()
vm.wait(10)
wait_lines("relay.out", "[%d %s] pipe lost" % (vm_port, vm_pipe), 1)
wait_lines("relay.out", "waiting for the VM", 2)
end = time.monotonic() + 10
while port.cd and time.monotonic() < end:
    time.sleep(0.05)
if port.cd:
    fail("carrier detect stayed up with the machine gone")
start([pipeserver, "--connect", vm_pipe, "echo"], "vm2.out")
wait_lines("relay.out", "[%d %s] pipe attached" % (vm_port, vm_pipe), 2)
end = time.monotonic() + 10
while not port.cd and time.monotonic() < end:
    time.sleep(0.05)
port.write(b"second")
if read_exactly(port, 6) != b"second":
    fail("no echo after the machine came back")
port.close()
stop_all()
print("PASS")
