#!/usr/bin/python3
"""Parses a rendered or received mail message with Python's email package and compares it with
an expectation written by the test (JSON). Prints one line per mismatch; exit status 0 when the
message matches, 1 when it does not, 2 on bad usage.

usage: check_mime_message.py MESSAGE_FILE EXPECTATION_FILE [--unstuff]

--unstuff undoes SMTP dot-stuffing first (for text rendered for DATA that never went through a
server). Expectation keys:
  from: [name, address]            to: [[name, address], ...]       subject: text
  absent: [text, ...]              texts that must not appear in the header block
  content_type: type of the whole message
  parts: [{content_type, charset, encoding, filename, disposition, body_hex, text}, ...]
         the leaf parts in order; "text": true compares bodies with line ends normalised
"""
import email
import email.policy
import email.utils
import json
import sys


def unstuff(data: bytes) -> bytes:
    lines = data.split(b"\n")
    return b"\n".join(line[1:] if line.startswith(b"..") else line for line in lines)


def normalise(body: bytes) -> bytes:
    body = body.replace(b"\r\n", b"\n")
    return body[:-1] if body.endswith(b"\n") else body


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    with open(argv[1], "rb") as f:
        data = f.read()
    with open(argv[2], encoding="utf-8") as f:
        expected = json.load(f)
    if "--unstuff" in argv[3:]:
        data = unstuff(data)

    problems = []
    msg = email.message_from_bytes(data, policy=email.policy.compat32)
    for defect in msg.defects:
        problems.append(f"message defect: {defect!r}")

    def addresses(name):
        return [list(pair) for pair in email.utils.getaddresses(msg.get_all(name, []))]

    if "from" in expected and addresses("From") != [expected["from"]]:
        problems.append(f"From: {addresses('From')} != {[expected['from']]}")
    if "to" in expected and addresses("To") != expected["to"]:
        problems.append(f"To: {addresses('To')} != {expected['to']}")
    if "subject" in expected:
        subject = " ".join(str(msg.get("Subject", "")).split())
        if subject != " ".join(expected["subject"].split()):
            problems.append(f"Subject: {subject!r} != {expected['subject']!r}")
    if msg.get("MIME-Version") != "1.0":
        problems.append(f"MIME-Version: {msg.get('MIME-Version')!r}")
    if email.utils.parsedate_to_datetime(msg.get("Date", "")) is None:
        problems.append(f"Date does not parse: {msg.get('Date')!r}")
    header_block = data.split(b"\r\n\r\n", 1)[0].decode("latin-1")
    for text in expected.get("absent", []):
        if text in header_block:
            problems.append(f"header block holds {text!r}")
    if "content_type" in expected and msg.get_content_type() != expected["content_type"]:
        problems.append(f"content type {msg.get_content_type()} != {expected['content_type']}")

    leaves = [part for part in msg.walk() if not part.is_multipart()]
    want = expected.get("parts", [])
    if len(leaves) != len(want):
        problems.append(f"{len(leaves)} leaf parts, expected {len(want)}")
    for index, (part, spec) in enumerate(zip(leaves, want)):
        where = f"part {index}"
        for defect in part.defects:
            problems.append(f"{where}: defect {defect!r}")
        if part.get_content_type() != spec["content_type"]:
            problems.append(f"{where}: type {part.get_content_type()} != {spec['content_type']}")
        if "charset" in spec and part.get_content_charset() != spec["charset"]:
            problems.append(f"{where}: charset {part.get_content_charset()} != {spec['charset']}")
        encoding = str(part.get("Content-Transfer-Encoding", "")).lower()
        if encoding != spec["encoding"]:
            problems.append(f"{where}: encoding {encoding} != {spec['encoding']}")
        if spec.get("filename") is not None and part.get_filename() != spec["filename"]:
            problems.append(f"{where}: filename {part.get_filename()!r} != {spec['filename']!r}")
        if part.get_content_disposition() != spec.get("disposition"):
            problems.append(f"{where}: disposition {part.get_content_disposition()!r} != "
                            f"{spec.get('disposition')!r}")
        body = part.get_payload(decode=True) or b""
        want_body = bytes.fromhex(spec["body_hex"])
        if spec.get("text"):
            body, want_body = normalise(body), normalise(want_body)
        if body != want_body:
            problems.append(f"{where}: body {body[:60]!r}... ({len(body)} bytes) != "
                            f"{want_body[:60]!r}... ({len(want_body)} bytes)")

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
