// What a handler returns is the event's answer to the control: false refuses; true, any other
// value, or nothing at all lets it go on.
axrun.Echo("no: " + control.Ask("no"));
axrun.Echo("yes: " + control.Ask("yes"));
axrun.Echo("zero: " + control.Ask("zero"));
axrun.Echo("nothing: " + control.Ask("nothing"));

function control_Asking(question) {
  if (question == "no") return false;
  if (question == "yes") return true;
  if (question == "zero") return 0;
}
