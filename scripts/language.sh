# Sourced by scripts/run: the language the client runs under.
#
# The client's screens are Chinese, while a few of its texts follow the user's first preferred
# language (the pull-to-refresh texts). So it runs under the venue's language unless the user's
# locale already names one.

# Whether the environment names a language, read in the order the client reads it: the entries
# of the colon-separated LANGUAGE, else the first of LC_ALL, LC_MESSAGES and LANG that is set and
# not empty (the one the C library would use for messages). C and POSIX, with any codeset (the
# C.UTF-8 of a fresh Debian), name none.
kt_names_language() {
  local name
  local IFS=:
  for name in ${LANGUAGE:-}; do
    kt_is_language_name "$name" && return 0
  done
  for name in "${LC_ALL:-}" "${LC_MESSAGES:-}" "${LANG:-}"; do
    [ -n "$name" ] || continue
    kt_is_language_name "$name"
    return
  done
  return 1
}

# "language[_territory][.codeset][@modifier]" with a language of two or three letters.
kt_is_language_name() {
  local base=${1%%[.@]*}
  [[ $base =~ ^[A-Za-z]{2,3}([_-][A-Za-z0-9_-]+)?$ ]]
}

# Unless the locale names a language: LANGUAGE=zh_CN. The client chooses its texts from the
# names alone, so this works without the locale installed (a fresh Debian has only C, C.UTF-8
# and POSIX). Where zh_CN.UTF-8 is installed, LANG names it too; LC_ALL, when set, is left alone.
kt_use_venue_language() {
  kt_names_language && return 0
  export LANGUAGE=zh_CN
  if locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
    export LANG=zh_CN.UTF-8
  fi
}
