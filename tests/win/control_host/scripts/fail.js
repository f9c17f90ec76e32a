// Fail reports and goes on; the run ends with 1.
axrun.Echo("before");
axrun.Fail("expected failure");
axrun.Echo("after");
