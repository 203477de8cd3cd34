#!/usr/bin/env bash
# Builds a Windows Installer package (wixl, from Debian's msitools) of an
# unpacked Windows package: per machine into Program Files\Varnel, an entry
# under Apps & features with version and publisher, a Start-menu entry with
# the icon when the wizard is in it; uninstalling removes all of it.
#   scripts/windows-msi.sh PACKAGE-DIR VERSION GUI(0|1) OUT.msi
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
package=$1 version=$2 gui=$3 out=$(realpath -m "$4")
command -v wixl >/dev/null || { echo "windows-msi: wixl not found (Debian package wixl)" >&2; exit 1; }

# Windows Installer versions are three numbers without leading zeros: 12.04.0041 is 12.4.41.
IFS=. read -r -a parts <<<"$version"
msi_version=$(printf '%d.%d.%d' "$((10#${parts[0]}))" "$((10#${parts[1]:-0}))" "$((10#${parts[2]:-0}))")
# wixl leaves out IncludeMaximum: the bound is the next build number, not reached.
below_next=${msi_version%.*}.$(( ${msi_version##*.} + 1 ))
# One product: the console and the wizard package replace each other and every older version.
upgrade_code=5B2A7C1E-3D4F-4A8B-9C6D-7E1F2A3B4C5D
name="Varnel"
[ "$gui" = 1 ] || name="Varnel (console)"

xml() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' <<<"$1"; }
# Ids allow letters, digits, '_' and '.', and must be unique: made from the path.
id_of() { printf 'f_%s' "$(sed 's/[^A-Za-z0-9_.]/_/g' <<<"$1")"; }

# wixl takes sources by paths relative to the folder it runs in, not absolute ones.
package=$(realpath --relative-to="$top" "$package")
cd "$top"
mkdir -p build
wxs=$(mktemp -p build --suffix=.wxs)
marker=""
trap 'rm -f "$wxs" ${marker:+"$marker"}' EXIT
components=()
# The files of one folder, then its subfolders, as nested Directory elements.
emit_dir() {
  local rel=$1 indent=$2 file dir
  while IFS= read -r file; do
    local path=${rel:+$rel/}$file id
    id=$(id_of "$path")
    components+=("$id")
    echo "$indent<Component Id=\"$id\" Guid=\"*\" Win64=\"yes\">"
    echo "$indent  <File Id=\"$id\" Source=\"$(xml "$package/$path")\" Name=\"$(xml "$file")\" KeyPath=\"yes\"/>"
    echo "$indent</Component>"
  done < <(find "$package/$rel" -mindepth 1 -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort)
  while IFS= read -r dir; do
    local path=${rel:+$rel/}$dir
    echo "$indent<Directory Id=\"$(id_of "d_$path")\" Name=\"$(xml "$dir")\">"
    emit_dir "$path" "$indent  "
    echo "$indent</Directory>"
  done < <(find "$package/$rel" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' | LC_ALL=C sort)
}

{
  cat <<EOT
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="$(xml "$name")" Language="1033" Version="$msi_version" Manufacturer="The Varnel developers"
           UpgradeCode="$upgrade_code">
    <Package InstallerVersion="500" Compressed="yes" InstallScope="perMachine"
             Description="$(xml "$name") $version" Comments="Brings the battery configuration of a UPS into line with its external battery packs"/>
    <Media Id="1" Cabinet="varnel.cab" EmbedCab="yes"/>
    <!-- Any installed Varnel up to this version, the other package of this one included, is removed first;
         a newer one stays, and this older package refuses to replace it. -->
    <Upgrade Id="$upgrade_code">
      <UpgradeVersion Minimum="0.0.0" Maximum="$below_next" IncludeMinimum="yes" Property="VARNEL_REPLACED"/>
      <UpgradeVersion Minimum="$below_next" IncludeMinimum="yes" OnlyDetect="yes" Property="VARNEL_NEWER"/>
    </Upgrade>
    <Condition Message="A newer version of Varnel is installed. Uninstall it first to go back to $(xml "$version").">NOT VARNEL_NEWER OR Installed</Condition>
    <InstallExecuteSequence>
      <RemoveExistingProducts After="InstallValidate"/>
    </InstallExecuteSequence>
    <Icon Id="varnel.ico" SourceFile="dist/windows/varnel.ico"/>
    <Property Id="ARPPRODUCTICON" Value="varnel.ico"/>
    <Property Id="ARPURLINFOABOUT" Value="https://www.gnu.org/licenses/gpl-3.0.html"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFiles64Folder">
        <Directory Id="INSTALLDIR" Name="Varnel">
EOT
  emit_dir "" "          "
  if [ "$gui" = 1 ]; then
    # Installed, the wizard runs in %LOCALAPPDATA%\Varnel, filled from these files; this marker says so.
    marker=$(mktemp -p build varnel-installed.XXXXXX)
    echo "The wizard of this folder keeps its files in %LOCALAPPDATA%\\Varnel." >"$marker"
    components+=(f_marker)
    echo "          <Component Id=\"f_marker\" Guid=\"*\" Win64=\"yes\">"
    echo "            <File Id=\"f_marker\" Source=\"$marker\" Name=\"varnel-installed\" KeyPath=\"yes\"/>"
    echo "          </Component>"
  fi
  echo '        </Directory>'
  echo '      </Directory>'
  if [ "$gui" = 1 ]; then
    components+=(StartMenuEntry)
    cat <<EOT
      <Directory Id="ProgramMenuFolder">
        <Component Id="StartMenuEntry" Guid="9E3C1B7A-6F2D-4C8E-A1B5-3D7F9E2C4A6B" Win64="yes">
          <Shortcut Id="VarnelShortcut" Name="Varnel" Description="Battery pack configuration for UPS units"
                    Target="[INSTALLDIR]varnel.exe" WorkingDirectory="INSTALLDIR" Icon="varnel.ico"/>
          <RegistryValue Root="HKLM" Key="Software\\Varnel" Name="StartMenuEntry" Type="integer" Value="1" KeyPath="yes"/>
        </Component>
      </Directory>
EOT
  fi
  echo '    </Directory>'
  echo '    <Feature Id="Varnel" Level="1">'
  for id in "${components[@]}"; do echo "      <ComponentRef Id=\"$id\"/>"; done
  echo '    </Feature>'
  echo '  </Product>'
  echo '</Wix>'
} >"$wxs"

rm -f "$out"
wixl -a x64 -o "$out" "$wxs" 2> >(grep -v 'Platform' >&2)
