// With --defer the script asks for activation; the probe is no control, so there is none.
if (axrun.Activate()) {
  axrun.Fail("the probe went in place");
} else {
  axrun.Echo("not a control");
}
control.Raise("still heard", 2);

function control_Raised(text, number) {
  axrun.Echo(text);
}
