// The informational phase: -print-* queries, --help, --version and the -v
// configuration block, answered after set-up so that -B, --sysroot, spec
// files and the environment show in the answers.
#pragma once

// Answers the queries in their fixed order; true when the run should stop
// (an answer was given and nothing else is to be done).
bool answer_informational_queries();
