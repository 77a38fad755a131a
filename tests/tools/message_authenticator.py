#!/usr/bin/python3
"""Signs RADIUS packets with a Message-Authenticator (RFC 3579 section 3.2) using Python's own
hmac and hashlib, independently of the C++ code. It made the known answers of
tests/radius/message_authenticator_test.cpp.

    message_authenticator.py request --secret S PACKET_HEX
        The Access-Request with its Message-Authenticator filled in (HMAC-MD5 over the packet
        with the attribute's value zeroed).
    message_authenticator.py reply --secret S --request-authenticator HEX PACKET_HEX
        The reply with its Message-Authenticator (HMAC-MD5 over the reply with the Request
        Authenticator in place of the Response Authenticator and the value zeroed), then its
        Response Authenticator (RFC 2865 section 3: MD5 over Code, Identifier, Length, Request
        Authenticator, Attributes and the secret).

PACKET_HEX must hold a Message-Authenticator item (type 80, length 18); the Length field is set
from the packet's size. Prints the packet as hex.
"""
import argparse
import hashlib
import hmac
import sys

MESSAGE_AUTHENTICATOR = 80


def value_offset(packet):
    at = 20
    while at + 2 <= len(packet):
        kind, length = packet[at], packet[at + 1]
        if length < 2:
            break
        if kind == MESSAGE_AUTHENTICATOR and length == 18:
            return at + 2
        at += length
    sys.exit("no Message-Authenticator item of length 18 in the packet")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kind", choices=("request", "reply"))
    parser.add_argument("packet")
    parser.add_argument("--secret", required=True)
    parser.add_argument("--request-authenticator")
    args = parser.parse_args()

    packet = bytearray.fromhex(args.packet)
    secret = args.secret.encode()
    packet[2:4] = len(packet).to_bytes(2, "big")
    offset = value_offset(packet)
    packet[offset:offset + 16] = bytes(16)
    if args.kind == "request":
        packet[offset:offset + 16] = hmac.new(secret, bytes(packet), hashlib.md5).digest()
    else:
        if not args.request_authenticator:
            sys.exit("reply: --request-authenticator is required")
        packet[4:20] = bytes.fromhex(args.request_authenticator)
        packet[offset:offset + 16] = hmac.new(secret, bytes(packet), hashlib.md5).digest()
        packet[4:20] = hashlib.md5(bytes(packet) + secret).digest()
    print(packet.hex())
    return 0


if __name__ == "__main__":
    sys.exit(main())
