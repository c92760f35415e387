// File-name and temporary-name directives: the current input, temporary-name
// bindings, save-temps names and response files.
#pragma once

// Makes name the current input and derives its base and suffix.
void select_input(const char *name);

// %i, %b, %B, %o, %O: spec points just after the letter; returns the position
// after the directive.
void insert_input_name();
void insert_base_name(bool with_suffix);
void insert_output_files();

// %g, %u, %U, %j, %m, %|: `directive` is the letter, text is just after it;
// returns the position after the directive and its suffix. spec_text is the
// whole text, for messages.
const char *insert_temp_name(char directive, const char *text, const char *spec_text);

// Response files for %@{...}, %o and %i.
void open_response_file();
void flush_response_file();
// Whether arguments go through response files (the user's line used @FILE).
bool response_files_in_use();

// Forgets the base-name lengths, as the link step begins.
void clear_input_base();
