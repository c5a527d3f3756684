#!/usr/bin/python3
"""ynbpack winget: the three manifests validated against the package manager's
schemas and read back field by field; the refusals of what they cannot hold.
With a single-file setup.exe, a setup.exe of four files and a prebuilt
setup.exe that holds no product, the installer manifest of the single file:
an exe, not a zip; the others are refused.
  ynbpack-winget.py YNBPACK SOURCE_DIR SCHEMA_DIR [SINGLE_SETUP FOUR_FILE_SETUP STUB]"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

import jsonschema
import yaml

ynbpack, src, schemas = sys.argv[1:4]
programs = sys.argv[4:7]
demo = os.path.join(src, "product", "demo")
work = tempfile.mkdtemp()
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(*args):
    return subprocess.run([ynbpack, "winget", *args], capture_output=True, text=True)


def make_zip(name, members):
    path = os.path.join(work, name)
    with zipfile.ZipFile(path, "w") as z:
        for member in members:
            z.writestr(member, b"MZ" + member.encode())
    return path


def product(info):
    """A copy of the demo product with product.txt replaced (None: without one)."""
    path = tempfile.mkdtemp(dir=work)
    for name in ("setup.cfg", "keys.txt", "setup.txt", "license.txt", "manifest.txt"):
        shutil.copy(os.path.join(demo, name), path)
    if info is not None:
        with open(os.path.join(path, "product.txt"), "w", encoding="utf-8") as f:
            f.write("".join(f"{k}={v}\n" for k, v in info.items()))
    return path


def validated(out, kind, name):
    """The manifest, checked against its schema."""
    with open(os.path.join(out, name), encoding="utf-8") as f:
        manifest = yaml.safe_load(f)
    with open(os.path.join(schemas, f"manifest.{kind}.1.28.0.json"), encoding="utf-8") as f:
        schema = json.load(f)
    errors = list(jsonschema.validators.validator_for(schema)(schema).iter_errors(manifest))
    check(not errors, f"{name} against its schema: {[e.message for e in errors]}")
    return manifest


def expect_refusal(what, part, *args):
    out = os.path.join(work, "refused")
    result = run(args[0], out, *args[1:])
    check(result.returncode == 2, f"{what}: exit {result.returncode}, wanted 2")
    check(part in result.stderr, f"{what}: message {result.stderr!r} lacks {part!r}")
    check(not os.path.exists(out), f"{what}: manifests were written")


try:
    x86 = make_zip("x86.zip", ["setup.exe", "data00.dat"])
    x64 = make_zip("x64.zip", ["data00.dat", "setup.exe", "license.txt"])
    url86 = "https://example.com/dl/kakeibo-x86.zip"
    url64 = "https://example.com/dl/kakeibo-x64.zip?a=1,b=2"
    info = {
        "id": "Hanamaru.Kakeibo",
        "version": "1.0",  # a YAML float unless quoted
        "publisher": 'はなまる "ソフト" \\ 工房: #1',
        "url": "https://example.com/kakeibo/",
        "license": "プロプライエタリ",
        "license-url": "https://example.com/kakeibo/license",
        "description": "家計簿ソフト: 毎日の収支を記録します。",
        "copyright": "Copyright (c) はなまるソフト",
    }
    out = os.path.join(work, "manifests")
    result = run(product(info), out, f"x86={x86},{url86}", f"x64={x64},{url64}")
    check(result.returncode == 0, f"winget of a full product: {result.stderr}")

    manifests = {}
    for kind, name in (("version", "Hanamaru.Kakeibo.yaml"), ("installer", "Hanamaru.Kakeibo.installer.yaml"),
                       ("defaultLocale", "Hanamaru.Kakeibo.locale.ja-JP.yaml")):
        manifests[kind] = validated(out, kind, name)
        check(manifests[kind]["ManifestType"] == kind and manifests[kind]["ManifestVersion"] == "1.28.0",
              f"{name}: manifest type and version")
        check(manifests[kind]["PackageIdentifier"] == info["id"] and manifests[kind]["PackageVersion"] == "1.0",
              f"{name}: identifier and version")

    check(manifests["version"]["DefaultLocale"] == "ja-JP", "version: DefaultLocale")

    with open(os.path.join(demo, "setup.cfg"), "rb") as f:
        name = [l[10:] for l in f.read().decode("cp932").splitlines() if l.startswith("Monday   :")][0]
    locale = manifests["defaultLocale"]
    expected_locale = {"PackageLocale": "ja-JP", "Publisher": info["publisher"], "PackageName": name,
                       "PackageUrl": info["url"], "License": info["license"], "LicenseUrl": info["license-url"],
                       "Copyright": info["copyright"], "ShortDescription": info["description"]}
    for field, value in expected_locale.items():
        check(locale.get(field) == value, f"defaultLocale {field}: {locale.get(field)!r}, wanted {value!r}")

    installer = manifests["installer"]
    expected_installer = {
        "InstallerLocale": "ja-JP", "Platform": ["Windows.Desktop"], "InstallerType": "zip",
        "NestedInstallerType": "exe", "NestedInstallerFiles": [{"RelativeFilePath": "setup.exe"}],
        "InstallModes": ["interactive", "silent", "silentWithProgress"],
        "InstallerSwitches": {"Silent": "/S", "SilentWithProgress": "/S /PROGRESS",
                              "InstallLocation": "/D=<INSTALLPATH>", "Log": "/LOG=<LOGPATH>", "Repair": "/REPAIR"},
        "RepairBehavior": "installer",
        "ExpectedReturnCodes": [
            {"InstallerReturnCode": 3010, "ReturnResponse": "rebootRequiredToFinish"},
            {"InstallerReturnCode": 350, "ReturnResponse": "rebootRequiredForInstall"},
            {"InstallerReturnCode": 32, "ReturnResponse": "fileInUse"},
            {"InstallerReturnCode": 1602, "ReturnResponse": "cancelledByUser"},
            {"InstallerReturnCode": 1603, "ReturnResponse": "contactSupport"},
            {"InstallerReturnCode": 1618, "ReturnResponse": "installInProgress"},
            {"InstallerReturnCode": 87, "ReturnResponse": "invalidParameter"},
            {"InstallerReturnCode": 112, "ReturnResponse": "diskFull"},
            {"InstallerReturnCode": 1638, "ReturnResponse": "alreadyInstalled"},
            {"InstallerReturnCode": 4, "ReturnResponse": "downgrade"},
            {"InstallerReturnCode": 183, "ReturnResponse": "alreadyInstalled"}],
        "UpgradeBehavior": "install",
        "ProductCode": "Hanamaru",
        "AppsAndFeaturesEntries": [{"DisplayName": name, "Publisher": info["publisher"], "DisplayVersion": "1.0",
                                    "ProductCode": "Hanamaru"}],
        "Installers": [
            {"Architecture": arch, "Scope": scope, "InstallerUrl": url,
             "InstallerSha256": hashlib.sha256(open(path, "rb").read()).hexdigest().upper(),
             "InstallerSwitches": {"Custom": switch}, **extra}
            for arch, path, url in (("x86", x86, url86), ("x64", x64, url64))
            for scope, switch, extra in (("user", "/CURRENTUSER", {}),
                                         ("machine", "/ALLUSERS", {"ElevationRequirement": "elevatesSelf"}))],
    }
    for field, value in expected_installer.items():
        check(installer.get(field) == value, f"installer {field}: {installer.get(field)!r}, wanted {value!r}")
    check(set(installer) == set(expected_installer) | {"PackageIdentifier", "PackageVersion", "ManifestType",
                                                        "ManifestVersion"}, f"installer fields: {sorted(installer)}")

    # What the manifests cannot do without, and what the zips must be.
    full = {k: info[k] for k in ("id", "version", "publisher", "license", "description")}
    good = f"x86={x86},{url86}"
    expect_refusal("no product.txt", "no product.txt; the package manager's manifests need its id, version, "
                   "publisher, license, description", product(None), good)
    for key in full:
        expect_refusal(f"no {key}", f"lacks what the package manager's manifests need: {key}",
                       product({k: v for k, v in full.items() if k != key}), good)
    expect_refusal("no setup.exe in the zip", "holds no setup.exe at its top level", demo,
                   f"x86={make_zip('nested.zip', ['dist/setup.exe', 'Xsetup.exe'])},{url86}")
    expect_refusal("not a zip", "not a zip file", demo, f"x86={os.path.join(demo, 'setup.cfg')},{url86}")
    cut = shutil.copyfile(x86, os.path.join(work, "cut.zip"))
    os.truncate(cut, os.path.getsize(cut) - 30)
    expect_refusal("cut zip", "not a zip file (no end", demo, f"x86={cut},{url86}")
    expect_refusal("arm64", "the distributions are x86 and x64", demo, f"arm64={x86},{url86}")
    expect_refusal("twice", "x86 is given twice", demo, good, good)
    expect_refusal("ftp address", "is no http:// or https:// address", demo, f"x86={x86},ftp://example.com/a.zip")
    expect_refusal("no address", "is not ARCH=FILE,URL", demo, f"x86={x86}")
    expect_refusal("a broken product", "product.txt:1: unknown key 'homepage'", product({"homepage": "x"}), good)

    if programs:
        # The single file is the installer itself.
        single, four, stub = programs
        out = os.path.join(work, "single")
        url = "https://example.com/dl/setup.exe"
        result = run(demo, out, f"x64={single},{url}")
        check(result.returncode == 0, f"winget of a single-file setup: {result.stderr}")
        installer = validated(out, "installer", "Hanamaru.Kakeibo.installer.yaml")
        check(installer.get("InstallerType") == "exe", f"single file: {installer.get('InstallerType')!r}")
        check("NestedInstallerType" not in installer and "NestedInstallerFiles" not in installer,
              "single file: nested installer fields")
        sha = hashlib.sha256(open(single, "rb").read()).hexdigest().upper()
        check([i["InstallerSha256"] for i in installer["Installers"]] == [sha, sha], "single file: its SHA-256")
        check([i["InstallerUrl"] for i in installer["Installers"]] == [url, url], "single file: its address")
        expect_refusal("a setup of four files", "needs the data00.dat beside it", demo, f"x64={four},{url}")
        expect_refusal("zip and exe", "either all zips or all single-file", demo, f"x64={single},{url}", good)
        expect_refusal("not a setup", "holds no product", demo, f"x64={stub},{url}")
finally:
    shutil.rmtree(work)

for failure in failures:
    print("FAIL:", failure)
if not failures:
    print("ynbpack winget: all passed")
sys.exit(1 if failures else 0)
