#!/usr/bin/env bash
# Installs what is missing, builds, writes a demo suite installation into
# demo-suite/ (once) and starts Tallyport against it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
demo="$PWD/demo-suite"
if [ ! -f "$demo/.complete" ]; then
  rm -rf "$demo"
  build/bin/make-demo-suite "$demo" --size small
  touch "$demo/.complete"
fi
# The demo installation's registry hives and per-user folder.
export XDG_CONFIG_DIRS="$demo/etc/xdg"
export XDG_CONFIG_HOME="$demo/home/.config"
export APPDATA="$demo/home/AppData/Roaming"
exec build/app/tallyport
