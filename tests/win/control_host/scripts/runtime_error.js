// A runtime error ends the run with 2, naming its line.
axrun.Echo("before");

missingFunction();
axrun.Echo("never");
