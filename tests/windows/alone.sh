# What the tests of a console of the program's own share; sourced.

# The Wine loader that starts EXE alone in its console, as Explorer does:
# Wine's 32-bit loader starts a 64-bit program from a process of its own,
# which shares the console; the 64-bit loader starts it alone.
loader_alone() {  # EXE
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  if [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' ')" = 8664 ] && [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  else
    echo wine
  fi
}

# Waits until COMMAND succeeds, for TICKS fifths of a second at most;
# fails if it never does. A wait that may well end so says `|| true`.
wait_until() {  # TICKS COMMAND...
  ticks=$1 && shift
  i=0
  until "$@"; do
    [ $i != "$ticks" ] || return 1
    sleep 0.2 && i=$((i + 1))
  done
}

# Runs COMMAND in a terminal of its own (through script), typing what comes
# on standard input, into shown.txt; leaves its exit status in the file
# status, then marks its end with the file ended. The program takes the
# shell's place in the terminal: Ctrl+C reaches everything in it, and a
# shell such as dash would end on it before it could mark anything.
in_terminal() {  # COMMAND
  s=0
  timeout 120 script -qec "exec $1" /dev/null >shown.txt 2>&1 || s=$?
  echo "$s" >status && touch ended
}
