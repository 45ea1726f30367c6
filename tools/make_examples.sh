#!/usr/bin/env bash
# Rebuilds the bundled example MIDI files from their ABC sources with abc2midi
# (package abcmidi). Run after editing an .abc file in data/examples/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root/data/examples"
for abc in *.abc; do
    mid=${abc%.abc}.mid
    # -silent: no progress chatter; the output is deterministic.
    abc2midi "$abc" -o "$mid" -silent
    echo "wrote data/examples/$mid"
done
