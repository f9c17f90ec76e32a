// Run with --defer and PARAM XMLUrl: the update starts when the control's window is created.
// With no installer program beside the control it ends in the publisher check's box.
axrun.AnswerBoxes("ok");
function boxes() { return axrun.BoxesSeen.split("Error: ").length - 1; }
if (boxes() !== 0) axrun.Fail("nothing before activation");
axrun.Activate();
if (boxes() !== 1) axrun.Fail("the automatic update ran once: " + axrun.BoxesSeen);
