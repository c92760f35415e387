#include "support/arg_vector.h"

#include <cstdlib>

#include "support/alloc.h"

void arg_vector_init(arg_vector *vec, size_t reserve) {
  vec->capacity = reserve ? reserve : 1;
  vec->items = static_cast<char **>(xmalloc((vec->capacity + 1) * sizeof(char *)));
  vec->count = 0;
  vec->items[0] = nullptr;
}

void arg_vector_push_owned(arg_vector *vec, char *text) {
  if (!vec->items)
    arg_vector_init(vec, 10);
  if (vec->count == vec->capacity) {
    vec->capacity *= 2;
    vec->items = static_cast<char **>(xrealloc(vec->items, (vec->capacity + 1) * sizeof(char *)));
  }
  vec->items[vec->count++] = text;
  vec->items[vec->count] = nullptr;
}

void arg_vector_push(arg_vector *vec, const char *text) { arg_vector_push_owned(vec, xstrdup(text)); }

void arg_vector_truncate(arg_vector *vec, size_t count) {
  while (vec->count > count)
    free(vec->items[--vec->count]);
  if (vec->items)
    vec->items[vec->count] = nullptr;
}

void arg_vector_free(arg_vector *vec) {
  arg_vector_truncate(vec, 0);
  free(vec->items);
  *vec = arg_vector{};
}
