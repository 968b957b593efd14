#!/usr/bin/env bash
# Makes a program folder for the demo and the end-to-end test from the files beside this script:
# the data files encrypted with the build's key, the liveries, SimConnect.cfg for the fake
# simulator's port, the settings in the data folder and RealTraffic's mark in the roaming folder.
#   tools/demo/setup.sh PROGRAM_FOLDER SIMULATOR_PORT PSX_PORT
# Needs WDRX_ENCRYPT (the build's wdrx-encrypt), WDRX_DATA_DIR and XDG_CONFIG_HOME.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
folder=$1
simulator_port=$2
psx_port=$3
: "${WDRX_ENCRYPT:?the build\'s wdrx-encrypt}" "${WDRX_DATA_DIR:?}" "${XDG_CONFIG_HOME:?}"
mkdir -p "$folder/docs" "$folder/input" "$folder/Prepar3D v5/Scenery" "$WDRX_DATA_DIR" \
  "$XDG_CONFIG_HOME/InsideSystems"
folder=$(cd "$folder" && pwd)
"$WDRX_ENCRYPT" "$here/dbase.xml" "$folder/input/dbase.enc"
"$WDRX_ENCRYPT" "$here/airports.xml" "$folder/input/airports.enc"
"$WDRX_ENCRYPT" "$here/AIG-regcodes.xml" "$folder/input/AIG-regcodes.enc"
rm -rf "$folder/liveries"
cp -r "$here/liveries" "$folder/liveries"
# RealTraffic counts as installed on this computer: the program serves it the user's position.
touch "$XDG_CONFIG_HOME/InsideSystems/RealTraffic.jar"
printf '[SimConnect]\r\nProtocol=IPv4\r\nAddress=127.0.0.1\r\nPort=%s\r\n' "$simulator_port" \
  > "$folder/SimConnect.cfg"
cat > "$WDRX_DATA_DIR/parameters.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<root>
  <parameters>
    <parameter name="PROGRAM_VERSION" value="12.5.4"/>
    <parameter name="SIM_INSTALL_PATH" value="$folder/Prepar3D v5"/>
    <parameter name="PORT_NUMBER" value="$psx_port"/>
    <parameter name="lfolder0" value="$folder/liveries"/>
    <parameter name="SCAN_LIVERIES" value="true"/>
    <parameter name="SCAN_AIRPORTS" value="false"/>
    <parameter name="AUTO_RANGE" value="false"/>
    <parameter name="RANGE" value="20"/>
  </parameters>
</root>
XML
