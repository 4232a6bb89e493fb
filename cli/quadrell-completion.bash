# bash completion for quadrell: the options until "--", numbers after -j,
# then folders and files named .jpg or .jpeg in any case.
_quadrell() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    -j | --jobs)
      COMPREPLY=($(compgen -W '1 2 4 8 16 32 64 128 256' -- "$cur"))
      return ;;
  esac
  local i options_ended=
  for ((i = 1; i < COMP_CWORD; i++)); do
    [[ ${COMP_WORDS[i]} == -- ]] && options_ended=1
  done
  if [[ -z $options_ended && $cur == -* ]]; then
    COMPREPLY=($(compgen -W '-h -n -p -q -r -j --help --version --keep-dates --dry-run
      --recursive --quiet --jobs --progress --no-progress --' -- "$cur"))
    return
  fi
  compopt -o filenames 2>/dev/null
  local IFS=$'\n'
  COMPREPLY=($(compgen -d -- "$cur"
    compgen -f -X '!*.[jJ][pP][gG]' -- "$cur"
    compgen -f -X '!*.[jJ][pP][eE][gG]' -- "$cur"))
}
complete -F _quadrell quadrell
