#include "support/response_files.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "support/alloc.h"

bool at_file_supplied = false;

// Each "@" argument, nested ones included, uses one unit; a file that names
// itself would otherwise never end.
static const int response_file_budget = 2000;

static bool is_response_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static const char *skip_space(const char *p) {
  while (is_response_space(*p))
    p++;
  return p;
}

[[noreturn]] static void response_file_failure(const char *format, const char *argv0) {
  fprintf(stderr, format, argv0);
  exit(1);
}

// The whole file as text, or none when it cannot be read.
static char *read_response_file(const char *file) {
  FILE *stream = fopen(file, "r");
  if (!stream)
    return nullptr;
  char *text = nullptr;
  long size = -1;
  if (fseek(stream, 0, SEEK_END) == 0 && (size = ftell(stream)) >= 0 &&
      fseek(stream, 0, SEEK_SET) == 0) {
    text = static_cast<char *>(xmalloc(static_cast<size_t>(size) + 1));
    size_t got = fread(text, 1, static_cast<size_t>(size), stream);
    if (got < static_cast<size_t>(size) && ferror(stream)) {
      free(text);
      text = nullptr;
    } else {
      text[got] = '\0';
    }
  }
  fclose(stream);
  return text;
}

// Replaces argv[index] by the words (whose texts the vector takes over).
static void splice_words(int *argcp, char ***argvp, int index, arg_vector *words) {
  int argc = *argcp;
  size_t added = words->count;
  char **argv = *argvp;
  char *replaced = argv[index];
  if (added > 1)
    argv = static_cast<char **>(xrealloc(argv, (argc + added) * sizeof(char *)));
  memmove(argv + index + added, argv + index + 1, (argc - index) * sizeof(char *));
  if (added)
    memcpy(argv + index, words->items, added * sizeof(char *));
  free(replaced);
  free(words->items);
  *words = arg_vector{};
  *argcp = argc + static_cast<int>(added) - 1;
  *argvp = argv;
}

void expand_response_files(int *argcp, char ***argvp) {
  char **const original = *argvp;
  int argc = *argcp;
  char **argv = *argvp;
  int budget = response_file_budget;
  for (int i = 1; i < argc;) {
    const char *arg = argv[i];
    if (arg[0] != '@') {
      i++;
      continue;
    }
    if (--budget == 0)
      response_file_failure("%s: error: too many @-files encountered\n", argv[0]);
    struct stat st;
    if (stat(arg + 1, &st) != 0) {
      i++;
      continue;
    }
    if (S_ISDIR(st.st_mode))
      response_file_failure("%s: error: @-file refers to a directory\n", argv[0]);
    char *text = read_response_file(arg + 1);
    if (!text) {
      i++;
      continue;
    }
    arg_vector words = {};
    if (*skip_space(text))
      words = split_response_text(text);
    free(text);
    if (argv == original)
      argv = copy_arg_vector(argv);
    // The words now at index i are examined next: files may name files.
    splice_words(&argc, &argv, i, &words);
  }
  *argcp = argc;
  *argvp = argv;
}

// Reads one argument starting at p into word; returns where it ended. The
// text's end always ends the argument: an open quote closes there and a
// final backslash stands for itself.
static const char *read_word(const char *p, std::string *word) {
  char quote = 0;
  word->clear();
  while (*p && (quote || !is_response_space(*p))) {
    if (*p == '\\') {
      if (p[1]) {
        *word += p[1];
        p += 2;
      } else {
        *word += *p++;
      }
    } else if (quote) {
      if (*p != quote)
        *word += *p;
      else
        quote = 0;
      p++;
    } else if (*p == '\'' || *p == '"') {
      quote = *p++;
    } else {
      *word += *p++;
    }
  }
  return p;
}

arg_vector split_response_text(const char *text) {
  arg_vector result = {};
  if (!text)
    return result;
  arg_vector_init(&result, 8);
  std::string word;
  const char *p = skip_space(text);
  do {
    p = skip_space(read_word(p, &word));
    arg_vector_push_owned(&result, xstrndup(word.data(), word.size()));
  } while (*p);
  return result;
}

int write_response_file(const char *const *args, FILE *stream) {
  if (!stream)
    return 1;
  for (; *args; args++) {
    const char *arg = *args;
    if (!*arg && fputs("\"\"", stream) == EOF)
      return 1;
    for (const char *c = arg; *c; c++) {
      bool escaped = is_response_space(*c) || *c == '\\' || *c == '\'' || *c == '"';
      if (escaped && putc('\\', stream) == EOF)
        return 1;
      if (putc(*c, stream) == EOF)
        return 1;
    }
    if (putc('\n', stream) == EOF)
      return 1;
  }
  return ferror(stream) ? 1 : 0;
}

char **copy_arg_vector(const char *const *args) {
  if (!args)
    return nullptr;
  size_t count = 0;
  while (args[count])
    count++;
  char **copy = static_cast<char **>(xmalloc((count + 1) * sizeof(char *)));
  for (size_t i = 0; i < count; i++)
    copy[i] = xstrdup(args[i]);
  copy[count] = nullptr;
  return copy;
}
