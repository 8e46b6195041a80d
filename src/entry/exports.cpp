// The plug-in binary's exported entry points live here; everything else in
// the module has hidden visibility.
