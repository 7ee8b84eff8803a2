# bash completion for tarvolin-cli: its options, the values of --mode, and folders for SOURCE and
# OUTPUT. Plain bash, so that it works without the bash-completion helpers loaded.
_tarvolin_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]} word
  # After "--" every argument is a folder, even one that starts with a dash.
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    if [[ $word == -- ]]; then
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
    fi
  done
  # bash splits "--mode=full" at the "=": the words are then "--mode", "=" and "full".
  if [[ $cur == = ]]; then
    cur=
  elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi
  case $prev in
    --mode)
      mapfile -t COMPREPLY < <(compgen -W 'changed-only full-replacement' -- "$cur")
      return
      ;;
    --also)
      mapfile -t COMPREPLY < <(compgen -W 'avif' -- "$cur")
      return
      ;;
    -j | --jobs)
      COMPREPLY=()  # a number
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    local options='--mode --recursive --jobs --quiet --dry-run --skip-unchanged --also --json --help --version --'
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
  else
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
  fi
}
complete -o filenames -F _tarvolin_cli tarvolin-cli
