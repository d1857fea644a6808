#!/usr/bin/python3
"""An independent reader: how Python's email package sees a raw mail. Prints JSON."""
import json
import sys
from email import policy
from email.parser import BytesParser

with open(sys.argv[1], "rb") as f:
    msg = BytesParser(policy=policy.default).parse(f)
body = msg.get_body(preferencelist=("plain",))
out = {
    "subject": str(msg["subject"]),
    "to": [str(a.addr_spec) for a in msg["to"].addresses],
    "from": str(msg["from"]),
    "date": str(msg["date"]),
    "message_id": str(msg["message-id"] or ""),
    "in_reply_to": " ".join(str(msg["in-reply-to"] or "").split()),
    "references": " ".join(str(msg["references"] or "").split()),
    "body": body.get_content() if body is not None else None,
    "body_charset": body.get_content_charset() if body is not None else None,
    "attachments": [
        {"name": part.get_filename(), "size": len(part.get_content()),
         "bytes": part.get_content().hex() if isinstance(part.get_content(), bytes) else None}
        for part in msg.iter_attachments()
    ],
}
print(json.dumps(out, ensure_ascii=False))
