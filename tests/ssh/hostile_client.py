#!/usr/bin/python3
# An SSH client that breaks the rules on purpose, as no ordinary client can: paramiko with
# its safeguards taken off. It logs in with KEY as USER (a console's port) and then
#   tiny-packets    opens its channel with a maximum packet size of 10 bytes and asks for a
#                   shell; prints "closed" when the server closes that channel unused
#   data-after-eof  sends "before", ends its input, sends "after" all the same, closes the
#                   channel and sends "late"; prints what came back before the end
#   hostile_client.py PORT KEY USER MODE
import sys
import time

import paramiko
from paramiko.common import cMSG_CHANNEL_DATA
from paramiko.message import Message

port, key_file, user, mode = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
transport = paramiko.Transport(("127.0.0.1", port))
transport.connect(username=user, pkey=paramiko.Ed25519Key.from_private_key_file(key_file))


def read_for(channel, seconds):
    got = b""
    end = time.time() + seconds
    channel.settimeout(0.2)
    while time.time() < end and not channel.closed:
        try:
            piece = channel.recv(65536)
        except Exception:
            continue
        if not piece:
            break
        got += piece
    return got


def raw_data(channel, data):
    message = Message()
    message.add_byte(cMSG_CHANNEL_DATA)
    message.add_int(channel.remote_chanid)
    message.add_string(data)
    transport._send_user_message(message)


if mode == "tiny-packets":
    transport._sanitize_packet_size = lambda size: size
    channel = transport.open_channel("session", max_packet_size=10)
    try:
        channel.invoke_shell()
    except Exception:
        pass
    got = read_for(channel, 5)
    print("closed" if channel.closed or channel.eof_received else "open", len(got))
elif mode == "data-after-eof":
    channel = transport.open_session()
    channel.invoke_shell()
    got = read_for(channel, 1)
    channel.sendall(b"before")
    got += read_for(channel, 1)
    # The end of input and more data in one write, so that the server takes both at once.
    packetizer = transport.packetizer
    held, write_all = [], packetizer.write_all
    packetizer.write_all = held.append
    channel.shutdown_write()
    raw_data(channel, b"after")
    packetizer.write_all = write_all
    write_all(b"".join(held))
    got += read_for(channel, 1)
    channel.close()
    raw_data(channel, b"late")
    time.sleep(1)
    print(repr(got))
transport.close()
