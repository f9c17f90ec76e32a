// For screenshots: the frame alone with its picture, then four views cascaded by Sort.
axrun.Pump(5000);
control.DefaultWidth = 200;
control.DefaultHeight = 120;
for (var i = 0; i < 4; ++i) control.CreateView("about:blank", "View " + (i + 1), 0);
control.Sort(1);
axrun.Pump(8000);
