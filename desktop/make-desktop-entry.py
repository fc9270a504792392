#!/usr/bin/env python3
"""Writes the program's desktop entry from the language packs' catalogs.

    make-desktop-entry.py <catalog folder> <output.desktop>

The entry's name, generic name and comment, and the names of its three
actions, are the catalogs' texts: English is the default, every other
catalog in the folder gives its translated keys (Name[de]=...). The actions
start the program with the switches that the desktop's autoplay handlers use.
"""
import pathlib
import sys

# Placeholders the texts may hold, as the program fills them.
PLACEHOLDERS = {"%IMPORTANTDTCS%": "CD/DVD"}

ENTRY_KEYS = [
    ("Name", "CKyrell.Desktop.Name"),
    ("GenericName", "CKyrell.Desktop.GenericName"),
    ("Comment", "CKyrell.Desktop.Comment"),
]
# Action id, switches, text key.
ACTIONS = [
    ("burn", "-autoplay", "CKyrell.Autoplay.BurnDisc"),
    ("copy", "-autoplay -copy", "CKyrell.Autoplay.CopyDisc"),
    ("rip", "-autoplay -rip", "CKyrell.Autoplay.RipAudioCD"),
]
# The desktop offers the program for blank discs, audio CDs and data discs.
MIME_TYPES = [
    "x-content/blank-cd",
    "x-content/blank-dvd",
    "x-content/audio-cdda",
    "x-content/video-dvd",
    "x-content/software",
]


ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\"}


def unquote(text):
    body, out, i = text.strip()[1:-1], [], 0
    while i < len(body):
        if body[i] == "\\" and i + 1 < len(body):
            out.append(ESCAPES.get(body[i + 1], body[i + 1]))
            i += 2
        else:
            out.append(body[i])
            i += 1
    return "".join(out)


def read_catalog(path):
    """The texts of a gettext catalog by key (single and continued lines)."""
    texts = {}
    key = None
    field = None
    for line in path.read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if line.startswith("msgid "):
            key, field = unquote(line[6:]), "id"
        elif line.startswith("msgstr "):
            texts[key] = unquote(line[7:])
            field = "str"
        elif line.startswith('"') and field == "id":
            key += unquote(line)
        elif line.startswith('"') and field == "str":
            texts[key] += unquote(line)
    texts.pop("", None)
    return texts


def fill(text):
    for placeholder, value in PLACEHOLDERS.items():
        text = text.replace(placeholder, value)
    return text


def localized(lines, field, key, english, translations):
    lines.append(f"{field}={fill(english[key])}")
    for language, texts in translations:
        if key in texts:
            lines.append(f"{field}[{language}]={fill(texts[key])}")


def main():
    folder, output = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    english = read_catalog(folder / "en.po")
    translations = [(p.stem, read_catalog(p)) for p in sorted(folder.glob("*.po")) if p.stem != "en"]
    lines = ["[Desktop Entry]", "Type=Application", "Version=1.4"]
    for field, key in ENTRY_KEYS:
        localized(lines, field, key, english, translations)
    lines += [
        "Exec=orbweave",
        "TryExec=orbweave",
        "Icon=com.korvane.Orbweave",
        "Terminal=false",
        "StartupNotify=true",
        "Categories=AudioVideo;DiscBurning;",
        "Keywords=CD;DVD;burn;copy;rip;",
        "MimeType=" + "".join(t + ";" for t in MIME_TYPES),
        "Actions=" + "".join(a[0] + ";" for a in ACTIONS),
    ]
    for action, switches, key in ACTIONS:
        lines += ["", f"[Desktop Action {action}]"]
        localized(lines, "Name", key, english, translations)
        lines.append(f"Exec=orbweave {switches}")
    output.write_text("\n".join(lines) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
