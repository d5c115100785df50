"""Fills the finished translations of a .ts file from a table kept beside it (LANG.tsv: source
text, tab, translation; one per line, a line break in a text written as \\n), leaving texts
the table lacks unfinished. Run after
`cmake --build build --target update_translations`:

    python3 translations/fill.py translations/brivet_de.ts translations/de.tsv
"""

import sys
import xml.etree.ElementTree as ElementTree


def main(ts_path, table_path):
    table = {}
    with open(table_path, encoding="utf-8") as lines:
        for line in lines:
            if line.strip() and not line.startswith("#"):
                source, translation = line.rstrip("\n").replace("\\n", "\n").split("\t")
                table[source] = translation
    tree = ElementTree.parse(ts_path)
    missing = []
    for message in tree.iter("message"):
        source = message.findtext("source")
        translation = message.find("translation")
        if source in table:
            translation.text = table[source]
            translation.attrib.pop("type", None)
        else:
            translation.set("type", "unfinished")
            missing.append(source)
    tree.write(ts_path, encoding="utf-8", xml_declaration=True)
    for source in missing:
        print(f"not translated: {source}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
