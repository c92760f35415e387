// quarn-ar, quarn-nm and quarn-ranlib: run the system's archive tool with the
// linker plug-in on its command line, so that archives of link-time
// optimization objects get a usable symbol index. One source; the build fixes
// the tool through QUARN_WRAPPED_TOOL.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "quarn-config.h"
#include "support/alloc.h"
#include "support/pipeline.h"
#include "support/relocate.h"

#ifndef QUARN_WRAPPED_TOOL
#error "QUARN_WRAPPED_TOOL names the archive tool: \"ar\", \"nm\" or \"ranlib\""
#endif

static const char tool_name[] = QUARN_WRAPPED_TOOL;
static const char wrapper_name[] = "quarn-" QUARN_WRAPPED_TOOL;
static const char plugin_name[] = "libsluice.so";
// All three say ar: the usage is the same for every personality.
static const char usage_text[] = "Usage: quarn-ar [-B prefix] ar arguments ...\n";

struct plain_prefix_list {
  char **entries = nullptr;
  size_t count = 0;
  size_t longest = 0;
};

static plain_prefix_list tool_prefixes;
static plain_prefix_list path_prefixes;

static void insert_prefix_at(plain_prefix_list *list, size_t index, const char *text) {
  list->entries =
      static_cast<char **>(xrealloc(list->entries, (list->count + 1) * sizeof(char *)));
  memmove(list->entries + index + 1, list->entries + index, (list->count - index) * sizeof(char *));
  list->entries[index] = xstrdup(text);
  list->count++;
  size_t length = strlen(text);
  if (length > list->longest)
    list->longest = length;
}

static void append_prefix(plain_prefix_list *list, const char *text) {
  insert_prefix_at(list, list->count, text);
}

static void prepend_prefix(plain_prefix_list *list, const char *text) {
  insert_prefix_at(list, 0, text);
}

// Every ':'-separated piece becomes a directory ending in '/'; an empty piece
// means the current directory.
static void prefixes_from_text(const char *text, plain_prefix_list *list) {
  for (const char *piece = text;;) {
    size_t length = strcspn(piece, ":");
    char *prefix = static_cast<char *>(xmalloc(length + 3));
    if (length == 0) {
      strcpy(prefix, "./");
    } else {
      memcpy(prefix, piece, length);
      prefix[length] = '\0';
      if (piece[length - 1] != '/')
        strcpy(prefix + length, "/");
    }
    append_prefix(list, prefix);
    free(prefix);
    if (piece[length] == '\0')
      break;
    piece += length + 1;
  }
}

static void prefixes_from_env(const char *variable, plain_prefix_list *list) {
  if (const char *value = getenv(variable))
    prefixes_from_text(value, list);
}

static char *find_file_in(const plain_prefix_list *list, const char *name, int mode) {
  if (name[0] == '/')
    return access(name, mode) == 0 ? xstrdup(name) : nullptr;
  for (size_t i = 0; i < list->count; ++i) {
    char *path = concat(list->entries[i], name);
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISDIR(st.st_mode) && access(path, mode) == 0)
      return path;
    free(path);
  }
  return nullptr;
}

static void set_up_prefixes(const char *program) {
  const char *exec_prefix = getenv("QUARN_EXEC_PREFIX");
  char *relocate_from =
      exec_prefix ? concat(exec_prefix, wrapper_name) : program ? xstrdup(program) : nullptr;
  char *library_root = relocate_prefix(relocate_from, STANDARD_BINDIR_PREFIX, STANDARD_EXEC_PREFIX, true);
  char *libexec_root =
      relocate_prefix(relocate_from, STANDARD_BINDIR_PREFIX, STANDARD_LIBEXEC_PREFIX, true);
  free(relocate_from);

  char *tool_bin = concat(library_root ? library_root : STANDARD_EXEC_PREFIX,
                          QUARN_TARGET "/" QUARN_VERSION "/" TOOLDIR_BASE_PREFIX QUARN_TARGET "/bin");
  char *tool_libexec =
      concat(libexec_root ? libexec_root : STANDARD_LIBEXEC_PREFIX, QUARN_TARGET "/" QUARN_VERSION "/");
  prefixes_from_text(tool_bin, &tool_prefixes);
  prefixes_from_text(tool_libexec, &tool_prefixes);
  prefixes_from_env("PATH", &path_prefixes);
  free(tool_bin);
  free(tool_libexec);
  free(library_root);
  free(libexec_root);
}

static void remove_argument(int *argc, char **argv, int index) {
  memmove(argv + index, argv + index + 1, (*argc - index) * sizeof(char *));
  --*argc;
}

// Only the first -B counts: it is taken out of argv and its directory leads
// both lists. A later -B belongs to the tool.
static void take_directory_option(int *argc, char **argv) {
  for (int i = 0; i < *argc; ++i) {
    if (strncmp(argv[i], "-B", 2) != 0)
      continue;
    const char *dir = argv[i] + 2;
    remove_argument(argc, argv, i);
    if (*dir == '\0') {
      if (i >= *argc) {
        fputs(usage_text, stderr);
        exit(1);
      }
      dir = argv[i];
      remove_argument(argc, argv, i);
    }
    size_t length = strlen(dir);
    char *prefix = length > 0 && dir[length - 1] != '/' ? concat(dir, "/") : xstrdup(dir);
    prepend_prefix(&path_prefixes, prefix);
    prepend_prefix(&tool_prefixes, prefix);
    free(prefix);
    return;
  }
}

// The tool's command line: the tool, the plug-in, then the user's words. ar's
// key letters become an option, since they no longer come first.
static char **tool_arguments(const char *tool, const char *plugin, int argc, char **argv) {
  char **args = static_cast<char **>(xmalloc((argc + 3) * sizeof(char *)));
  int count = 0;
  args[count++] = const_cast<char *>(tool);
  args[count++] = const_cast<char *>("--plugin");
  args[count++] = const_cast<char *>(plugin);
  for (int i = 1; i < argc; ++i) {
    if (i == 1 && strcmp(tool_name, "ar") == 0 && argv[i][0] != '-')
      args[count++] = concat("-", argv[i]);
    else
      args[count++] = argv[i];
  }
  args[count] = nullptr;
  return args;
}

// The wrapper's exit status from the run's failure text or the tool's status.
static int report_tool_status(const char *tool, const char *failure, int status) {
  if (failure) {
    fprintf(stderr, "Error running %s: %s\n", tool, failure);
    return 1;
  }
  int low = status & 0x7f;
  if (low == 0)
    return (status >> 8) & 0xff;
  if (low != 0x7f && status != 0x13) {
    fprintf(stderr, "%s terminated with signal %d [%s]%s\n", tool, low, strsignal(low),
            (status & 0x80) ? ", core dumped" : "");
  }
  return 1;
}

int main(int argc, char **argv) {
  // Messages name the wrapper as it was started, even with no argv at all.
  const char *self = argc > 0 && argv[0] ? argv[0] : wrapper_name;
  set_up_prefixes(argc > 0 ? argv[0] : nullptr);
  take_directory_option(&argc, argv);

  char *plugin = find_file_in(&tool_prefixes, plugin_name, R_OK);
  if (!plugin) {
    fprintf(stderr, "%s: Cannot find plugin '%s'\n", self, plugin_name);
    return 1;
  }
  char *tool = find_file_in(&tool_prefixes, tool_name, X_OK);
  if (!tool)
    tool = find_file_in(&path_prefixes, tool_name, X_OK);
  if (!tool) {
    fprintf(stderr, "%s: Cannot find binary '%s'\n", self, tool_name);
    return 1;
  }

  char **args = tool_arguments(tool, plugin, argc, argv);
  char *program_name = concat("quarn-", tool);
  int status = 0, err = 0;
  const char *failure = pipeline_run_one(PEX_FINAL | PEX_PATH_SEARCH, tool, args, program_name,
                                         nullptr, nullptr, &status, &err);
  return report_tool_status(tool, failure, status);
}
