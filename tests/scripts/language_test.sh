#!/usr/bin/env bash
# The language scripts/run gives the client, for the locales a user may come with.
# Usage: language_test.sh path/to/scripts/language.sh
set -uo pipefail
lib=$1
failed=0

# expect WANTED [NAME=VALUE...]: LANGUAGE after the choice, in an environment holding only those.
expect() {
  local wanted=$1
  shift
  local got
  got=$(env -i PATH="$PATH" "$@" bash -c 'source "$1" && kt_use_venue_language && echo "${LANGUAGE-unset}"' _ "$lib" 2>/dev/null)
  if [ "$got" != "$wanted" ]; then
    echo "FAIL: with ${*:-nothing set}: LANGUAGE=$got, expected $wanted"
    failed=1
  fi
}

expect zh_CN
expect zh_CN LANG=C.UTF-8
expect zh_CN LANGUAGE=C LANG=C.utf8
expect zh_CN LC_ALL=C LANG=de_DE.UTF-8      # LC_ALL decides
expect zh_CN LC_ALL= LC_MESSAGES=C LANG=fr_FR
expect unset LANG=en_US.UTF-8
expect unset LC_MESSAGES=zh_TW.Big5 LANG=C
expect fr LANGUAGE=fr LANG=C.UTF-8
expect C:de LANGUAGE=C:de
exit $failed
