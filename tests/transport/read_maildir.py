#!/usr/bin/python3
"""An independent reader of a Maildir: what Python's mailbox module finds in it. Prints JSON, one
entry per mail in the order of their names."""
import json
import mailbox
import sys
from email import policy
from email.parser import BytesParser

box = mailbox.Maildir(sys.argv[1], factory=None, create=False)
out = []
for key in sorted(box.keys()):
    raw = box.get_bytes(key)
    msg = BytesParser(policy=policy.default).parsebytes(raw)
    body = msg.get_body(preferencelist=("plain", "html"))
    out.append({
        "key": key,
        "subject": str(msg["subject"] or ""),
        "message_id": str(msg["message-id"] or ""),
        "body": body.get_content() if body is not None else None,
        "size": len(raw),
    })
print(json.dumps(out, ensure_ascii=False))
