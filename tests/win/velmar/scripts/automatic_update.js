// Run with --defer and PARAM XMLUrl: the update starts when the control's window is created.
var heard = [];
function control_OnUpdateError(code, text) { heard.push(code); }
if (heard.length !== 0) axrun.Fail("nothing before activation");
axrun.Activate();
if (heard.length !== 1 || heard[0] !== 1001) axrun.Fail("the automatic update ran once: " + heard);
