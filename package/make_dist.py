#!/usr/bin/env python3
"""Builds the package: the setup program (NSIS) and the zip, from one list
of the files that ship.

  make_dist.py MAKENSIS FILES SCRIPT VERSION SETUP ZIP

FILES has one line per file, its fields separated by tabs: component, path
in the install folder (backslashes), the built file, and options separated
by commas ("-" for none): "keep" when the setup must not replace one that is
already there (a settings file), "name=DEFINE" to give SCRIPT the path as
${DEFINE}.  Writes files.nsh beside FILES, with those defines and the
macros INSTALL_<component>, REMOVE_<component> and REMOVE_FOLDERS that
SCRIPT inserts; runs MAKENSIS on SCRIPT into SETUP; writes ZIP with every
file under hrx-VERSION/.
"""
import os
import subprocess
import sys
import zipfile


def read_files(path):
    files = []
    with open(path) as f:
        for line in f.read().splitlines():
            if line:
                component, install_path, source, options = line.split("\t")
                files.append((component, install_path, source, options.split(",")))
    return files


def folder_of(install_path):
    return install_path.rpartition("\\")[0]


def install_macro(component, files):
    lines = ["!macro INSTALL_%s" % component]
    folder = None
    for _, install_path, source, options in files:
        keep = "keep" in options
        if folder_of(install_path) != folder:
            folder = folder_of(install_path)
            lines.append('  SetOutPath "$INSTDIR%s"' % ("\\" + folder if folder else ""))
        name = install_path.rpartition("\\")[2]
        if keep:
            lines.append("  SetOverwrite off")
        lines.append('  File "/oname=%s" "%s"' % (name, source))
        if keep:
            lines.append("  SetOverwrite on")
    lines.append("!macroend")
    return lines


def remove_macro(component, files):
    lines = ["!macro REMOVE_%s" % component]
    lines += ['  Delete "$INSTDIR\\%s"' % install_path for _, install_path, _, _ in files]
    lines.append("!macroend")
    return lines


def folders_macro(files):
    """Removes the sub-folders, deepest first, each only when empty."""
    folders = set()
    for _, install_path, _, _ in files:
        folder = folder_of(install_path)
        while folder:
            folders.add(folder)
            folder = folder_of(folder)
    lines = ["!macro REMOVE_FOLDERS"]
    lines += ['  RMDir "$INSTDIR\\%s"' % folder for folder in sorted(folders, key=lambda f: (-f.count("\\"), f))]
    lines.append("!macroend")
    return lines


def write_macros(files, path):
    components = []
    for component, _, _, _ in files:
        if component not in components:
            components.append(component)
    lines = ["; The files of each component, made by make_dist.py."]
    for _, install_path, _, options in files:
        lines += ['!define %s "%s"' % (option[len("name="):], install_path)
                  for option in options if option.startswith("name=")]
    for component in components:
        own = [f for f in files if f[0] == component]
        lines += install_macro(component, own) + remove_macro(component, own)
    lines += folders_macro(files)
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def run_makensis(makensis, script, macros, version, setup):
    command = [makensis, "-V2", "-WX", "-DVERSION=" + version, "-DFILES=" + macros, "-DSETUP=" + setup, script]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        sys.stderr.write(result.stdout)
        sys.exit("make_dist.py: makensis failed (%d)" % result.returncode)


def write_zip(files, version, path):
    top = "hrx-%s/" % version
    temporary = path + ".part"
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as archive:
        for _, install_path, source, _ in files:
            archive.write(source, top + install_path.replace("\\", "/"))
    os.replace(temporary, path)


def main(argv):
    if len(argv) != 7:
        sys.exit(__doc__)
    makensis, files_path, script, version, setup, zip_path = argv[1:]
    files = read_files(files_path)
    macros = os.path.join(os.path.dirname(os.path.abspath(files_path)), "files.nsh")
    write_macros(files, macros)
    run_makensis(makensis, script, macros, version, setup)
    write_zip(files, version, zip_path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
