#!/usr/bin/env bash
# Installs the Debian packages the client and documentation tests run (build
# tools, a compiler cache, a distributed-build engine, the catalogue and manual
# page tools) when they are missing. Idempotent: with everything present it
# does nothing. Not as root it only says what to install.
set -euo pipefail

packages=(make cmake ninja-build ccache distcc gettext groff-base man-db)

missing=()
for package in "${packages[@]}"; do
  # dpkg -s also knows packages that were removed but not purged: only an
  # installed status counts.
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-test-deps: missing packages: ${missing[*]}" >&2
  echo "install-test-deps: run as root, or: apt-get install ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
