// -fcompare-debug: the second compilation of every input and the comparison
// of the two final-insns dumps.
#pragma once

// Builds the second run's switch table (set-up).
void prepare_compare_debug();

// Forgets both dump names of the current input.
void forget_compare_debug_dumps();
// Whether the first run recorded a dump name.
bool compare_debug_first_dump();
// Compiles the input again with the second-run switches and compares the
// dumps; true when the input failed.
bool compare_debug_second_run(const char *input_name, const char *spec);
