// Where auxiliary outputs (dumps, split debug files, kept temporaries) go and
// what they are named after.
#pragma once

// Decides dump_dir, dump_base, dump_base_ext and out_base once the command
// line is read and the output name checked.
void derive_dump_names();

// Before the link: names link-time outputs after the link output. Spec
// interpretation forgets its own current-input base names at the same point.
void finish_dump_names_for_link();
