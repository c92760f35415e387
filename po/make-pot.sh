#!/bin/sh
# make-pot.sh SOURCE_DIR OUTPUT VERSION BUG_ADDRESS [XGETTEXT]: writes the
# message template of the "quarn" text domain: every text the programs
# translate, taken from the sources and from the option catalogue (whose
# messages reach the diagnostics as data).
set -eu

source_dir=$1
output=$2
version=$3
bugs=$4
xgettext=${5:-xgettext}

work=$(mktemp -d "${TMPDIR:-/tmp}/quarn-pot.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

cd "$source_dir"

# The option catalogue keeps its messages in missing="...", warn="..." and
# unknown="..." fields; they are given to error_at and warning_at like any
# other format. One entry per message, with every line it comes from.
awk '
  /^#/ { next }
  {
    line = $0
    while (match(line, /(^|[ \t])(missing|warn|unknown)="[^"]*"/)) {
      field = substr(line, RSTART, RLENGTH)
      line = substr(line, RSTART + RLENGTH)
      sub(/^[ \t]*[a-z]*="/, "", field)
      sub(/"$/, "", field)
      if (!(field in refs)) {
        order[++count] = field
        refs[field] = ""
      }
      refs[field] = refs[field] " " FILENAME ":" FNR
    }
  }
  END {
    print "msgid \"\""
    print "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\""
    for (i = 1; i <= count; i++) {
      text = order[i]
      gsub(/\\/, "\\\\", text)
      gsub(/"/, "\\\"", text)
      print ""
      print "#:" refs[order[i]]
      print "#, gcc-internal-format"
      print "msgid \"" text "\""
      print "msgstr \"\""
    }
  }
' src/options/option-catalogue.txt > "$work/option-catalogue.po"

# optgen is a build tool: what it says is for the maintainers, in English.
find src -name '*.cc' -o -name '*.h' | grep -v '^src/options/optgen\.cc$' | LC_ALL=C sort \
  > "$work/sources"

# The diagnostic functions translate their format argument themselves, so the
# callers pass plain literals; a few local helpers hand a format on to them.
# notice_to_stream formats with printf, the others with the diagnostic printer.
diagnostic_functions='error_at:2 error_current:1 warning_at:3 warning_current:2 inform:2
  sorry_current:1 fatal_error:2 internal_error:1 internal_error_no_backtrace:1
  malformed:1 invalid_after:2 expand_suffix_spec:2'
set -- --keyword=notice_to_stream:2 --flag=notice_to_stream:2:c-format
for f in $diagnostic_functions; do
  set -- "$@" "--keyword=${f}" "--flag=${f}:gcc-internal-format"
done

# GCC-source is C with the diagnostic directives (%qs, %<...%>, %m) known to
# msgfmt -c, which then checks the translations of every flagged message.
"$xgettext" \
  --language=GCC-source \
  --from-code=UTF-8 \
  --add-comments=TRANSLATORS: \
  --keyword=_ --keyword=N_ \
  "$@" \
  --files-from="$work/sources" \
  -o "$work/sources.pot"

# The option catalogue's entries come in as a second input, keeping the
# references to the catalogue's own lines.
"$xgettext" \
  --from-code=UTF-8 \
  --package-name=quarn --package-version="$version" \
  --msgid-bugs-address="$bugs" \
  --copyright-holder="The Quarn Project" \
  -o "$work/quarn.pot" \
  "$work/sources.pot" "$work/option-catalogue.po"

sed '1s/^# SOME DESCRIPTIVE TITLE\.$/# Messages of the quarn compiler driver./' "$work/quarn.pot" > "$output"
