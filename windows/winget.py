#!/usr/bin/env python3
"""The manifests that bring a release's installer to the Windows Package Manager's catalogue.

winget.py write DIR --msi MSI --schemas SCHEMAS --version VERSION --date DATE --homepage URL
    --installer-url URL --notes-url URL --license FILE
        writes the version, default-locale and installer manifests of the MSI into DIR: its
        SHA-256, product code, upgrade code, name, publisher and description read from the MSI itself.
winget.py check DIR --schemas SCHEMAS
        validates every manifest in DIR against the published JSON schemas in SCHEMAS, and that they
        describe one package version together; prints what fails and exits with 1 when any does.
"""

import argparse
import hashlib
import json
import pathlib
import subprocess
import sys

import jsonschema
import yaml

# Chosen once: the catalogue knows the package by it from its first version on.
PACKAGE_IDENTIFIER = "Veltraner.Veltraner"
MANIFEST_VERSION = "1.10.0"
LOCALE = "en-US"


def schema(schemas, manifest_type):
    return json.loads((schemas / f"manifest.{manifest_type}.{MANIFEST_VERSION}.json").read_text(encoding="utf-8"))


def msi_properties(msi):
    table = subprocess.run(["msiinfo", "export", str(msi), "Property"], check=True, capture_output=True,
                           text=True).stdout
    # The first three lines are the table's column names, types and name.
    return dict(line.split("\t", 1) for line in table.splitlines()[3:] if "\t" in line)


def write(args):
    properties = msi_properties(args.msi)
    common = {"PackageIdentifier": PACKAGE_IDENTIFIER, "PackageVersion": args.version}
    license_name = args.license.read_text(encoding="utf-8").splitlines()[0].strip()
    manifests = {
        f"{PACKAGE_IDENTIFIER}.yaml": {**common, "DefaultLocale": LOCALE, "ManifestType": "version"},
        f"{PACKAGE_IDENTIFIER}.locale.{LOCALE}.yaml": {
            **common,
            "PackageLocale": LOCALE,
            "Publisher": properties["Manufacturer"],
            "PublisherUrl": args.homepage,
            "PackageName": properties["ProductName"],
            "PackageUrl": args.homepage,
            "License": license_name,
            "ShortDescription": properties["ARPCOMMENTS"],
            "Moniker": "veltrane",
            "ReleaseNotesUrl": args.notes_url,
            "ManifestType": "defaultLocale",
        },
        f"{PACKAGE_IDENTIFIER}.installer.yaml": {
            **common,
            "InstallerType": "msi",
            # The package installs into the user's own folders and asks for no administrator.
            "Scope": "user",
            "UpgradeBehavior": "install",
            "ReleaseDate": args.date,
            "AppsAndFeaturesEntries": [{
                "DisplayName": properties["ProductName"],
                "Publisher": properties["Manufacturer"],
                "DisplayVersion": properties["ProductVersion"],
                "ProductCode": properties["ProductCode"],
                "UpgradeCode": properties["UpgradeCode"],
            }],
            "Installers": [{
                "Architecture": "x64",
                "InstallerUrl": args.installer_url,
                "InstallerSha256": hashlib.sha256(args.msi.read_bytes()).hexdigest().upper(),
                "ProductCode": properties["ProductCode"],
            }],
            "ManifestType": "installer",
        },
    }
    args.dir.mkdir(parents=True, exist_ok=True)
    for name, manifest in manifests.items():
        manifest["ManifestVersion"] = MANIFEST_VERSION
        header = f"# yaml-language-server: $schema={schema(args.schemas, manifest['ManifestType'])['$id']}\n"
        text = yaml.safe_dump(manifest, sort_keys=False, allow_unicode=True, width=1000)
        (args.dir / name).write_text(header + text, encoding="utf-8")
        print(args.dir / name)


def check(args):
    errors = []
    seen = {}
    files = sorted(args.dir.glob("*.yaml"))
    if not files:
        errors.append(f"{args.dir}: no manifests")
    for path in files:
        try:
            manifest = yaml.safe_load(path.read_text(encoding="utf-8"))
        except (yaml.YAMLError, ValueError) as error:
            errors.append(f"{path.name}: not readable YAML: {error}")
            continue
        if not isinstance(manifest, dict) or manifest.get("ManifestVersion") != MANIFEST_VERSION:
            errors.append(f"{path.name}: not a manifest of version {MANIFEST_VERSION}")
            continue
        manifest_type = manifest.get("ManifestType")
        try:
            validator = jsonschema.Draft7Validator(schema(args.schemas, manifest_type),
                                                   format_checker=jsonschema.FormatChecker())
        except FileNotFoundError:
            errors.append(f"{path.name}: no schema for the manifest type {manifest_type!r}")
            continue
        for error in sorted(validator.iter_errors(manifest), key=lambda error: list(error.absolute_path)):
            location = "/".join(str(part) for part in error.absolute_path) or "(top)"
            errors.append(f"{path.name}: {location}: {error.message}")
        if manifest_type in seen:
            errors.append(f"{path.name}: a second {manifest_type} manifest, beside {seen[manifest_type]['file']}")
        seen[manifest_type] = {**manifest, "file": path.name}
    # What the schemas cannot see: the files are one package version, in one default locale.
    for manifest_type in ("version", "defaultLocale", "installer"):
        if manifest_type not in seen:
            errors.append(f"{args.dir}: no {manifest_type} manifest")
    for field in ("PackageIdentifier", "PackageVersion"):
        values = {manifest.get(field) for manifest in seen.values()}
        if len(values) > 1:
            errors.append(f"{args.dir}: the manifests name different values of {field}: {sorted(map(str, values))}")
    if "version" in seen and "defaultLocale" in seen and \
            seen["version"].get("DefaultLocale") != seen["defaultLocale"].get("PackageLocale"):
        errors.append(f"{args.dir}: DefaultLocale is not the default-locale manifest's PackageLocale")
    for error in errors:
        print(f"winget: {error}", file=sys.stderr)
    if errors:
        return 1
    print(f"winget: {len(files)} manifests valid against the {MANIFEST_VERSION} schemas")
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    writer = commands.add_parser("write")
    writer.add_argument("dir", type=pathlib.Path)
    writer.add_argument("--msi", type=pathlib.Path, required=True)
    writer.add_argument("--version", required=True)
    writer.add_argument("--date", required=True)
    writer.add_argument("--homepage", required=True)
    writer.add_argument("--installer-url", required=True)
    writer.add_argument("--notes-url", required=True)
    writer.add_argument("--license", type=pathlib.Path, required=True)
    checker = commands.add_parser("check")
    checker.add_argument("dir", type=pathlib.Path)
    for command in (writer, checker):
        command.add_argument("--schemas", type=pathlib.Path, required=True)
    args = parser.parse_args()
    if args.command == "write":
        write(args)
        return 0
    return check(args)


if __name__ == "__main__":
    sys.exit(main())
