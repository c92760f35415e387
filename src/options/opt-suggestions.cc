#include "options/opt-suggestions.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "options/opts.h"
#include "options/spellcheck.h"
#include "support/alloc.h"

static void add_spellings(arg_vector *list, size_t row, const char *text, bool negatable) {
  if (option_is_remapping_prefix(row))
    return;
  arg_vector_push(list, text + 1);
  for (const option_rewrite &rewrite : option_rewrites) {
    size_t new_length = strlen(rewrite.new_prefix);
    if ((negatable || !rewrite.negated) && strncmp(text, rewrite.new_prefix, new_length) == 0)
      arg_vector_push(list, (std::string(rewrite.word_prefix + 1) + (text + new_length)).c_str());
  }
  if (strncmp(text, "--param=", 8) == 0)
    arg_vector_push(list, (std::string("-param ") + (text + 8)).c_str());
}

void add_misspelling_candidates(arg_vector *list, size_t row, const char *text) {
  add_spellings(list, row, text, !(option_rows[row].attributes & ATTR_REJECT_NEGATIVE));
}

void build_option_suggestions(arg_vector *list) {
  for (size_t row = 0; row < option_row_count; row++) {
    const option_row &option = option_rows[row];
    if (row == OPT_fsanitize_ || row == OPT_fsanitize_recover_) {
      add_misspelling_candidates(list, row, option.text);
      bool past_all = false;
      for (const sanitizer_entry &entry : sanitizer_entries) {
        // "-fsanitize=all" is refused, but "-fno-sanitize=all" is fine.
        past_all = past_all || (row == OPT_fsanitize_ && strcmp(entry.name, "all") == 0);
        std::string text = std::string(past_all ? "-fno-sanitize=" : option.text) + entry.name;
        if (past_all)
          add_spellings(list, row, text.c_str(), false);
        else
          add_misspelling_candidates(list, row, text.c_str());
      }
    } else if (option.var_type == VAR_ENUM) {
      for (const enum_value *value = enum_tables[option.var_enum].values; value->text; value++)
        add_misspelling_candidates(list, row, (std::string(option.text) + value->text).c_str());
    } else
      add_misspelling_candidates(list, row, option.text);
  }
}

static char *with_dash(const char *text) {
  size_t length = strlen(text);
  char *result = static_cast<char *>(xmalloc(length + 2));
  result[0] = '-';
  memcpy(result + 1, text, length + 1);
  return result;
}

static void ensure_built(spelling_proposer *proposer) {
  if (proposer->built)
    return;
  build_option_suggestions(&proposer->candidates);
  proposer->built = true;
}

const char *suggest_option(spelling_proposer *proposer, const char *bad) {
  ensure_built(proposer);
  return find_closest_string(bad, proposer->candidates.items, proposer->candidates.count);
}

void get_completions(spelling_proposer *proposer, const char *prefix, arg_vector *results) {
  if (*prefix == 0)
    return;
  if (*prefix == '-')
    prefix++;
  ensure_built(proposer);
  size_t length = strlen(prefix);
  for (size_t i = 0; i < proposer->candidates.count; i++) {
    const char *candidate = proposer->candidates.items[i];
    if (strncmp(candidate, prefix, length) == 0)
      arg_vector_push_owned(results, with_dash(candidate));
  }
}

void print_completions(spelling_proposer *proposer, const char *prefix) {
  arg_vector results{};
  get_completions(proposer, prefix, &results);
  for (size_t i = 0; i < results.count; i++)
    printf("%s\n", results.items[i]);
  arg_vector_free(&results);
}
