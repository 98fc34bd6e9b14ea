#!/usr/bin/env python3
"""Checks the add-on.xml of an unpacked keywatch add-on package.

    check-add-on-xml.py PACKAGE_DIR [ADD_ON_XML]

ADD_ON_XML defaults to PACKAGE_DIR/add-on.xml. It must be well-formed XML
whose root is <SimBase.Document Type="AddOnXml" version="4,0" id="add-on">,
holding one <AddOn.Name> keywatch, one non-empty <AddOn.Description> and one
<AddOn.Component> with <Category> Gauges and a <Path> relative to the package
that names a folder holding keywatch_x64.dll. Prints one FAIL line per problem
and exits 1 on any.
"""
import os
import sys
import xml.etree.ElementTree as ET


def texts(parent, tag):
    return [(e.text or "").strip() for e in parent.findall(tag)]


def check(package, path):
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError) as e:
        return [f"{path} is not well-formed XML: {e}"]
    problems = []
    if root.tag != "SimBase.Document":
        problems.append(f"the root element is <{root.tag}>, not <SimBase.Document>")
    for attribute, value in (("Type", "AddOnXml"), ("version", "4,0"), ("id", "add-on")):
        if root.get(attribute) != value:
            problems.append(f'{attribute}="{root.get(attribute)}", expected {attribute}="{value}"')
    if texts(root, "AddOn.Name") != ["keywatch"]:
        problems.append(f"AddOn.Name is {texts(root, 'AddOn.Name')}, expected one 'keywatch'")
    descriptions = texts(root, "AddOn.Description")
    if len(descriptions) != 1 or not descriptions[0]:
        problems.append("there must be one AddOn.Description, not empty")
    components = root.findall("AddOn.Component")
    if len(components) != 1:
        problems.append(f"{len(components)} AddOn.Component elements, expected one")
    for component in components:
        if texts(component, "Category") != ["Gauges"]:
            problems.append(f"Category is {texts(component, 'Category')}, expected one 'Gauges'")
        paths = texts(component, "Path")
        if len(paths) != 1 or not paths[0]:
            problems.append("the component needs one Path")
            continue
        relative = paths[0].replace("\\", "/")
        if os.path.isabs(relative) or ":" in relative or ".." in relative.split("/"):
            problems.append(f"Path {paths[0]} does not stay inside the package")
        elif not os.path.isfile(os.path.join(package, relative, "keywatch_x64.dll")):
            problems.append(f"Path {paths[0]} names no folder of the package holding keywatch_x64.dll")
    return problems


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    package = sys.argv[1]
    path = sys.argv[2] if len(sys.argv) == 3 else os.path.join(package, "add-on.xml")
    problems = check(package, path)
    for problem in problems:
        print(f"FAIL: add-on.xml: {problem}")
    if not problems:
        print(f"add-on.xml: a keywatch gauge package ({path})")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
