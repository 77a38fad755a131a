#!/usr/bin/python3
"""Encodes one attribute with an encoder independent of Pelvok and prints its items, one line
of hex octets each, so that a test can hold Pelvok's encoding against it.

    reference_encode.py pyrad DICTIONARY NAME VALUE
        pyrad's items for NAME=VALUE, with pyrad reading the dictionary file DICTIONARY.
        (Debian 12's pyrad 2.1 knows no integer64 and writes every vendor as format=1,1.)
    reference_encode.py radclient NAME VALUE
        The items of the Access-Request that FreeRADIUS's radclient sends with NAME = VALUE
        (VALUE in radclient's syntax, strings in double quotes), read from the dictionaries in
        /usr/share/freeradius and caught on a UDP socket of 127.0.0.1; its User-Name item is
        left out. radclient is stopped once the request has arrived, or after 10 seconds.

Exit status: 0 printed, 1 nothing arrived or the encoder refused the attribute.
Run it with Debian's /usr/bin/python3 (python3-pyrad, freeradius-utils).
"""
import argparse
import socket
import subprocess
import sys
import tempfile

USER_NAME = 1


def items(attributes):
    at = 0
    while at + 2 <= len(attributes):
        length = attributes[at + 1]
        if length < 2:
            break
        yield attributes[at:at + length]
        at += length


def with_pyrad(dictionary, name, value):
    from pyrad.dictionary import Dictionary
    from pyrad.packet import Packet
    packet = Packet(dict=Dictionary(dictionary))
    packet.AddAttribute(name, value)
    return packet._PktEncodeAttributes()


def with_radclient(name, value):
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(10)
    port = receiver.getsockname()[1]
    with tempfile.TemporaryDirectory() as raddb:
        client = subprocess.Popen(
            ["radclient", "-d", raddb, "-D", "/usr/share/freeradius", "-r", "1", "-t", "10",
             "127.0.0.1:%d" % port, "auth", "testing123"],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        client.stdin.write(('User-Name = "reference", %s = %s\n' % (name, value)).encode())
        client.stdin.close()
        try:
            request, _ = receiver.recvfrom(4096)
        except socket.timeout:
            request = b""
        client.kill()
        error = client.stderr.read().decode(errors="replace")
        client.wait()
    if not request:
        sys.exit("radclient sent nothing: " + error)
    return request[20:]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="encoder", required=True)
    pyrad = sub.add_parser("pyrad")
    pyrad.add_argument("dictionary")
    radclient = sub.add_parser("radclient")
    for each in (pyrad, radclient):
        each.add_argument("name")
        each.add_argument("value")
    args = parser.parse_args()
    if args.encoder == "pyrad":
        attributes = with_pyrad(args.dictionary, args.name, args.value)
    else:
        attributes = with_radclient(args.name, args.value)
    for item in items(attributes):
        if item[0] != USER_NAME or args.encoder == "pyrad":
            print(item.hex())
    return 0


if __name__ == "__main__":
    sys.exit(main())
