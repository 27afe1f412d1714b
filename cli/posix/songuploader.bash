# bash completion for songuploader: commands, options, the MIDI systems, song files, and the slots of the
# keyboard last found on the ports the line names (remembered by songuploader's own list, send, identify and
# delete; TAB never talks to the keyboard).

# The words of the line up to the cursor as the program will get them: bash splits at ":" and "=" too
# (COMP_WORDBREAKS), so "--in 24:0" arrives as "--in" "24" ":" "0"; they are joined again where no blank
# stood between them, as bash-completion's `_init_completion -n =:` does. Sets words, cword, cur and prev.
_songuploader_words() {
  local line=${COMP_LINE:0:COMP_POINT} i word rest glued
  # Without the line (a caller that set only the words), every word stood apart.
  [[ -n ${COMP_LINE+set} ]] || line="${COMP_WORDS[*]}"
  words=()
  cword=0
  for ((i = 0; i <= COMP_CWORD && i < ${#COMP_WORDS[@]}; i++)); do
    word=${COMP_WORDS[i]}
    rest=${line#"${line%%[![:space:]]*}"}
    glued=$(( ${#rest} == ${#line} ))
    line=${rest#"$word"}
    if ((i > 0 && glued)) && [[ $word =~ ^[=:]+$ || ${words[${#words[@]} - 1]} =~ [=:]$ ]]; then
      words[${#words[@]} - 1]+=$word
    else
      words+=("$word")
    fi
  done
  cword=$((${#words[@]} - 1))
  cur=${words[cword]}
  prev=${words[cword - 1]}
}

# A word as the program will get it: quotes and backslashes removed (enough for names being typed).
_songuploader_dequote() {
  local word=$1
  word=${word//\'/}
  word=${word//\"/}
  word=${word//\\/}
  printf '%s' "$word"
}

# The slot labels remembered for the ports the line names, one a line. The key is what names each
# direction, as songuploader reads it: --in/--out, else --port, else SONGUPLOADER_IN/OUT, else
# SONGUPLOADER_PORT.
_songuploader_slots() {
  local api="" in="" out="" port="" i value
  for ((i = 1; i < cword; i++)); do
    value=""
    case ${words[i]} in
      --api | --in | --out | --port) value=$(_songuploader_dequote "${words[i + 1]}") ;;
      --api=* | --in=* | --out=* | --port=*) value=$(_songuploader_dequote "${words[i]#*=}") ;;
      *) continue ;;
    esac
    case ${words[i]} in
      --api*) api=$value ;;
      --in*) in=$value ;;
      --out*) out=$value ;;
      --port*) port=$value ;;
    esac
  done
  if [[ -z $port ]]; then
    in=${in:-$SONGUPLOADER_IN}
    out=${out:-$SONGUPLOADER_OUT}
    if [[ -z $in || -z $out ]]; then port=$SONGUPLOADER_PORT; fi
  fi
  in=${in:-$port}
  out=${out:-$port}
  local file=$HOME/.cache/songuploader/slots entry key=$api$'\t'$in$'\t'$out$'\t'
  [[ $XDG_CACHE_HOME == /* ]] && file=$XDG_CACHE_HOME/songuploader/slots
  [[ -r $file ]] || return
  local -a found=()
  # Tabs split the fields, and empty ones count (the default ports): matched as a whole, not by `read`.
  while IFS= read -r entry; do
    [[ $entry == "$key"* ]] && read -ra found <<<"${entry#"$key"}"
  done <"$file"
  ((${#found[@]})) && printf '%s\n' "${found[@]}"
}

# COMPREPLY: the words of `$1` (one a line) that start with `$2`, taken as they are (never expanded).
_songuploader_offer() {
  local word
  COMPREPLY=()
  while IFS= read -r word; do
    [[ -n $word && $word == "$2"* ]] && COMPREPLY+=("${3-}$word")
  done <<<"$1"
}

_songuploader() {
  local -a words
  local cword cur prev
  _songuploader_words
  # "--port=X": the value after the "=" is what is being typed.
  if [[ $cur == --*=* ]]; then
    prev=${cur%%=*}
    cur=${cur#*=}
  fi
  cur=$(_songuploader_dequote "$cur")
  local commands="ports identify list send delete convert info"
  local command="" word
  for word in "${words[@]:1:cword-1}"; do
    case " $commands " in *" $word "*) command=$word; break ;; esac
  done
  case "$prev" in
    --slot)
      local slots
      slots=$(_songuploader_slots)
      [[ $command == send ]] && slots+=$'\nfree'
      _songuploader_offer "$slots" "$cur"
      return ;;
    --slots)
      # One slot per song, separated by commas: the slot after the last comma is completed.
      local done=""
      [[ $cur == *,* ]] && done=${cur%,*},
      _songuploader_offer "$(_songuploader_slots)" "${cur##*,}" "$done"
      compopt -o nospace 2>/dev/null
      return ;;
    --api) _songuploader_offer $'alsa\njack' "$cur"; return ;;
    -o | --output) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return ;;
    --in | --out | --port | --model | --check-timeout) return ;;
  esac
  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      _songuploader_offer $'--help\n--version\n--api\n--in\n--out\n--port\n--json\n--quiet' "$cur"
    else
      _songuploader_offer "${commands// /$'\n'}" "$cur"
    fi
    return
  fi
  local options="--api --in --out --port --json --quiet --progress --dump --type-22 --fresh --no-wait --help --"
  case "$command" in
    send) options+=" --slot --slots --yes --dry-run --check-timeout" ;;
    delete) options+=" --slot --yes" ;;
    convert) options="--output --model --json --quiet --help --" ;;
    info) options="--model --json --quiet --help --" ;;
  esac
  if [[ $cur == -* ]]; then
    _songuploader_offer "${options// /$'\n'}" "$cur"
  elif [[ $command == send || $command == convert || $command == info ]]; then
    # Folders, and the files a song can be in.
    local file
    COMPREPLY=()
    while IFS= read -r file; do
      [[ -d $file || ${file,,} == *.mid || ${file,,} == *.midi || ${file,,} == *.rmi ]] && COMPREPLY+=("$file")
    done < <(compgen -f -- "$cur")
  fi
  # Bash replaces only what follows the last ":" of the word: the part before it is not repeated.
  if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
    local colon=${cur%"${cur##*:}"} i
    for i in "${!COMPREPLY[@]}"; do COMPREPLY[i]=${COMPREPLY[i]#"$colon"}; done
  fi
}

complete -o filenames -F _songuploader songuploader
