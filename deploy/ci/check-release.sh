#!/usr/bin/env bash
# A CI step before a release is announced: `setupkit check-release` on the launcher the pipeline
# built, signed and published, against the checkout's release.cmake. Prints each check with its
# verdict, keeps the whole result as JSON (an artifact for whoever reads the failed job), and
# fails the job unless every check passes.
#
#   deploy/ci/check-release.sh LAUNCHER [RESULT.json]
#     SETUPKIT        the tool (default: setupkit on PATH)
#     RELEASE_FILE    the release file (default: release.cmake at the top of the checkout)
#
# Exit status: setupkit's own: 0 every check passes, 1 a check fails, 2 a usage error, 3 a file
# that cannot be read.
#
# In GitHub Actions, after the job that publishes and copies the reply to the mirrors:
#   - name: Check the release
#     run: bash deploy/ci/check-release.sh dist/setupTQ.exe check-release.json
#   - name: Keep the checks
#     if: always()
#     uses: actions/upload-artifact@v4
#     with: {name: check-release, path: check-release.json}
# In GitLab CI:
#   check-release:
#     script: bash deploy/ci/check-release.sh dist/setupTQ.exe check-release.json
#     artifacts: {when: always, paths: [check-release.json]}
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 LAUNCHER [RESULT.json]" >&2; exit 2; }
launcher=$1
result=${2:-check-release.json}
setupkit=${SETUPKIT:-setupkit}
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
release=${RELEASE_FILE:-$top/release.cmake}

rc=0
"$setupkit" check-release --json --release-file "$release" "$launcher" >"$result" || rc=$?
# The verdicts for the job's log; the JSON stays whole in $result.
if [ -s "$result" ]; then
  python3 - "$result" <<'PY'
import json, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
print("%s (fingerprint %s), release file %s" % (r["file"], r["fingerprint"], r["release_file"]))
for c in r["checks"]:
    print("  %s %-9s %s" % ("pass" if c["passed"] else "FAIL", c["name"], c["detail"]))
    for m in c["mirrors"]:  # the mirrors a check fails for, each with what it answered
        print("                 %s" % m)
for w in r["warnings"]:
    print("  warn %s" % w)
print("the release may be announced" if r["passed"] else "the release must not be announced")
PY
fi
exit $rc
