"""The sample mails of the demo mailbox: our own Japanese texts in the charsets and encodings that
Japanese mail really arrives in, one with attachments under Japanese names, some ending in a dog
marker. The last one names dog 3, so dog 3 comes out after the first mail check."""
import base64
import urllib.parse

DEMO_ADDRESS = "taro@example.test"

# (sender name, sender address, date, subject, charset, transfer encoding, body, attachments)
# charset: iso-2022-jp, shift_jis, euc-jp or utf-8; transfer: 7bit, 8bit, base64 or qp.
# attachments: (file name, content type, bytes or path under the source tree, name style)
MAILS = [
    ("わんだーぱっぷ案内係", "guide@example.test", "Mon, 02 Dec 2024 09:00:00 +0900",
     "ようこそ Wanderpup へ", "iso-2022-jp", "7bit",
     "太郎さん、はじめまして。\n"
     "このメールは「受信」を押したときに届いた見本のメールです。\n"
     "届いたメールは「着信履歴」でいつでも読み返せます。\n"
     "返事は着信履歴の「返事を出す」から、新しいメールは「新規作成」から書けます。\n"
     "このデモでは、taro@example.test あてに送ったメールが次の「受信」で届きます。\n", []),
    ("鈴木一郎", "ichiro@example.test", "Mon, 02 Dec 2024 12:34:00 +0900",
     "週末のお散歩会のお知らせ", "shift_jis", "8bit",
     "お散歩会のみなさま\n\n"
     "今週の土曜日、朝九時に河川敷の公園に集合です。\n"
     "雨の場合は日曜日に延期します。\n"
     "おやつは各自でお持ちください。\n\n"
     "鈴木\n\n\n\nWanderpup（⑤の選択）", []),
    ("佐藤みどり", "midori@example.test", "Tue, 03 Dec 2024 08:15:00 +0900",
     "犬小屋の屋根の修理", "euc-jp", "8bit",
     "太郎さん\n\n"
     "先日の大雨で、犬小屋の屋根が少し傾いてしまいました。\n"
     "週末に板を二枚と釘を持って伺います。\n"
     "ペンキの色は前と同じ赤でよろしいでしょうか。\n\n"
     "佐藤みどり\n", []),
    ("高橋健太", "kenta@example.test", "Tue, 03 Dec 2024 19:02:00 +0900",
     "ポチの写真を送ります", "iso-2022-jp", "7bit",
     "太郎さん\n\n"
     "昨日の散歩で撮ったポチの写真を添付します。\n"
     "散歩の道順もテキストで付けておきました。\n\n"
     "高橋\n",
     [("ポチの写真.png", "image/png", "assets/dogs/dog03_1.png", "2047"),
      ("散歩の道順.txt", "text/plain; charset=UTF-8",
       "公園の入口から川沿いに北へ五百メートル。\n橋を渡って商店街を抜け、神社で休憩。\n".encode(),
       "2231")]),
    ("動物病院ひだまり", "clinic@example.test", "Wed, 04 Dec 2024 10:00:00 +0900",
     "【ひだまり】予防接種のご案内", "utf-8", "base64",
     "ポチちゃんの飼い主様\n\n"
     "いつもひだまり動物病院をご利用いただき、ありがとうございます。\n"
     "年に一度の予防接種の時期が近づいてまいりました。\n"
     "ご予約はお電話または窓口で承ります。\n\n"
     "診察時間　午前９時～午後６時（水曜休診）\n", []),
    ("田中ゆい", "yui@example.test", "Wed, 04 Dec 2024 21:40:00 +0900",
     "ﾄﾞｯｸﾞﾗﾝのﾁｹｯﾄ", "shift_jis", "8bit",
     "たろうくん\n\n"
     "ﾄﾞｯｸﾞﾗﾝの入場券が二枚あたりました！\n"
     "来週の日曜日、いっしょに行きませんか？\n"
     "ﾊﾞｽは駅前から十時発です。\n\n"
     "ゆい\n\n\n\nWanderpup（⑦の選択）", []),
    ("町内会", "chounaikai@example.test", "Thu, 05 Dec 2024 07:30:00 +0900",
     "年末の大掃除について", "iso-2022-jp", "7bit",
     "町内会の皆様\n\n"
     "年末の大掃除を十二月二十八日（土）に行います。\n"
     "集合場所は公民館前、時間は午前八時です。\n"
     "軍手とほうきをお持ちください。\n"
     "犬の散歩コースの落ち葉拾いもあわせて行います。\n", []),
    ("山本はるか", "haruka@example.test", "Thu, 05 Dec 2024 16:20:00 +0900",
     "Re: 犬の名前の相談", "utf-8", "qp",
     "太郎さん\n\n"
     "候補の中では「こむぎ」がいちばん好きです。\n"
     "柴犬の毛の色にもぴったりだと思います。\n"
     "「だいず」も捨てがたいですね。\n\n"
     "はるか\n", []),
    ("ペットショップわんわん", "shop@example.test", "Fri, 06 Dec 2024 11:00:00 +0900",
     "冬の新作セーターが入荷しました", "euc-jp", "8bit",
     "いつもご来店ありがとうございます。\n\n"
     "小型犬から大型犬まで、冬の新作セーターが入荷しました。\n"
     "今週末は全品一割引きです。\n"
     "お散歩用の反射バンドもございます。\n", []),
    ("伊藤ひろし", "hiroshi@example.test", "Fri, 06 Dec 2024 20:05:00 +0900",
     "しつけ教室の感想", "utf-8", "8bit",
     "太郎さん、こんばんは。\n\n"
     "先週のしつけ教室、うちのジロウは「おすわり」と「まて」ができるようになりました。\n"
     "次回は「おいで」の練習だそうです。\n"
     "ごほうびのおやつは小さく切っておくとよいそうです。\n\n"
     "伊藤\n\n\n\nWanderpup（②の選択）", []),
    ("中村さくら", "sakura@example.test", "Sat, 07 Dec 2024 09:45:00 +0900",
     "ドッグカフェのお誘い", "shift_jis", "8bit",
     "太郎さん\n\n"
     "駅の南口に新しいドッグカフェができました。\n"
     "犬用のケーキもあるそうです。\n"
     "明日の午後、いかがですか。\n\n"
     "さくら\n", []),
    ("小林まこと", "makoto@example.test", "Sat, 07 Dec 2024 18:30:00 +0900",
     "メールで犬を呼んでみました", "utf-8", "base64",
     "太郎さん\n\n"
     "このメールの最後には犬の印が付いています。\n"
     "受信すると、私が選んだ三番の犬がデスクトップに出てきます。\n"
     "犬は「ハウス」で犬小屋に戻ります。\n\n"
     "まこと\n\n\n\nWanderpup（③の選択）", []),
]

CODECS = {"iso-2022-jp": "iso2022_jp", "shift_jis": "cp932", "euc-jp": "euc_jp", "utf-8": "utf-8"}
LABELS = {"iso-2022-jp": "ISO-2022-JP", "shift_jis": "Shift_JIS", "euc-jp": "EUC-JP", "utf-8": "UTF-8"}


def encoded_words(text, charset):
    """RFC 2047 words of at most 75 characters; ISO-2022-JP words each end in ASCII."""
    if all(ord(c) < 128 for c in text):
        return text
    codec, label = CODECS[charset], LABELS[charset]
    words, chunk = [], ""
    for c in text:
        trial = chunk + c
        if len(base64.b64encode(trial.encode(codec))) + len(label) + 7 > 75:
            words.append(chunk)
            chunk = c
        else:
            chunk = trial
    words.append(chunk)
    return "\r\n ".join("=?%s?B?%s?=" % (label, base64.b64encode(w.encode(codec)).decode())
                        for w in words)


def body_bytes(text, charset, transfer):
    codec = CODECS[charset]
    lines = text.split("\n")
    # ISO-2022-JP goes back to ASCII at the end of every line; encoding line by line does that.
    raw = b"\r\n".join(line.encode(codec) for line in lines)
    if transfer == "base64":
        b = base64.encodebytes(raw).replace(b"\n", b"\r\n")
        return b.rstrip(b"\r\n")
    if transfer == "qp":
        import quopri
        return quopri.encodestring(raw.replace(b"\r\n", b"\n")).replace(b"\n", b"\r\n")
    return raw


def text_part_headers(charset, transfer):
    cte = {"qp": "quoted-printable"}.get(transfer, transfer)
    return ("Content-Type: text/plain; charset=%s\r\nContent-Transfer-Encoding: %s\r\n"
            % (LABELS[charset], cte)).encode()


def attachment_part(name, content_type, data, style, charset):
    if style == "2231":
        quoted = "UTF-8''" + urllib.parse.quote(name.encode())
        disposition = "attachment; filename*=%s" % quoted
        ctype = "%s; name*=%s" % (content_type, quoted)
    else:  # as many Japanese mailers write it: an encoded word inside the quotes
        word = encoded_words(name, charset).replace("\r\n ", "")
        disposition = 'attachment; filename="%s"' % word
        ctype = '%s; name="%s"' % (content_type, word)
    encoded = base64.encodebytes(data).replace(b"\n", b"\r\n").rstrip(b"\r\n")
    return ("Content-Type: %s\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: %s\r\n\r\n"
            % (ctype, disposition)).encode() + encoded


def build(index, mail, source_root):
    name, address, date, subject, charset, transfer, text, attachments = mail
    head = ("From: %s <%s>\r\nTo: %s\r\nSubject: %s\r\nDate: %s\r\n"
            "Message-ID: <demo-%02d@example.test>\r\nMIME-Version: 1.0\r\n"
            % (encoded_words(name, charset), address, DEMO_ADDRESS,
               encoded_words(subject, charset), date, index)).encode()
    body = body_bytes(text, charset, transfer)
    if not attachments:
        return head + text_part_headers(charset, transfer) + b"\r\n" + body + b"\r\n"
    boundary = "----=_demo_%02d_boundary" % index
    parts = [text_part_headers(charset, transfer) + b"\r\n" + body]
    for file_name, content_type, data, style in attachments:
        if isinstance(data, str):
            with open("%s/%s" % (source_root, data), "rb") as f:
                data = f.read()
        parts.append(attachment_part(file_name, content_type, data, style, charset))
    out = head + ('Content-Type: multipart/mixed; boundary="%s"\r\n\r\n' % boundary).encode()
    out += b"This is a multi-part message in MIME format.\r\n"
    for part in parts:
        out += ("\r\n--%s\r\n" % boundary).encode() + part
    return out + ("\r\n--%s--\r\n" % boundary).encode()


def write_all(folder, source_root):
    """Writes the mails as 01.eml, 02.eml, ... into folder (the order the mailbox numbers them)."""
    for i, mail in enumerate(MAILS, 1):
        with open("%s/%02d.eml" % (folder, i), "wb") as f:
            f.write(build(i, mail, source_root))
    return len(MAILS)
