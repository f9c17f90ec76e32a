// An error inside an event handler ends the run with 2, naming the handler's line; the
// statement that raised the event still finishes, but Pump stops the script.
control.Raise("boom", 1);
axrun.Echo("after the event");
axrun.Pump(10);
axrun.Echo("never");

function control_Raised(text, number) {
  axrun.Echo("in handler");
  undefinedThing.call();
}
