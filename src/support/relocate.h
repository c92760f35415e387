// Where a configured directory is now, when the installation was moved as a
// whole after it was built.
#pragma once

// Walks from the running program's directory to the target the same way the
// configured bin_dir relates to the configured target_dir (both absolute,
// ending in '/'). A name without '/' is first searched along PATH; with
// resolve_links the program's symbolic links are resolved first. Returns an
// owned directory text, or none when the installation is where it was
// configured or nothing can be derived (the caller keeps the configured one).
char *relocate_prefix(const char *program_name, const char *bin_dir, const char *target_dir,
                      bool resolve_links);

// The path relocate_prefix starts from (PATH searched, links resolved as
// asked), owned: a caller relocating several directories resolves it once and
// passes it on with resolve_links false.
char *resolve_program_name(const char *program_name, bool resolve_links);
