// Run with --defer and PARAM XMLUrl: the page's own Update comes first, so activation is quiet.
var heard = 0;
function control_OnUpdateError(code, text) { heard++; }
control.Update("");
axrun.Activate();
if (heard !== 1) axrun.Fail("only the script's update ran, heard " + heard);
