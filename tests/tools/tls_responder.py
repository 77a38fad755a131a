#!/usr/bin/python3
"""A scripted RADIUS over TLS server on loopback for the stream rules a real server cannot be
made to break, with Python's own ssl and hashlib, independently of the C++ code.

    tls_responder.py --port P --certs DIR --mode MODE --log FILE

DIR holds ca.pem, server.pem and server.key. Every request is answered with secret "radsec"
(Access-Accept, Accounting-Response), unless the mode says otherwise:
    drop-first   the first connection is closed after its first request, unanswered; on the
                 next connection everything is answered
    bad-length   the first connection gets, for its first request, a packet whose Length is
                 4097, then it closes; later connections are answered
Each request received is written to the log as "CONNECTION CODE IDENTIFIER AUTHENTICATOR_HEX".
Ends by itself after 60 seconds, or at SIGTERM.
"""
import argparse
import hashlib
import signal
import socket
import ssl
import sys
import time

SECRET = b"radsec"


def reply_to(request):
    code = {1: 2, 4: 5}.get(request[0], 2)
    header = bytes([code, request[1], 0, 20])
    return header + hashlib.md5(header + request[4:20] + SECRET).digest()


def read_packet(stream):
    data = b""
    while len(data) < 4:
        more = stream.recv(4 - len(data))
        if not more:
            return None
        data += more
    length = int.from_bytes(data[2:4], "big")
    while len(data) < length:
        more = stream.recv(length - len(data))
        if not more:
            return None
        data += more
    return data


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--certs", required=True)
    parser.add_argument("--mode", choices=("drop-first", "bad-length"), required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(f"{args.certs}/server.pem", f"{args.certs}/server.key")
    context.load_verify_locations(f"{args.certs}/ca.pem")
    context.verify_mode = ssl.CERT_REQUIRED
    listener = socket.create_server(("127.0.0.1", args.port))
    listener.settimeout(1)
    deadline = time.monotonic() + 60
    connection = 0
    with open(args.log, "a", buffering=1) as log:
        print("ready", flush=True)
        while time.monotonic() < deadline:
            try:
                raw, _ = listener.accept()
            except socket.timeout:
                continue
            connection += 1
            try:
                stream = context.wrap_socket(raw, server_side=True)
                stream.settimeout(max(1, deadline - time.monotonic()))
                while (request := read_packet(stream)) is not None:
                    log.write(f"{connection} {request[0]} {request[1]} {request[4:20].hex()}\n")
                    if connection == 1 and args.mode == "drop-first":
                        break
                    if connection == 1 and args.mode == "bad-length":
                        stream.sendall(bytes([2, request[1], 0x10, 0x01]) + bytes(16))
                        time.sleep(0.2)
                        break
                    stream.sendall(reply_to(request))
                stream.close()
            except (OSError, ssl.SSLError) as error:
                log.write(f"{connection} error {error}\n")
                raw.close()


if __name__ == "__main__":
    main()
