# complete.bash SCRIPT LINE TAIL WORD...: loads the completion SCRIPT and calls
# the function it registers for quarn++ the way bash does when TAB is pressed
# at the end of LINE: COMP_WORDS are the WORDs (the line as bash splits it, at
# blanks and at "=" and ":"), COMP_CWORD the last of them, and the arguments
# are the command, TAIL (the text readline replaces) and the word before the
# last. Prints COMPREPLY, one entry a line.
set -u
script=$1 line=$2 tail=$3
shift 3
source "$script"
spec=$(complete -p quarn++) || exit 1
function=${spec#*-F }
function=${function%% *}
COMP_WORDS=("$@")
COMP_CWORD=$(($# - 1))
COMP_LINE=$line
COMP_POINT=${#line}
COMPREPLY=(unset)
"$function" "${COMP_WORDS[0]}" "$tail" "${COMP_WORDS[COMP_CWORD - 1]}" || exit 1
for reply in "${COMPREPLY[@]}"; do
  printf '%s\n' "$reply"
done
