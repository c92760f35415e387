#!/bin/sh
# check-man-options.sh HELP PAGE: every option that the --help text HELP lists
# must head a tagged paragraph of the rendered manual page PAGE (plain text).
# Prints the options that do not and fails; fails too when HELP lists none.
awk '
  FNR == 1 { file++ }
  # --help: an option line starts with two blanks and a dash; the name ends
  # where the placeholder of its argument begins.
  file == 1 && /^  -/ {
    name = $1
    sub(/[<{].*/, "", name)
    names[++count] = name
    next
  }
  # The page: a paragraph tag sits at the indentation of the option list and
  # ends at the first run of blanks; several forms are separated by ", ".
  file == 2 && /^       -/ {
    tag = substr($0, 8)
    sub(/  .*/, "", tag)
    n = split(tag, forms, ", ")
    for (i = 1; i <= n; i++) {
      form = forms[i]
      sub(/ .*/, "", form)
      tags[form] = 1
    }
  }
  function listed(name,   form, next_char) {
    for (form in tags) {
      if (form == name)
        return 1
      if (index(form, name) != 1)
        continue
      next_char = substr(form, length(name) + 1, 1)
      if (name ~ /[=,]$/ || next_char == "=")
        return 1
    }
    return 0
  }
  END {
    if (count == 0) {
      print "no options in the --help text"
      exit 1
    }
    missing = 0
    for (i = 1; i <= count; i++)
      if (!listed(names[i])) {
        print "not in the manual page: " names[i]
        missing = 1
      }
    exit missing
  }
' "$1" "$2"
