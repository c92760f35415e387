// An ordered, growable vector of owned argument strings; items[count] is always
// a null terminator, so items can be handed to execv as it stands.
#pragma once

#include <cstddef>

struct arg_vector {
  char **items = nullptr;
  size_t count = 0;
  size_t capacity = 0;
};

void arg_vector_init(arg_vector *vec, size_t reserve);
// Appends a copy of text.
void arg_vector_push(arg_vector *vec, const char *text);
// Appends text and takes ownership of it (it must come from xmalloc).
void arg_vector_push_owned(arg_vector *vec, char *text);
// Drops the entries from index `count` on.
void arg_vector_truncate(arg_vector *vec, size_t count);
void arg_vector_free(arg_vector *vec);
