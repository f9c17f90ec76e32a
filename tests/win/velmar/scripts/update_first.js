// Run with --defer and PARAM XMLUrl: the page's own Update comes first, so activation is quiet.
axrun.AnswerBoxes("ok");
control.Update("");
axrun.Activate();
var boxes = axrun.BoxesSeen.split("Error: ").length - 1;
if (boxes !== 1) axrun.Fail("only the script's update ran: " + axrun.BoxesSeen);
