#!/usr/bin/python3
"""Receives one RADIUS request on 127.0.0.1 and prints what an independent decoder (pyrad)
reads in it: the user name, the revealed password, the Accounting-Request authenticator's
verdict and every attribute.

    pyrad_decode.py --port 0 --secret MeadowLantern [--timeout 10] [--dictionary FILE]

Prints "listening PORT" first (port 0 picks a free one), then, once a datagram arrived:
    code=1 id=5 length=45
    User-Name=alice
    User-Password=alicepw
    attribute NAME=VALUE        (one per attribute)
    accounting-authenticator=valid|invalid   (Accounting-Requests only)
Exit status: 0 decoded, 1 nothing arrived in time, 2 the datagram could not be decoded.
Run it with Debian's /usr/bin/python3 (python3-pyrad).
"""
import argparse
import os
import socket
import sys

from pyrad import dictionary, packet

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--secret", default="MeadowLantern")
    parser.add_argument("--timeout", type=float, default=10.0)
    parser.add_argument("--dictionary", default=os.path.join(HERE, "pyrad.dictionary"))
    args = parser.parse_args()

    radius_dictionary = dictionary.Dictionary(args.dictionary)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", args.port))
    sock.settimeout(args.timeout)
    print("listening %d" % sock.getsockname()[1], flush=True)
    try:
        datagram, _ = sock.recvfrom(65536)
    except socket.timeout:
        print("nothing received within %g s" % args.timeout, flush=True)
        return 1
    finally:
        sock.close()

    secret = args.secret.encode()
    try:
        code = datagram[0]
        if code == packet.AccountingRequest:
            request = packet.AcctPacket(secret=secret, dict=radius_dictionary, packet=datagram)
        else:
            request = packet.AuthPacket(secret=secret, dict=radius_dictionary, packet=datagram)
    except packet.PacketError as error:
        print("undecodable: %s" % error, flush=True)
        return 2

    print("code=%d id=%d length=%d" % (request.code, request.id, len(datagram)))
    if "User-Name" in request:
        print("User-Name=%s" % request["User-Name"][0])
    if "User-Password" in request:
        hidden = request["User-Password"][0]
        if isinstance(hidden, str):
            hidden = hidden.encode("latin-1")
        print("User-Password=%s" % request.PwDecrypt(hidden))
    for key in request.keys():
        name = key if isinstance(key, str) else str(key)
        if name in ("User-Name", "User-Password"):
            continue
        for value in request[key]:
            if isinstance(value, bytes):
                value = value.decode("latin-1")
            print("attribute %s=%s" % (name, value))
    if code == packet.AccountingRequest:
        valid = request.VerifyAcctRequest()
        print("accounting-authenticator=%s" % ("valid" if valid else "invalid"))
    sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
