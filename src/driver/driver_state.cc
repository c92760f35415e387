#include "driver/driver_state.h"

#include <cstdlib>
#include <cstring>

#include "support/alloc.h"

driver_state driver;

void driver_state_reset() {
  for (int i = 0; i < driver.switches.count; i++)
    free(driver.switches.entries[i].args);
  free(driver.switches.entries);
  free(driver.inputs.entries);
  free(driver.dump_dir);
  free(driver.dump_base);
  free(driver.dump_base_ext);
  free(driver.out_base);
  free(driver.offload_target_list);
  arg_vector_free(&driver.asm_options);
  arg_vector_free(&driver.cpp_options);
  arg_vector_free(&driver.link_options);
  arg_vector_free(&driver.user_spec_files);
  driver = driver_state();
}

// Both tables start at 16 entries and double when full.
template <typename entry> static void grow_table(entry **entries, int count, int *capacity) {
  if (count < *capacity)
    return;
  *capacity = *capacity ? *capacity * 2 : 16;
  *entries = static_cast<entry *>(xrealloc(*entries, *capacity * sizeof(entry)));
}

void record_switch(const char *text, int arg_count, const char *const *args, bool accepted,
                   bool recognized) {
  switch_table *table = &driver.switches;
  grow_table(&table->entries, table->count, &table->capacity);
  driver_switch *sw = &table->entries[table->count++];
  *sw = driver_switch();
  sw->name = text + 1;
  if (arg_count > 0) {
    sw->args = static_cast<const char **>(xmalloc((arg_count + 1) * sizeof(const char *)));
    memcpy(sw->args, args, arg_count * sizeof(const char *));
    sw->args[arg_count] = nullptr;
  }
  sw->accepted = accepted;
  sw->recognized = recognized;
}

void add_input(const char *name, const char *language) {
  input_table *table = &driver.inputs;
  grow_table(&table->entries, table->count, &table->capacity);
  input_entry *input = &table->entries[table->count++];
  *input = input_entry();
  input->name = name;
  input->language = language;
}

void push_asm_option(const char *text, int length) {
  arg_vector_push_owned(&driver.asm_options, xstrndup(text, length));
}

void push_cpp_option(const char *text, int length) {
  arg_vector_push_owned(&driver.cpp_options, xstrndup(text, length));
}

void push_link_option(const char *text, int length) {
  arg_vector_push_owned(&driver.link_options, xstrndup(text, length));
}

static bool is_linker_word(const input_entry &input) {
  return input.language && input.language[0] == '*';
}

int single_input_index() {
  int found = -1;
  for (int i = 0; i < driver.inputs.count; i++) {
    const input_entry &input = driver.inputs.entries[i];
    if (is_linker_word(input))
      continue;
    if (driver.wpa_mode && input.language && strcmp(input.language, "lto") == 0)
      continue;
    if (found != -1)
      return -2;
    found = i;
  }
  return found;
}

void terminate_tables() {
  grow_table(&driver.switches.entries, driver.switches.count, &driver.switches.capacity);
  driver.switches.entries[driver.switches.count] = driver_switch();
  grow_table(&driver.inputs.entries, driver.inputs.count, &driver.inputs.capacity);
  driver.inputs.entries[driver.inputs.count] = input_entry();
}

bool is_real_file_name(const char *name) {
  return strcmp(name, "-") != 0 && strcmp(name, "/dev/null") != 0;
}
