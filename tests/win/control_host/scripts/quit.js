// Quit ends the run at once with its code.
axrun.Echo("before");
axrun.Quit(7);
axrun.Echo("never");
