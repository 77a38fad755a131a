#!/usr/bin/python3
"""Hides attribute values with Python's own hashlib, independently of the C++ code, as RFC 2865
section 5.2 (User-Password) and RFC 2868 section 3.5 (Tunnel-Password) say. It made the known
answers of tests/radius/request_hider_test.cpp.

    hidden_values.py user-password --secret S --authenticator HEX VALUE_HEX
        The value padded with zero octets to a multiple of 16 (at least 16), hidden.
    hidden_values.py tunnel-password --secret S --authenticator HEX --salt HEX VALUE_HEX
        The salt, then a length octet, the value and zero padding to a multiple of 16, hidden
        with MD5(secret + authenticator + salt) for the first block.

Prints the hidden octets as hex.
"""
import argparse
import hashlib
import sys


def hide(secret, first, padded):
    out = b""
    chain = first
    for at in range(0, len(padded), 16):
        block = hashlib.md5(secret + chain).digest()
        hidden = bytes(p ^ b for p, b in zip(padded[at:at + 16], block))
        out += hidden
        chain = hidden
    return out


def pad(data):
    length = max(16, (len(data) + 15) // 16 * 16)
    return data + bytes(length - len(data))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kind", choices=("user-password", "tunnel-password"))
    parser.add_argument("value")
    parser.add_argument("--secret", required=True)
    parser.add_argument("--authenticator", required=True)
    parser.add_argument("--salt")
    args = parser.parse_args()

    secret = args.secret.encode()
    authenticator = bytes.fromhex(args.authenticator)
    value = bytes.fromhex(args.value)
    if args.kind == "user-password":
        print(hide(secret, authenticator, pad(value)).hex())
    else:
        if not args.salt:
            sys.exit("tunnel-password: --salt is required")
        salt = bytes.fromhex(args.salt)
        print((salt + hide(secret, authenticator + salt, pad(bytes([len(value)]) + value))).hex())
    return 0


if __name__ == "__main__":
    sys.exit(main())
