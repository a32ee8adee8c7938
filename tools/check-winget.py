"""Checks the winget manifests that ./release wrote to DIST/winget: the three files winget looks
for, the fields it requires, one package and version in all three, and every installer in DIST
listed at its address under URL with its own SHA-256. Usage: check-winget.py DIST URL"""
import glob
import hashlib
import os
import re
import sys

import yaml

PACKAGE = "Tarnwell.Qelvaro"
SHARED = ["PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"]
FILES = {  # ManifestType: the file's name and the fields it must have
    "version": (PACKAGE + ".yaml", SHARED + ["DefaultLocale"]),
    "defaultLocale": (PACKAGE + ".locale.en-US.yaml",
                      SHARED + ["PackageLocale", "Publisher", "PackageName", "License",
                                "ShortDescription"]),
    "installer": (PACKAGE + ".installer.yaml", SHARED + ["Installers"]),
}
INSTALLER = {"Architecture": r"x64|x86", "InstallerType": r"msi|nullsoft", "Scope": r"user",
             "InstallerUrl": r"https?://\S+", "InstallerSha256": r"[0-9A-Fa-f]{64}",
             "ProductCode": r"\S.*"}


def manifests(dist):
    """Each manifest by its type, and what is wrong with its fields."""
    found, loaded = [], {}
    for kind, (name, required) in FILES.items():
        path = os.path.join(dist, "winget", name)
        if not os.path.exists(path):
            found.append("missing: winget/" + name)
            continue
        # As winget reads them: every value a string (a version 3.10 is not 3.1).
        with open(path, encoding="utf-8") as text:
            manifest = loaded[kind] = yaml.load(text, Loader=yaml.BaseLoader)
        found += ["%s: no %s" % (name, field) for field in required if not manifest.get(field)]
        expected = dict(loaded.get("version", manifest), ManifestType=kind,
                        PackageIdentifier=PACKAGE)
        found += ["%s: %s is %r" % (name, field, manifest.get(field)) for field in SHARED
                  if manifest.get(field) != expected.get(field)]
    return loaded, found


def installers(dist, url, listed):
    """What is wrong with the installers listed, and any installer in DIST that is not."""
    found, named = [], set()
    folder = url.rstrip("/") + "/"
    for installer in listed:
        address = str(installer.get("InstallerUrl"))
        found += ["installer %s: %s is %r" % (address, field, installer.get(field))
                  for field, pattern in INSTALLER.items()
                  if not re.fullmatch(pattern, str(installer.get(field, "")))]
        name = address[len(folder):]
        path = os.path.join(dist, name)
        if not address.startswith(folder) or "/" in name or not os.path.isfile(path):
            found.append("installer %s: no file of that name published in %s" % (address, url))
            continue
        named.add(name)
        digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
        if str(installer.get("InstallerSha256")).lower() != digest:
            found.append("installer %s: SHA-256 %s, the file's %s" %
                         (name, installer.get("InstallerSha256"), digest))
    shipped = {os.path.basename(path) for pattern in ("*-setup.exe", "*.msi")
               for path in glob.glob(os.path.join(dist, pattern))}
    return found + ["installer %s: not listed" % name for name in sorted(shipped - named)]


if __name__ == "__main__":
    dist, url = sys.argv[1:3]
    loaded, found = manifests(dist)
    found += installers(dist, url, loaded.get("installer", {}).get("Installers") or [])
    for problem in found:
        print("WINGET:", problem)
    sys.exit(1 if found else 0)
