# bash completion for songuploader: commands, options, the MIDI systems, song files, and the slots of the
# keyboard that is connected (asked with `songuploader identify`, through the ports the line names).

_songuploader_slots() {
  local -a midi=()
  local i
  # The ports and MIDI system the command line names, so that the keyboard asked is the one it will use.
  for ((i = 1; i < ${#COMP_WORDS[@]} - 1; i++)); do
    case "${COMP_WORDS[i]}" in
      --api | --port | --in | --out) midi+=("${COMP_WORDS[i]}" "${COMP_WORDS[i + 1]}") ;;
      --api=* | --port=* | --in=* | --out=* | --type-22) midi+=("${COMP_WORDS[i]}") ;;
    esac
  done
  local json
  json=$(songuploader identify --json --quiet "${midi[@]}" 2>/dev/null </dev/null) || return
  json=${json#*\"slots\":[}
  json=${json%%]*}
  json=${json//\"/}
  printf '%s\n' ${json//,/ }
}

_songuploader() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local commands="ports identify list send delete convert info"
  local command="" word
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case " $commands " in *" $word "*) command=$word; break ;; esac
  done
  case "$prev" in
    --slot)
      local slots
      slots=$(_songuploader_slots)
      [[ $command == send ]] && slots+=$'\nfree'
      mapfile -t COMPREPLY < <(compgen -W "$slots" -- "$cur")
      return ;;
    --slots)
      # One slot per song, separated by commas: the slot after the last comma is completed.
      local done="" slots
      [[ $cur == *,* ]] && done=${cur%,*},
      slots=$(_songuploader_slots)
      mapfile -t COMPREPLY < <(compgen -P "$done" -W "$slots" -- "${cur##*,}")
      compopt -o nospace 2>/dev/null
      return ;;
    --api) mapfile -t COMPREPLY < <(compgen -W "alsa jack" -- "$cur"); return ;;
    -o | --output) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
    --in | --out | --port | --model | --check-timeout) return ;;
  esac
  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      mapfile -t COMPREPLY < <(compgen -W "--help --version --api --in --out --port --json --quiet" -- "$cur")
    else
      mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
    fi
    return
  fi
  local options="--api --in --out --port --json --quiet --dump --type-22 --fresh --help --"
  case "$command" in
    send) options+=" --slot --slots --yes --dry-run --check-timeout" ;;
    delete) options+=" --slot --yes" ;;
    convert) options="--output --model --json --quiet --help --" ;;
    info) options="--model --json --quiet --help --" ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
  elif [[ $command == send || $command == convert || $command == info ]]; then
    # Folders, and the files a song can be in.
    local file
    COMPREPLY=()
    while IFS= read -r file; do
      [[ -d $file || ${file,,} == *.mid || ${file,,} == *.midi || ${file,,} == *.rmi ]] && COMPREPLY+=("$file")
    done < <(compgen -f -- "$cur")
  fi
}

complete -o filenames -F _songuploader songuploader
