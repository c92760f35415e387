// What the driver tells its children through the environment.
#pragma once

// TETHER_AS_OPTIONS, when assembler options were given.
void export_as_options();
// TETHER_QUARN: the driver as it was started.
void export_driver_name(const char *argv0);
// Finds the link-time-optimization wrapper for a run that links, makes it the
// "cairn" spec and exports TETHER_CAIRN.
void export_cairn();
// OFFLOAD_TARGET_NAMES, then the offload list is dropped.
void export_offload_targets();
// TETHER_QUARN_OPTIONS from the switches as they stand now; before every
// command batch.
void export_switch_options();

// text with a backslash before every space and tab, as specs read file names.
char *escape_blanks(const char *text);
