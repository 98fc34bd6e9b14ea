#!/usr/bin/env python3
"""Checks the add-on.xml of an unpacked keywatch add-on package.

    check-add-on-xml.py PACKAGE_DIR [ADD_ON_XML]

ADD_ON_XML defaults to PACKAGE_DIR/add-on.xml. It must be well-formed XML
whose root is <SimBase.Document Type="AddOnXml" version="4,0" id="add-on">,
holding one <AddOn.Name> keywatch, one non-empty <AddOn.Description> and two
<AddOn.Component> elements, each with a <Path> relative to the package:

- <Category> DLL, the module the simulator loads at its own start: its Path
  names the file keywatch_x64.dll of the Gauges component's folder (one
  file, so one module and one log whichever way it is loaded), with no
  <DLLType> (keywatch's DLLStart takes no argument) and no start or stop
  name other than DLLStart and DLLStop;
- <Category> Gauges, the gauge folder panels find the gauge in: its Path
  names a folder holding keywatch_x64.dll.

Prints one FAIL line per problem and exits 1 on any.
"""
import os
import sys
import xml.etree.ElementTree as ET

MODULE = "keywatch_x64.dll"


def texts(parent, tag):
    return [(e.text or "").strip() for e in parent.findall(tag)]


def component_path(component, problems):
    """The component's one Path, with / separators, or None when it has none
    or it leads outside the package."""
    paths = texts(component, "Path")
    if len(paths) != 1 or not paths[0]:
        problems.append("the component needs one Path")
        return None
    relative = paths[0].replace("\\", "/")
    if os.path.isabs(relative) or ":" in relative or ".." in relative.split("/"):
        problems.append(f"Path {paths[0]} does not stay inside the package")
        return None
    return relative


def same_file(a, b):
    """Whether two package paths name one file, as Windows compares them."""
    return os.path.normpath(a).lower() == os.path.normpath(b).lower()


def check_gauges(package, component, problems):
    """The folder's keywatch_x64.dll as a package path, or None."""
    relative = component_path(component, problems)
    if relative is None:
        return None
    if not os.path.isfile(os.path.join(package, relative, MODULE)):
        problems.append(f"Path {texts(component, 'Path')[0]} names no folder of the package holding {MODULE}")
        return None
    return os.path.join(relative, MODULE)


def check_dll(package, component, gauge_module, problems):
    relative = component_path(component, problems)
    if relative is not None:
        written = texts(component, "Path")[0]
        if not os.path.isfile(os.path.join(package, relative)):
            problems.append(f"the DLL component's Path {written} names no file of the package")
        elif gauge_module is not None and not same_file(relative, gauge_module):
            problems.append(f"the DLL component's Path {written} is not the Gauges component's "
                            f"{MODULE}: two files would be two modules, each with a log of its own")
    for kind in texts(component, "DLLType"):
        problems.append(f"DLLType {kind}: keywatch's DLLStart takes no argument; leave DLLType out")
    for tag, entry in (("DLLStartName", "DLLStart"), ("DLLStopName", "DLLStop")):
        for name in texts(component, tag):
            if name != entry:
                problems.append(f"{tag} {name}: keywatch's entry point is {entry}")


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

    by_category = {"DLL": [], "Gauges": []}
    for component in root.findall("AddOn.Component"):
        category = texts(component, "Category")
        if len(category) == 1 and category[0] in by_category:
            by_category[category[0]].append(component)
        else:
            problems.append(f"Category is {category}, expected one 'DLL' or 'Gauges'")
    for category, role in (("DLL", "loaded at the simulator's start"),
                           ("Gauges", "the folder panels find the gauge in")):
        if len(by_category[category]) != 1:
            problems.append(f"{len(by_category[category])} {category} components, expected one ({role})")
    gauge_module = None
    for component in by_category["Gauges"][:1]:
        gauge_module = check_gauges(package, component, problems)
    for component in by_category["DLL"][:1]:
        check_dll(package, component, gauge_module, problems)
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
        print(f"add-on.xml: a keywatch package, its DLL component and gauge folder one file ({path})")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
