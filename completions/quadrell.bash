# bash completion for quadrell, on bash-completion's helpers: the options
# until "--"; numbers as the value of -j and --jobs in each of their forms
# (-j N, -jN, -rj N, --jobs N, --jobs=N, and --jobs shortened to --job);
# any file after --journal and --undo; folder names after --exclude and
# patterns after --include; then folders and files named .jpg or .jpeg.
# Names are taken whole, a space or a quote in them included (_filedir).
_quadrell() {
  local cur prev words cword split
  _init_completion -s || return

  local jobs='1 2 4 8 16 32 64 128 256' i
  for ((i = 1; i < cword; i++)); do
    if [[ ${words[i]} == -- ]]; then
      _quadrell_paths
      return
    fi
  done

  case $prev in
    -j | -[hnpqrV]*j | --job | --jobs)
      COMPREPLY=($(compgen -W "$jobs" -- "$cur"))
      return
      ;;
    --jou | --jour | --journ | --journa | --journal | --u | --un | --und | --undo)
      _filedir
      return
      ;;
    --e | --ex | --exc | --excl | --exclu | --exclud | --exclude)
      _filedir -d
      return
      ;;
    --i | --in | --inc | --incl | --inclu | --includ | --include)
      # Quoted, so that the shell hands the pattern over as it is.
      COMPREPLY=($(compgen -W "\\'*.jfif\\' \\'*.jpe\\'" -- "$cur"))
      return
      ;;
  esac
  $split && return

  if [[ $cur =~ ^(-[hnpqrV]*j)([0-9]*)$ && $cur != -j ]]; then
    COMPREPLY=($(compgen -P "${BASH_REMATCH[1]}" -W "$jobs" -- "${BASH_REMATCH[2]}"))
    return
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '-h -V -n -p -q -r -j --help --version --keep-dates --dry-run
      --recursive --quiet --jobs --check --json --exclude --include --progress --no-progress
      --journal --undo --' -- "$cur"))
    [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
    return
  fi
  _quadrell_paths
} &&
  complete -F _quadrell quadrell

# Folders, and files named .jpg or .jpeg in any case: _filedir's names,
# filtered here, since its own filter (_filedir EXT) finds no folder once a
# quoted space is typed.
_quadrell_paths() {
  _filedir
  local name kept=()
  for name in ${COMPREPLY[@]+"${COMPREPLY[@]}"}; do
    if [[ -d ${name/#\~/$HOME} || ${name,,} == *.jp?(e)g ]]; then kept+=("$name"); fi
  done
  COMPREPLY=(${kept[@]+"${kept[@]}"})
}
