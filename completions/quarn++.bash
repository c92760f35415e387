# Bash completion for quarn++.
#
# The driver knows its own options: option words are completed from what
# `quarn++ --completion=WORD` prints, so the script does not go stale when
# options are added. Inputs and the arguments of -o and the like are file names.

# Bash splits the line at the characters of COMP_WORDBREAKS, "=" and ":" among
# them, so "-std=c++" arrives as three words and readline completes only the
# part after "=". The driver wants the whole option, which the line up to the
# cursor still has.
_quarn_xx_whole_word() {
  if [[ -n ${COMP_LINE+set} && -n ${COMP_POINT+set} ]]; then
    local line=${COMP_LINE:0:COMP_POINT}
    printf '%s' "${line##*[[:space:]]}"
  else
    printf '%s' "${COMP_WORDS[COMP_CWORD]}"
  fi
}

# Readline replaces only TAIL, the text after the last word break: cut the
# part of WHOLE in front of it off every reply.
_quarn_xx_trim_replies() {
  local whole=$1 tail=$2
  [[ $whole == *"$tail" ]] || return 0
  local lead=${whole%"$tail"} i
  [[ -n $lead ]] || return 0
  for i in "${!COMPREPLY[@]}"; do
    COMPREPLY[i]=${COMPREPLY[i]#"$lead"}
  done
}

# compgen action (-f files, -d directories) over TEXT.
_quarn_xx_names() {
  local IFS=$'\n'
  COMPREPLY=($(compgen "$1" -- "$2"))
  # Outside a completion (a script calling the function) compopt refuses.
  compopt -o filenames 2>/dev/null
  return 0
}

_quarn_xx() {
  local driver=${COMP_WORDS[0]}
  local tail=${2-${COMP_WORDS[COMP_CWORD]}}
  local prev=${COMP_WORDS[COMP_CWORD-1]}
  local cur
  cur=$(_quarn_xx_whole_word)
  COMPREPLY=()

  # The argument of an option that takes it as the next word.
  case $prev in
    -o | -MF | -MT | -MQ | -include | -imacros | -T | -specs | -Xlinker | -Xassembler | \
      -Xpreprocessor)
      _quarn_xx_names -f "$cur"
      return 0
      ;;
    -B | -I | -L | -isystem | -iquote | -idirafter | -iprefix | --sysroot)
      _quarn_xx_names -d "$cur"
      return 0
      ;;
    -x)
      local IFS=$'\n'
      COMPREPLY=($(compgen -W $'none\nc\nc-header\ncpp-output\nc++\nc++-header\nc++-cpp-output\nassembler\nassembler-with-cpp' -- "$cur"))
      return 0
      ;;
  esac

  case $cur in
    -specs=* | --sysroot=*)
      # Joined values that are names on disk: the driver has no list of them.
      local value=${cur#*=}
      if [[ $cur == --sysroot=* ]]; then
        _quarn_xx_names -d "$value"
      else
        _quarn_xx_names -f "$value"
      fi
      _quarn_xx_trim_replies "$value" "$tail"
      return 0
      ;;
    -*)
      local IFS=$'\n'
      COMPREPLY=($("$driver" --completion="$cur" 2>/dev/null))
      # An option whose value follows its "=" wants the value next, not a blank.
      if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then
        compopt -o nospace 2>/dev/null
      fi
      _quarn_xx_trim_replies "$cur" "$tail"
      return 0
      ;;
  esac

  _quarn_xx_names -f "$cur"
  _quarn_xx_trim_replies "$cur" "$tail"
  return 0
}

complete -F _quarn_xx quarn++
