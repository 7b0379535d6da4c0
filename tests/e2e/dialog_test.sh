#!/usr/bin/env bash
# End-to-end test of the Win32 program livrana.exe under Wine, on a virtual X display.
#
#   tests/e2e/dialog_test.sh BUILD_DIR
#
# BUILD_DIR is a Windows build (livrana.exe and livrana_dialog_probe.exe). The Wine prefix
# is $WINEPREFIX, else BUILD_DIR/wineprefix; the Wine loader is $LIVRANA_WINE, else wine.
# $LIVRANA_WM is the command line of a window manager to run on the display (openbox, for
# the guide's pictures): windows then have their frames and title bars. Screenshots go to
# BUILD_DIR/artifacts, each cut to the window it shows (frame included). Exits non-zero when
# a check fails.
set -euo pipefail

build=$(cd "${1:?usage: dialog_test.sh BUILD_DIR}" && pwd)
wine=${LIVRANA_WINE:-wine}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
artifacts=$build/artifacts
mkdir -p "$artifacts" "$WINEPREFIX"
drive_c=$WINEPREFIX/drive_c
work=$drive_c/LivranaE2E  # C:\LivranaE2E
program_pid=
wm_pid=

source "$(cd "$(dirname "$0")/../.." && pwd)/scripts/checks.sh"

# --- a display of our own -----------------------------------------------------------------
display=
for n in $(seq 90 130); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then
    display=$n
    break
  fi
done
[[ -n $display ]] || { echo "no free X display" >&2; exit 1; }
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
  [[ -n $program_pid ]] && kill "$program_pid" 2>/dev/null || true
  [[ -n $wm_pid ]] && kill "$wm_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/a:" "$WINEPREFIX/dosdevices/d:"
}
trap cleanup EXIT
export DISPLAY=:$display
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done
if [[ -n ${LIVRANA_WM:-} ]]; then
  read -ra wm <<<"$LIVRANA_WM"
  "${wm[@]}" >/dev/null 2>&1 &
  wm_pid=$!
  # The window manager announces itself on the root window once it manages the screen.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
  done
fi

# A picture of one window, cut to it: with a window manager, to the frame around it (the
# ancestor just below the root window), so that the title bar is in the picture.
shot() {
  local name=$1 window=$2 root parent
  root=$(xwininfo -root | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p')
  while :; do
    parent=$(xwininfo -tree -id "$window" | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    [[ -z $parent || $parent == "$root" ]] && break
    window=$parent
  done
  import -window "$window" "$artifacts/$name.png"
}

# --- data folders -------------------------------------------------------------------------
# A record of n bytes: spaces, with texts at offsets ("offset:text" pairs).
record() {
  local n=$1 rec
  shift
  rec=$(printf "%-${n}s" "")
  local pair offset text
  for pair in "$@"; do
    offset=${pair%%:*}
    text=${pair#*:}
    rec="${rec:0:offset}${text}${rec:offset+${#text}}"
  done
  printf '%s' "$rec"
}
invoice_before() { record 400 "0:0" "52:ABCDEFGHIJ" "80:RSTUVWXYZ"; }
invoice_after() { record 400 "0:0" "80:ABCDEFGHI" "127:RSTUVWXYZ  "; }

# Companies ACME000001, ACME000002 and ACME000001X, each with one invoice of 1995 that
# qualifies for conversion.
make_data() {
  local dir=$1 code
  rm -rf "$dir"
  mkdir -p "$dir"
  : >"$dir/F00R0.DAT"
  for code in ACME000001 ACME000002 ACME000001X; do
    record 1000 "0:$code" >>"$dir/F00R0.DAT"
    mkdir -p "$dir/R00/$code"
    invoice_before >"$dir/R00/$code/L50A1995.DAT"
  done
}

make_data "$work/Dados"              # C:\LivranaE2E\Dados, the folder typed in the dialog
make_data "$drive_c/Vemo/Vuk"        # the start folder: must be left as it is
start_sum=$(cd "$drive_c/Vemo/Vuk" && find . -type f -print0 | sort -z | xargs -0 md5sum)

# --- driving the program ------------------------------------------------------------------
probe() { "$wine" "$build/livrana_dialog_probe.exe" "$@" | tr -d '\r' | iconv -f CP1252 -t UTF-8; }

dialog_window() {
  # The dialog and the 0 x 0 main window share the title; the dialog is the larger one.
  local w
  for w in $(xdotool search --sync --onlyvisible --name '^Livrana 4\.38$'); do
    if [[ $(xdotool getwindowgeometry "$w") != *"Geometry: 1x1"* ]]; then
      echo "$w"
      return
    fi
  done
}

focus_dialog() { xdotool windowfocus --sync "$(dialog_window)"; }

# Starts livrana.exe in the unix folder $1 and waits for the dialog.
start_program() {
  (cd "$1" && exec "$wine" "$build/livrana.exe") &
  program_pid=$!
  timeout 60 bash -c "$(declare -f dialog_window); dialog_window" >/dev/null
  sleep 0.5
}

# Waits (at most 30 s) for the program to end; its exit code goes to program_rc.
wait_program() {
  program_rc=running
  for _ in $(seq 300); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$program_pid" 2>/dev/null && return
  program_rc=0
  wait "$program_pid" || program_rc=$?
  program_pid=
}

# Waits for a message box whose caption matches $1 and gives "caption | text".
message_box() {
  timeout 60 xdotool search --sync --onlyvisible --name "$1" >/dev/null || true
  sleep 0.3
  probe boxes || true
}

close_message_box() {
  xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "$1" | head -1)"
  xdotool key Return
  for _ in $(seq 50); do
    xdotool search --onlyvisible --name "$1" >/dev/null || break
    sleep 0.1
  done
}

# --- the template -------------------------------------------------------------------------
check "BOX105 as compiled into livrana.exe" \
  "$(cat "$(dirname "$0")/box105_template.txt")" \
  "$(probe template)"

# --- a run: start on C:, type a folder and a 12-character company code, convert -------------
start_program "$drive_c"
check "title and controls at start (the folder field shows C:\\Vemo\\Vuk)" \
  "title=Livrana 4.38
250 text=&Pasta:
150 text=C:\\Vemo\\Vuk
251 text=&Empresa:
151 text=
200 text=Status:
100 text=
300 text=&Converter Versões
2 text=&Fechar
500 text=
350 text=
400 text=" "$(probe controls)"
check "the folder field has the focus" 150 "$(probe focus)"
shot dialog "$(dialog_window)"

focus_dialog
xdotool type --delay 30 'C:\LivranaE2E\Dados'
xdotool key Return
sleep 0.5
check "Enter moves from the folder field to the company field" 151 "$(probe focus)"
check "the typed folder is current" 'C:\LivranaE2E\Dados' "$(probe text 150)"
xdotool type --delay 30 'ACME000001XY'
xdotool key Return
sleep 0.5
check "Enter moves from the company field to the conversion button" 300 "$(probe focus)"
xdotool key Return  # a focused push button takes the Enter key

check "the step's count message" "Conversão 4.34 | NF convertidas: 1" \
  "$(message_box '^Convers.*4\.34$')"
shot count-message "$(xdotool search --onlyvisible --name '^Convers.*4\.34$' | head -1)"
close_message_box '^Convers.*4\.34$'
check "the end message" "Livrana | A conversão foi realizada." "$(message_box '^Livrana$')"
shot end-message "$(xdotool search --onlyvisible --name '^Livrana$' | head -1)"
close_message_box '^Livrana$'
check "the status line is cleared after the run" "" "$(probe text 100)"

dados=$work/Dados
check "ACME000001 (the first 10 characters typed) is converted" \
  "$(invoice_after)" "$(cat "$dados/R00/ACME000001/L50A1995.DAT")"
check "ACME000002 is left alone" "$(invoice_before)" "$(cat "$dados/R00/ACME000002/L50A1995.DAT")"
check "ACME000001X (not the filter) is left alone" "$(invoice_before)" \
  "$(cat "$dados/R00/ACME000001X/L50A1995.DAT")"
check "the phone table is built in the typed folder" yes "$([[ -f $dados/FTEL1.DAT ]] && echo yes || echo no)"
check "the start folder is untouched" "$start_sum" \
  "$(cd "$drive_c/Vemo/Vuk" && find . -type f -print0 | sort -z | xargs -0 md5sum)"

# A folder of an older version of the product (fiscal files of 200 positions): the dialog
# says which layout it found and what brings it up to date, and converts nothing.
antiga=$work/Antiga
make_data "$antiga"
record 200 "0:1" >"$antiga/R00/ACME000001/L501995.DAT"
antiga_sum=$(cd "$antiga" && find . -type f -print0 | sort -z | xargs -0 md5sum)
focus_dialog
xdotool key alt+p
sleep 0.3
xdotool key Home shift+End
xdotool type --delay 30 'C:\LivranaE2E\Antiga'
xdotool key Return
sleep 0.5
xdotool key Return
sleep 0.5
xdotool key Return  # the conversion button
check "a folder in an older layout is named in a message box" \
  "Livrana | A pasta de dados ainda não está no layout atual (arquivos fiscais" \
  "$(message_box '^Livrana$' | head -1 | cut -b1-77)"
shot older-layout "$(xdotool search --onlyvisible --name '^Livrana$' | head -1)"
close_message_box '^Livrana$'
check "nothing of the older folder is converted" "$antiga_sum" \
  "$(cd "$antiga" && find . -type f -print0 | sort -z | xargs -0 md5sum)"

# A typed folder that does not exist: the field shows the real current folder again.
focus_dialog
xdotool key alt+p  # the label's mnemonic puts the focus in the folder field
sleep 0.3
check "Alt+P moves to the folder field" 150 "$(probe focus)"
xdotool key Home shift+End
xdotool type --delay 30 'C:\LivranaE2E\NaoExiste'
xdotool key Tab
sleep 0.5
check "a folder that does not exist is replaced by the current one" \
  'C:\LivranaE2E\Antiga' "$(probe text 150)"

focus_dialog
xdotool key Escape
wait_program
check "Escape ends the program with exit code 0" 0 "$program_rc"

# --- the start folder ---------------------------------------------------------------------
mkdir -p "$work/DriveA" "$work/DriveD"
ln -sfn "$work/DriveA" "$WINEPREFIX/dosdevices/a:"
ln -sfn "$work/DriveD" "$WINEPREFIX/dosdevices/d:"
start_program "$work/DriveA"
check "started on drive A:, the program goes to C:\\Vemo\\Vuk" 'C:\Vemo\Vuk' "$(probe text 150)"
focus_dialog
xdotool key Escape
wait_program
check "exit code 0" 0 "$program_rc"
start_program "$work/DriveD"
check "started on drive D:, the program stays where it started" 'D:\' "$(probe text 150)"
focus_dialog
xdotool key Escape
wait_program
check "exit code 0" 0 "$program_rc"

echo "dialog end to end: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
