# Sourced by the scripts that run Windows programs: a private Wine prefix inside the build
# tree, a display (Xvfb when none is set) and one warm wineserver for the whole run.
# Needs WIN_BUILD (the cross build directory).
export WINEPREFIX="$WIN_BUILD/wineprefix"
export WINEDEBUG=-all
# winemenubuilder turns every shell link made into a desktop entry and reads the link's
# target for its icon while the run goes on; a removal right after may then find the file in
# use. The prefix is the tests' own: no desktop of a person needs those entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

wine_env_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [[ -n "${XVFB_PID:-}" ]]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}

wine_env_start() {
  if [[ -z "${DISPLAY:-}" ]]; then
    local n
    for n in $(seq 90 140); do
      if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then break; fi
    done
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 1 50); do [[ -e /tmp/.X11-unix/X$n ]] && break; sleep 0.1; done
  fi
  trap wine_env_cleanup EXIT
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    echo "Creating the Wine prefix in $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  # No window manager runs on our virtual display: windows that Wine leaves unmanaged are
  # hidden and destroyed at once, where a managed one waits two seconds for a manager's
  # answer each time. On a person's display the manager decorates them as usual.
  local unmanaged=0
  grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null && unmanaged=1
  if [[ -n "${XVFB_PID:-}" && $unmanaged == 0 ]]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w || true
  elif [[ -z "${XVFB_PID:-}" && $unmanaged == 1 ]]; then
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  wineserver -p >/dev/null 2>&1 </dev/null || true
  # Start Wine's own services now, detached from our output: started by the first test
  # instead, they would inherit its output pipe and keep CTest waiting for them.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}
