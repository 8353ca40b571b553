# Sourced by demo_case.sh: the device reports itself removed at its 100th present (the switch
# debug.deviceLossAtPresent), once the scene is up. One report names the call, the result and the
# driver's reason; nothing more is presented and the demo ends by itself, before the driver's
# Escape, with that result as its exit code (the driver is told to expect it).
echo "deviceLossAtPresent = 100" >>"$work/config.ini"
expected_errors=1 expected_exit=2289696773 # 0x887A0005, DXGI_ERROR_DEVICE_REMOVED
run_demo 120 --env MIREL_TRACE=1 "$work/$(basename "$driver")" "$work/$(basename "$exe")" --run-ms 60000 --exit-code "$expected_exit"
grep -A4 "MIREL ERROR" "$work/err.txt" |
  grep -q "device was lost: Present returned DXGI_ERROR_DEVICE_REMOVED, removal reason" ||
  fail "the report does not name the failed call and its result"
grep -q "trace: device lost, loop stopped" "$work/err.txt" || fail "the loop did not stop on the loss"
grep -qE "^loop frames: .* total 99$" "$work/err.txt" || fail "frames after the loss: $(grep "^loop frames" "$work/err.txt")"
grep -q "trace: menu shown 1" "$work/err.txt" || fail "the loss came before the scene was up"
