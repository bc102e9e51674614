#!/usr/bin/env python3
"""Reads each line of measure_text_layout's output with expat, an ordinary XML reader, and adds
what it reads from the innermost element: its text, or the value of its attribute "a"."""
import sys
import xml.parsers.expat


def unescape(text):
    return (text.replace("\\\\", "\0").replace("\\r", "\r").replace("\\n", "\n")
            .replace("\\t", "\t").replace("\0", "\\"))


def escape(text):
    return (text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")
            .replace("\t", "\\t"))


def read(xml_text, place):
    parser = xml.parsers.expat.ParserCreate()
    found = {"text": [], "attribute": None, "depth": 0, "deepest": 0}

    def start(_name, attributes):
        found["depth"] += 1
        if found["depth"] > found["deepest"]:
            found["deepest"] = found["depth"]
            found["text"] = []
        found["attribute"] = attributes.get("a", found["attribute"])

    def end(_name):
        found["depth"] -= 1

    def characters(data):
        if found["depth"] == found["deepest"]:
            found["text"].append(data)

    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = characters
    parser.Parse(xml_text.encode("utf-8"), True)
    return found["attribute"] if place == "attribute" else "".join(found["text"])


for line in sys.stdin:
    name, place, xml_text = line.rstrip("\n").split("\t", 2)
    print(f"{name}\t{place}\t{xml_text}\t{escape(read(unescape(xml_text), place))}")
