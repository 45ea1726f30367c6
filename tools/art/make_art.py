#!/usr/bin/python3
"""Rebuilds the program's artwork: the five dance sets (data/dance), the
window backdrop, the picture buttons and the icon (data/art), and the
manual's picture of the window (data/manual/window.png).

    /usr/bin/python3 tools/art/make_art.py [--data DIR] [--preview DIR]

--preview also writes contact sheets of each dance set and a picture of the
window, for looking at the result.
"""
import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

try:
    import PIL  # noqa: F401
except ImportError:
    sys.exit("make_art: needs Pillow for /usr/bin/python3 (Debian package python3-pil, see scripts/setup)")

import compose  # noqa: E402
import dance_sets  # noqa: E402
import window_art  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description="rebuild the dance sets, buttons, backdrop and icon")
    parser.add_argument("--data", default=os.path.join(HERE, "..", "..", "data"), help="the data folder")
    parser.add_argument("--preview", help="folder for contact sheets")
    args = parser.parse_args()
    data = os.path.abspath(args.data)
    for folder in dance_sets.write_sets(data):
        print("make_art: wrote", os.path.relpath(folder, data))
    window_art.write_window_art(data)
    print("make_art: wrote art")
    # the manual's picture of the window, with the idol dancing
    name, *tops = compose.SETS[0]
    dancer = compose.compose(compose.load_set(os.path.join(data, "dance", name)), tops, (0, 4, 2, 0, 2))
    os.makedirs(os.path.join(data, "manual"), exist_ok=True)
    window_art.window_picture(data, dancer).save(os.path.join(data, "manual", "window.png"), optimize=True)
    print("make_art: wrote manual/window.png")
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for name, *tops in compose.SETS:
            compose.contact_sheet(data, name, tops, os.path.join(args.preview, name + ".png"))
        window_art.preview(data, os.path.join(args.preview, "window.png"))
        print("make_art: previews in", args.preview)


if __name__ == "__main__":
    main()
