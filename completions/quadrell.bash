# bash completion for quadrell: the options until "--", numbers as the
# value of -j and --jobs in each of their forms (-j N, -jN, -rj N, --jobs N,
# --jobs=N, and --jobs shortened to --job), any file as the value of
# --journal and --undo, then folders and files named .jpg or .jpeg in any
# case.
_quadrell() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local jobs='1 2 4 8 16 32 64 128 256'
  local short='^-[hnpqr]*j$' long='^--jobs?$'
  local i options_ended=
  for ((i = 1; i < COMP_CWORD; i++)); do
    [[ ${COMP_WORDS[i]} == -- ]] && options_ended=1
  done
  if [[ -z $options_ended ]] && _quadrell_jobs; then
    return
  fi
  if [[ -z $options_ended && $prev =~ ^--(jou(r(n(al?)?)?)?|u(n(do?)?)?)$ ]]; then
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
    return
  fi
  if [[ -z $options_ended && $cur == -* ]]; then
    COMPREPLY=($(compgen -W '-h -n -p -q -r -j --help --version --keep-dates --dry-run
      --recursive --quiet --jobs --progress --no-progress --journal --undo --' -- "$cur"))
    return
  fi
  compopt -o filenames 2>/dev/null
  local IFS=$'\n'
  COMPREPLY=($(compgen -d -- "$cur"
    compgen -f -X '!*.[jJ][pP][gG]' -- "$cur"
    compgen -f -X '!*.[jJ][pP][eE][gG]' -- "$cur"))
}

# The value of -j or --jobs, when the word being completed is one;
# cur, prev, jobs, short and long are _quadrell's.
_quadrell_jobs() {
  # Where "=" is in COMP_WORDBREAKS, as it is by default, bash splits
  # "--jobs=4" into "--jobs", "=" and "4", and completes what follows "=".
  if [[ $cur == = && $prev =~ $long ]]; then
    COMPREPLY=($(compgen -W "$jobs"))
  elif [[ $prev == = && ${COMP_WORDS[COMP_CWORD - 2]} =~ $long ]] ||
    [[ $prev =~ $short || $prev =~ $long ]]; then
    COMPREPLY=($(compgen -W "$jobs" -- "$cur"))
  elif [[ $cur =~ ^(--jobs?=|-[hnpqr]*j)([0-9]*)$ && $cur != -j ]]; then
    COMPREPLY=($(compgen -P "${BASH_REMATCH[1]}" -W "$jobs" -- "${BASH_REMATCH[2]}"))
  else
    return 1
  fi
}
complete -F _quadrell quadrell
