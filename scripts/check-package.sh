#!/usr/bin/env bash
# Checks the Debian package: its contents and maintainer scripts, lintian (no error), the
# unit's hardening (systemd-analyze security, exposure at most 3.0), then installs it on
# this machine and checks the user, folders and settings file, the installed server
# running as its user, an upgrade that keeps the settings, removal (configuration and state
# kept) and purge (both gone). The install part is skipped when an opczentarc package or
# /etc/opczentarc is already there, so that a real installation is never touched.
# Usage: scripts/check-package.sh build/opczentarc_<version>_amd64.deb   (as root)
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
installed_here=
user_made_here=
cleanup() {
  if [ -n "$installed_here" ]; then dpkg --purge opczentarc >/dev/null 2>&1 || true; fi
  # A purge leaves the system user (files elsewhere may belong to it); one this check made
  # goes again, so the machine is as it was.
  if [ -n "$user_made_here" ]; then
    userdel opczentarc >/dev/null 2>&1 || true
    groupdel opczentarc >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }
ok() { echo "check-package: ok: $*"; }

# Contents.
# "mode owner path" per entry, "... path -> target" for links.
dpkg-deb --contents "$deb" | awk '{ e = $1 " " $2 " " $6; if ($7 != "") e = e " " $7 " " $8; print e }' > "$work/contents"
for path in ./usr/lib/opczentarc/OPCZentarc ./usr/lib/opczentarc/error.dat ./usr/bin/ConfigOPCZentarc \
    ./usr/share/opczentarc/OPCZentarc.xml ./lib/systemd/system/opczentarc.service \
    ./usr/share/applications/ConfigOPCZentarc.desktop ./usr/share/icons/hicolor/scalable/apps/configopczentarc.svg \
    ./usr/share/doc/opczentarc/copyright ./usr/share/doc/opczentarc/changelog.gz \
    ./usr/share/man/man1/OPCZentarc.1.gz; do
  grep -q " $path\$" "$work/contents" || fail "$path is not in the package"
done
grep -q " ./usr/bin/OPCZentarc -> ../lib/opczentarc/OPCZentarc\$" "$work/contents" || fail "no link /usr/bin/OPCZentarc"
if grep -q "^[^ ]* [^ ]* ./etc/" "$work/contents"; then fail "the package ships files in /etc (the postinst makes them)"; fi
if grep -v " root/root " "$work/contents" | grep -q .; then fail "files not owned by root"; fi
ok "contents"

# Control data and maintainer scripts.
dpkg-deb --field "$deb" Package Version Architecture Depends > "$work/control"
grep -q "^Package: opczentarc$" "$work/control" || fail "package name"
depends=$(sed -n 's/^Depends: //p' "$work/control")
for p in adduser libc6 libstdc++6 libpugixml1v5 libqt6core6 libqt6widgets6 libsystemd0 libmosquitto1; do
  case ", $depends," in *", $p "*|*", $p,"*) ;; *) fail "Depends lacks $p: $depends" ;; esac
done
mkdir "$work/control.d"
dpkg-deb --control "$deb" "$work/control.d"
for s in postinst prerm postrm; do
  f="$work/control.d/$s"
  [ -x "$f" ] || fail "$s missing or not executable"
  head -1 "$f" | grep -q '^#!/bin/sh$' || fail "$s does not start with #!/bin/sh"
  grep -q '^set -e$' "$f" || fail "$s does not stop on errors"
  sh -n "$f" || fail "$s has a syntax error"
done
grep -q 'adduser --system --group' "$work/control.d/postinst" || fail "postinst makes no system user"
ok "control data and maintainer scripts"

# lintian: no error (warnings are shown).
lintian --allow-root --fail-on error "$deb" || fail "lintian reports errors"
ok "lintian"

# The unit: well-formed and hardened.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./lib/systemd/system/opczentarc.service > "$work/opczentarc.service"
grep -q '^Type=notify$' "$work/opczentarc.service" || fail "the unit is not Type=notify"
grep -q '^WatchdogSec=' "$work/opczentarc.service" || fail "the unit has no WatchdogSec"
exposure=$(systemd-analyze security --offline=true "$work/opczentarc.service" 2>/dev/null |
  sed -n 's/.*Overall exposure level for opczentarc.service: \([0-9.]*\).*/\1/p')
echo "check-package: systemd-analyze security: exposure $exposure"
systemd-analyze security --offline=true --threshold=30 "$work/opczentarc.service" >/dev/null 2>&1 ||
  fail "the unit's exposure $exposure is above 3.0"
ok "unit"

# Installing on this machine.
if dpkg-query -W -f='${Status}' opczentarc 2>/dev/null | grep -q "installed"; then
  echo "check-package: opczentarc is installed here already: install test skipped"
  exit 0
fi
if [ -e /etc/opczentarc ] || [ -e /var/lib/opczentarc ]; then
  echo "check-package: /etc/opczentarc or /var/lib/opczentarc exists: install test skipped"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "check-package: not root: install test skipped"
  exit 0
fi
getent passwd opczentarc >/dev/null || user_made_here=1
installed_here=1
dpkg -i "$deb" >/dev/null || fail "dpkg -i"
getent group opczentarc >/dev/null || fail "no group opczentarc"
getent passwd opczentarc | grep -q ':/usr/sbin/nologin$' || fail "no system user opczentarc without a login shell"
[ "$(stat -c '%a %U:%G' /etc/opczentarc)" = "2775 root:opczentarc" ] || fail "settings folder: $(stat -c '%a %U:%G' /etc/opczentarc)"
[ "$(stat -c '%a %U:%G' /etc/opczentarc/opczentarc.ini)" = "664 root:opczentarc" ] || fail "settings file mode"
grep -qx 'ConfigFile=/usr/share/opczentarc/OPCZentarc.xml' /etc/opczentarc/opczentarc.ini || fail "settings file contents"
[ "$(stat -c '%a %U:%G' /var/lib/opczentarc)" = "750 opczentarc:opczentarc" ] || fail "state folder"
systemd-analyze verify /lib/systemd/system/opczentarc.service || fail "systemd-analyze verify"
ok "installed: user, group, settings, state folder, unit"

# The installed server as the service runs it: its user, the settings store's ConfigFile
# (setpriv execs the server itself, so that SIGTERM reaches it).
runuser -u opczentarc -- /usr/bin/OPCZentarc --check-config /usr/share/opczentarc/OPCZentarc.xml > "$work/check" ||
  fail "check-config of the sample: $(cat "$work/check")"
setpriv --reuid=opczentarc --regid=opczentarc --init-groups -- /usr/bin/OPCZentarc --headless --endpoint opc.tcp://127.0.0.1:28639 2> "$work/server.log" &
server=$!
serving=
for _ in $(seq 1 100); do
  if grep -q "serving OPC UA on opc.tcp://127.0.0.1:28639" "$work/server.log"; then serving=1; break; fi
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
kill -TERM "$server" 2>/dev/null || true
for _ in $(seq 1 150); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$server" 2>/dev/null || true
rc=0; wait "$server" || rc=$?
[ -n "$serving" ] || fail "the installed server did not serve: $(cat "$work/server.log")"
[ "$rc" -eq 0 ] || fail "the installed server ended with $rc: $(cat "$work/server.log")"
ok "installed server runs as opczentarc and stops on SIGTERM"

# An upgrade (here: the same version again) keeps the settings.
echo "Endpoint=opc.tcp://0.0.0.0:4841" >> /etc/opczentarc/opczentarc.ini
touch /var/lib/opczentarc/marker
dpkg -i "$deb" >/dev/null || fail "dpkg -i over the installed package"
grep -qx 'Endpoint=opc.tcp://0.0.0.0:4841' /etc/opczentarc/opczentarc.ini || fail "the upgrade replaced the settings"
ok "upgrade keeps the settings"

# Removal keeps configuration and state; purge removes them.
dpkg -r opczentarc >/dev/null || fail "dpkg -r"
[ ! -e /usr/lib/opczentarc/OPCZentarc ] || fail "dpkg -r left the program"
[ -f /etc/opczentarc/opczentarc.ini ] || fail "dpkg -r removed the settings"
[ -f /var/lib/opczentarc/marker ] || fail "dpkg -r removed the state folder"
dpkg -P opczentarc >/dev/null || fail "dpkg -P"
installed_here=
[ ! -e /etc/opczentarc ] || fail "purge left /etc/opczentarc"
[ ! -e /var/lib/opczentarc ] || fail "purge left /var/lib/opczentarc"
[ ! -e /etc/systemd/system/opczentarc.service ] || fail "purge left a mask of the unit"
ok "remove keeps configuration and state, purge removes them"
echo "check-package: all checks passed"
