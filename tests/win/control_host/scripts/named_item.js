// --name probe: the object is `probe` and its events go to probe_Raised.
axrun.Echo(typeof control);
probe.Raise("named", 1);

function probe_Raised(text, number) {
  axrun.Echo("probe_Raised " + text + " " + number);
}
