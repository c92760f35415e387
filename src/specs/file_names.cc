// Placeholder: replaced by the file-name directives.
#include "specs/file_names.h"

void select_input(const char *) {}
void insert_input_name() {}
void insert_base_name(bool) {}
void insert_output_files() {}
const char *insert_temp_name(char, const char *t, const char *) { return t; }
void open_response_file() {}
void flush_response_file() {}
bool response_files_in_use() { return false; }
void clear_input_base() {}
