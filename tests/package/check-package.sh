#!/usr/bin/env bash
# Builds the Debian package and checks it from a throw-away root: lintian, the
# desktop files, the programs run from the unpacked tree against upssim, the
# menu launcher's per-user folder, and the man pages and completion against
# the options the programs really take.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
. scripts/upssim.sh

deb=$(scripts/package.sh | tail -1)
version=$(sed -n 's/^project(Varnel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(basename "$deb")" = "varnel_${version}-1_amd64.deb" ] || { echo "unexpected package name $deb" >&2; exit 1; }

lintian --fail-on error "$deb"
appstreamcli validate --no-net dist/org.varnel.Varnel.metainfo.xml
desktop-file-validate dist/org.varnel.Varnel.desktop

work=$(mktemp -d)
upssim_pid=""
cleanup() {
  if [ -n "$upssim_pid" ]; then kill "$upssim_pid" 2>/dev/null || true; wait "$upssim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
root="$work/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/bin"
share="$root/usr/share/varnel"

fail() { echo "check-package: $*" >&2; exit 1; }

# Every path the package must hold.
for path in usr/libexec/varnel/{varnel,varnelctl,upssim,varnel-launch,varnel-ups-id,linkserial.so,linkhid.so,linkusb.so} \
  usr/share/varnel/{varnel.ini,varnelstrings.en,sample-batterydata.xml,demo-units.ini} \
  usr/lib/udev/rules.d/70-varnel-ups.rules usr/share/bash-completion/completions/varnelctl \
  usr/share/man/man1/{varnel,varnelctl,upssim,gen-batterydata}.1.gz usr/share/doc/varnel/{copyright,changelog.Debian.gz} \
  usr/share/applications/org.varnel.Varnel.desktop usr/share/metainfo/org.varnel.Varnel.metainfo.xml \
  usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/varnel.png \
  usr/share/icons/hicolor/scalable/apps/varnel.svg; do
  [ -e "$root/$path" ] || fail "missing /$path"
done
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/org.varnel.Varnel.desktop")
[ -x "$root$exec_line" ] || fail "the menu entry runs $exec_line, which the package does not hold"

[ "$("$bin/varnelctl" --version | head -1)" = "varnelctl $version" ] || fail "varnelctl --version"
"$bin/varnelctl" --version | grep -q 'GPL-3.0-or-later' || fail "varnelctl --version names no licence"
cmp -s "$root/usr/share/doc/varnel/copyright" dist/debian/copyright || fail "the package's copyright file"

# A scan over the demo units, with programs and port libraries from the unpacked tree only.
varnel_start_upssim "$bin/upssim" "$work/ready" "$work/upssim.out" --dir "$work/ups" "$share/demo-units.ini" ||
  fail "upssim did not start"
mkdir "$work/run"
cp "$share/varnel.ini" "$share/varnelstrings.en" "$work/run/"
scan=$(cd "$work/run" && eval "$(grep '^export ' "$work/ready")" &&
  LINKSERIAL_DETECT=0 LINKHID_DETECT=0 "$bin/varnelctl" scan 2>/dev/null)
echo "$scan"
[ "$(grep -c 'Simulated Power' <<<"$scan")" -eq 5 ] || fail "the scan did not find the five demo units"

# The launcher, with a stand-in wizard that says where it runs: first start, a
# second start that keeps an edited file, and XDG_DATA_HOME honoured.
printf '#!/bin/sh\npwd > "$HOME/wizard-ran-in"\n' >"$work/wizard"
chmod +x "$work/wizard"
home="$work/home"
mkdir "$home"
launch() { env -u XDG_DATA_HOME HOME="$home" VARNEL_WIZARD="$work/wizard" "$@" "$root$exec_line"; }
launch
folder="$home/.local/share/varnel"
[ "$(cat "$home/wizard-ran-in")" = "$folder" ] || fail "the wizard did not start in $folder"
for file in varnel.ini varnelstrings.en sample-batterydata.xml; do
  cmp -s "$folder/$file" "$share/$file" || fail "$folder/$file is not the shipped copy"
done
echo "; edited" >>"$folder/varnel.ini"
launch
grep -q '; edited' "$folder/varnel.ini" || fail "the launcher overwrote an edited varnel.ini"
launch XDG_DATA_HOME="$work/xdg"
[ "$(cat "$home/wizard-ran-in")" = "$work/xdg/varnel" ] && [ -f "$work/xdg/varnel/varnel.ini" ] ||
  fail "XDG_DATA_HOME was not used"
# An upgrade: new shipped files replace the unedited copies; the edited
# varnel.ini stays, with the new default beside it and a line saying so.
echo "label.upgraded = new" >>"$share/varnelstrings.en"
echo "; new default" >>"$share/varnel.ini"
launch 2>/dev/null
cmp -s "$folder/varnelstrings.en" "$share/varnelstrings.en" || fail "the launcher kept an unedited old message file"
cmp -s "$folder/sample-batterydata.xml" "$share/sample-batterydata.xml" || fail "the sample data changed"
grep -q '; edited' "$folder/varnel.ini" && ! grep -q '; new default' "$folder/varnel.ini" ||
  fail "the launcher replaced an edited varnel.ini"
cmp -s "$folder/varnel.ini.new" "$share/varnel.ini" || fail "the new default is not beside it as varnel.ini.new"
grep -q 'varnel.ini was edited and is kept; the version now installed is varnel.ini.new' "$folder/varnel-launch.log" ||
  fail "the launcher's log does not say where the new varnel.ini is"
rm "$folder/varnel-launch.log"
launch
[ ! -e "$folder/varnel-launch.log" ] || fail "a second start after the upgrade reported it again"

# Options a program's --help lists, and those its man page describes.
help_options() { "$@" --help | sed -n 's/^  \(-[a-z],\)\{0,1\}\(--[a-z0-9-]*\).*/\2/p'; }
man_options() { zcat "$root/usr/share/man/man1/$1.1.gz" | sed -n '/^\.SH OPTIONS/,/^\.SH/p' | grep -oE '\\fB-+[a-z0-9-]+' |
  sed 's/^\\fB//; s/\\-/-/g' | grep -- '^--'; }
compare() {
  local name=$1 from_help=$2 from_man=$3
  if [ "$from_help" != "$from_man" ]; then
    diff <(echo "$from_help") <(echo "$from_man") >&2 || true
    fail "$name: the program (<) and its documentation (>) differ"
  fi
}
commands="scan packs plan apply backup restore"
ctl_help=$( (help_options "$bin/varnelctl"
  for command in $commands; do help_options "$bin/varnelctl" "$command"; done) | sort -u)
compare varnelctl "$ctl_help" "$(man_options varnelctl | sort -u)"
for program in upssim gen-batterydata; do
  compare "$program" "$(help_options "$bin/$program" | sort -u)" "$(man_options "$program" | sort -u)"
done
# The exit codes varnelctl has, and those its man page lists.
codes=$(sed -n 's/^ *[a-zA-Z]* = \([0-9]*\),$/\1/p' src/ctl/VarnelCtl.h | sort -u)
man_codes=$(zcat "$root/usr/share/man/man1/varnelctl.1.gz" | sed -n '/^\.SH EXIT STATUS/,/^\.SH/p' |
  sed -n 's/^\\fB\([0-9]*\)\\fR$/\1/p' | sort -u)
compare "varnelctl exit codes" "$codes" "$man_codes"

# The completion offers each command's options as --help lists them.
. /usr/share/bash-completion/bash_completion
. "$root/usr/share/bash-completion/completions/varnelctl"
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _varnelctl
  printf '%s\n' "${COMPREPLY[@]}" | sort -u
}
compare "completion of commands" "$(tr ' ' '\n' <<<"$commands" | sort)" "$(complete_words varnelctl '')"
for command in $commands; do
  compare "completion of $command" "$(help_options "$bin/varnelctl" "$command" | sort -u)" \
    "$(complete_words varnelctl "$command" --)"
done
echo "Package checks passed: $deb"
