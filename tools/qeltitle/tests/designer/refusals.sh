#!/usr/bin/env bash
# The designer's server refuses, with curl as the client: requests without the session's token,
# names that lead out of the folder (.., absolute paths, symbolic links to files and folders
# outside), and bodies over the size limit; and it serves what is allowed. One request a row.
# Usage: refusals.sh QELTITLE
set -uo pipefail
tool=$1
work=$(mktemp -d)
outside=$(mktemp -d)
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$work" "$outside"' EXIT

mkdir "$work/in"
echo '{"strings": [{"text": "inside"}]}' > "$work/in/title.json"
echo 'root:x:0:0:secret' > "$outside/secret.xml"
cp "$work/in/title.json" "$outside/title.json"
ln -s "$outside/secret.xml" "$work/in/link-out.xml"
ln -s "$outside/title.json" "$work/in/link-out.json"
ln -s "$outside" "$work/in/dir-out"
ln -s title.json "$work/in/link-in.json"

timeout -k 5 120 "$tool" serve "$work/in" --port 0 > "$work/serve.log" 2>&1 &
server=$!
for _ in $(seq 100); do grep -q '^designer: ' "$work/serve.log" && break; sleep 0.1; done
url=$(sed -n 's/^designer: //p' "$work/serve.log")
[ -n "$url" ] || { echo "FAILED: qeltitle serve printed no address"; cat "$work/serve.log"; exit 1; }
origin=${url%/*/}
token=${url#"$origin/"}; token=${token%/}
head -c $((5 << 20)) /dev/zero | tr '\0' ' ' > "$work/big.json"

title='"{\"strings\": [{\"text\": \"x\"}]}"'
passed=0 failed=0
# expected status | method | path after the origin | JSON body ('' for none; @FILE for a file)
while IFS='|' read -r expect method path body; do
  [ -z "$expect" ] && continue
  args=(-s --max-time 20 --path-as-is -o "$work/reply" -w '%{http_code}' -X "$method")
  case $body in
    '') ;;
    *) args+=(-H 'Content-Type: application/json' --data-binary "$body") ;;
  esac
  got=$(cd "$work" && curl "${args[@]}" "$origin${path//TOKEN/$token}")
  if [ "$got" = "$expect" ] && ! grep -q 'root:x' "$work/reply"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $method $path ${body:0:60}: got $got, expected $expect: $(head -c 200 "$work/reply")"
  fi
done <<TABLE
403|GET|/|
403|GET|/api/session|
403|GET|/0123456789abcdef0123456789abcdef/api/session|
403|GET|/TOKENx/api/session|
403|GET|/api/session?token=TOKEN|
200|GET|/TOKEN/|
200|GET|/TOKEN/api/session|
404|GET|/TOKEN/../../etc/passwd|
404|GET|/TOKEN/%2e%2e%2fetc%2fpasswd|
200|POST|/TOKEN/api/open|{"name": "title.json"}
200|POST|/TOKEN/api/open|{"name": "link-in.json"}
403|POST|/TOKEN/api/open|{"name": "../title.json"}
403|POST|/TOKEN/api/open|{"name": "/etc/passwd"}
403|POST|/TOKEN/api/open|{"name": "link-out.xml"}
403|POST|/TOKEN/api/open|{"name": "dir-out/title.json"}
403|POST|/TOKEN/api/text|{"name": "link-out.xml"}
403|POST|/TOKEN/api/captions|{"subtitles": "../../etc/passwd"}
403|POST|/TOKEN/api/frame|{"title": $title, "backdrop": {"kind": "image", "file": "dir-out/secret.xml"}}
403|POST|/TOKEN/api/save|{"name": "../escaped.json", "format": "json", "title": $title}
403|POST|/TOKEN/api/save|{"name": "dir-out/escaped.json", "format": "json", "title": $title}
403|POST|/TOKEN/api/save|{"name": "link-out.json", "format": "json", "title": $title}
403|POST|/TOKEN/api/export|{"name": "dir-out/still.png", "title": $title}
413|POST|/TOKEN/api/save|@big.json
400|POST|/TOKEN/api/save|not json
200|POST|/TOKEN/api/save|{"name": "saved.json", "format": "json", "title": $title}
TABLE
# Nothing outside was written, and the allowed save was.
[ ! -e "$outside/escaped.json" ] && cmp -s "$outside/title.json" "$work/in/title.json" && [ -f "$work/in/saved.json" ] \
  && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAILED: files outside the folder were written"; }
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
