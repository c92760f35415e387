// Preparing the inputs, compiling each of them, and the link step.
#pragma once

// Finds each input's compiler and decides combine mode; false when the run
// stops before compiling. Fills link_only_marks (one byte per input).
bool prepare_inputs(unsigned char **link_only_marks);

// Runs the compiler spec of every input in order.
void do_spec_on_infiles(unsigned char *link_only_marks);

// Runs the link command when there is something to link and nothing failed,
// and warns about linker inputs that were never linked.
void maybe_run_linker(const char *argv0, const unsigned char *link_only_marks);
