#!/usr/bin/env bash
# The demo's first run on a virtual display: the runner starts the real mail servers with the
# sample mails, one click on "受信" fetches them into the received history with their attachments
# and brings a dog out, and killing the program stops the servers.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
source "$(dirname "$0")/xvfb.sh"

folder=$tmp/demo
/usr/bin/python3 "$root/scripts/demo/demo.py" --build "$build" --folder "$folder" --info "$tmp/info.json" \
  >"$tmp/demo.log" 2>&1 &
runner=$!
track $runner
main=$(window "Ver 1.0") || { cat "$tmp/demo.log"; echo "FAILED: the demo did not start"; exit 1; }
read -r x y < <(origin "$main")
xdotool mousemove $((x + 56)) $((y + 196)) click 1

history="$folder/★MailData/ppdata2.data"
size() { stat -c %s "$history" 2>/dev/null || echo 0; }
for _ in $(seq 150); do [ "$(size)" -ge $((12 * 32284)) ] && break; sleep 0.2; done
check '[ "$(size)" = $((12 * 32284)) ]' "twelve mails in the received history"
subject=$(printf 'メールで犬を呼んでみました' | iconv -t CP932)
check 'grep -qF "$subject" "$history"' "the last mail's subject stored in code page 932"
check '[ -f "$folder/添付フォルダ/ポチの写真.png" ] && [ -f "$folder/添付フォルダ/散歩の道順.txt" ]' \
  "attachments under their Japanese names"
check 'window "気分" >/dev/null' "a dog came out"
# The dog is born under the pointer, on the commands; once it has walked off, "着信履歴" shows
# the twelve mails.
check 'dogs_clear_of $((x + 60)) $((y + 221))' "the dog walks off the commands"
xdotool mousemove $((x + 60)) $((y + 221)) click 1
check 'window "着信履歴" 20 >/dev/null' "the history window opens"

# The program dies without a word; the servers go with it.
pid=$(cat "$folder/.wanderpup.lock")
read -r dovecot script state < <(python3 -c 'import json,sys; i=json.load(open(sys.argv[1])); print(i["pids"]["dovecot"], i["pids"]["self"], i["state"])' "$tmp/info.json")
kill -9 "$pid"
check 'wait_gone "$runner" 30' "the runner ends with the program"
check '! kill -0 "$dovecot" 2>/dev/null && ! kill -0 "$script" 2>/dev/null && [ ! -e "$state" ]' "the mail servers stopped"
[ $fail = 0 ] || cat "$tmp/demo.log"
exit $fail
