// The probe as a page's object: a method with a default argument, and events that reach
// control_Raised with their arguments in order and of their types.
axrun.Echo(control.Describe("widget"));
axrun.Echo(control.Describe("widget", 3));
control.Raise("hello", 42);
control.Raise("second", -7);
axrun.Pump(20);
axrun.Echo("grüße ✓");

function control_Raised(text, number) {
  axrun.Echo("Raised(" + text + ", " + number + ") " + typeof text + " " + typeof number);
}

// A handler for an event the probe does not have is never called.
function control_Vanished() {
  axrun.Fail("control_Vanished was called");
}
