#!/usr/bin/env bash
# The built plug-in's link contract: its SONAME, only the standard runtime
# libraries as NEEDED, get_providers as the only unmangled export, and no
# undefined symbol beyond the host layer, JsonCpp and the C/C++ runtime.
set -euo pipefail
build=${1:?build dir}
so="$build/lib/tarnel_brelm_pxr52_419.so"
fail=0
err() { echo "FAIL: $*" >&2; fail=1; }

[ -f "$so" ] || { echo "FAIL: $so missing" >&2; exit 1; }

soname=$(readelf -d "$so" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
[ "$soname" = "tarnel_brelm_pxr52_419.so" ] || err "SONAME is '$soname'"

while read -r lib; do
  case "$lib" in
    libstdc++.so.*|libm.so.*|libgcc_s.so.*|libc.so.*) ;;
    *) err "unexpected NEEDED $lib" ;;
  esac
done < <(readelf -d "$so" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')

plain=$(nm -D --defined-only "$so" | awk '{print $3}' |
        grep -vE '^_Z|^(_init|_fini|_edata|_end|__bss_start)$' || true)
[ "$plain" = "get_providers" ] || err "unmangled exports: [$plain]"

# Undefined symbols without a runtime version tag must be host-layer or JsonCpp.
while read -r sym; do
  name=$(echo "$sym" | c++filt)
  case "$name" in
    VDeviceInterface::*|SMDVDevice::*|SMDSPDevice::*|PMBusProtocol::*|SMDController::*) ;;
    "typeinfo for "*|"vtable for "*|"VTT for "*)
      case "${name#* for }" in
        VDeviceInterface|SMDVDevice|SMDSPDevice|PMBusProtocol|SMDController|Provider|SMDSPDeviceProvider) ;;
        *) err "undefined $name" ;;
      esac ;;
    get_ttime\(*|Json::*) ;;
    *) err "undefined symbol outside the contract: $name" ;;
  esac
done < <(nm -D --undefined-only "$so" | awk '$1=="U"{print $2}' | grep -v '@' || true)

[ $fail -eq 0 ] && echo "library contract holds for $so"
exit $fail
