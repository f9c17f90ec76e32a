// A syntax error: nothing of the script runs.
axrun.Echo("never");
var broken = (;
