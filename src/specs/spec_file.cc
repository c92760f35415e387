// Reading a spec file: entries "*name:" and compiler rows, and, in files
// other than the main one, the %include, %include_noerr and %rename
// commands.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics/diagnostic.h"
#include "options/opts.h"
#include "specs/compilers.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/file_lookup.h"
#include "support/prefix_list.h"

// Deep enough for any real chain of includes; a file that reaches itself
// stops here instead of exhausting the stack.
static const int max_spec_file_depth = 20;

static std::string read_spec_file(const char *filename) {
  int fd = open(filename, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0)
    fatal_error(UNKNOWN_LOCATION, "cannot read spec file %qs: %m", filename);
  std::string text(size_t(st.st_size), '\0');
  size_t have = 0;
  while (have < text.size()) {
    ssize_t n = read(fd, &text[have], text.size() - have);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      fatal_error(UNKNOWN_LOCATION, "cannot read spec file %qs: %m", filename);
    if (n == 0)
      break;
    have += size_t(n);
  }
  // A directory opens and measures fine; only reading it fails.
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    fatal_error(UNKNOWN_LOCATION, "cannot read spec file %qs: %m", filename);
  }
  text.resize(have);
  close(fd);
  return text;
}

// A carriage return next to a line feed belongs to a CRLF (or LFCR) pair and
// goes; a lone one ends a line.
static std::string normalise_line_ends(const std::string &raw) {
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); i++) {
    if (raw[i] != '\r') {
      text += raw[i];
    } else if (!((i > 0 && raw[i - 1] == '\n') || (i + 1 < raw.size() && raw[i + 1] == '\n'))) {
      text += '\n';
    }
  }
  return text;
}

struct spec_reader {
  const char *filename;
  bool from_user_file;
  const std::string &text;
  size_t pos = 0;

  char at(size_t i) const { return i < text.size() ? text[i] : '\0'; }
  bool at_end(size_t i) const { return i >= text.size(); }
  size_t line_end(size_t i) const {
    size_t end = text.find('\n', i);
    return end == std::string::npos ? text.size() : end;
  }
  bool starts_with(size_t i, const char *word) const {
    return text.compare(i, strlen(word), word) == 0;
  }
};

[[noreturn]] static void malformed(const char *format, size_t offset) {
  fatal_error(UNKNOWN_LOCATION, format, long(offset));
}

static bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Skips blanks, line feeds and comment lines, but stops on the second of
// three line feeds in a row: there an entry was expected and none begins.
static void skip_space_and_comments(spec_reader &r) {
  while (!r.at_end(r.pos)) {
    char c = r.at(r.pos);
    if (c == '\n' && r.at(r.pos + 1) == '\n' && r.at(r.pos + 2) == '\n') {
      r.pos++;
      return;
    }
    if (c == ' ' || c == '\t' || c == '\n')
      r.pos++;
    else if (c == '#')
      r.pos = r.line_end(r.pos);
    else
      return;
  }
}

static void read_included_file(spec_reader &r, size_t command_length, bool missing_ok) {
  size_t p = r.pos + command_length;
  while (is_blank(r.at(p)))
    p++;
  size_t end = r.line_end(p);
  if (r.at(p) != '<' || end == p + 1 || r.at(end - 1) != '>')
    malformed("specs %%include syntax malformed after %ld characters", p + 2);
  std::string name = r.text.substr(p + 1, end - p - 2);
  r.pos = end;

  char *found = find_in_prefixes(&library_prefixes, name.c_str(), LOOKUP_READ, true);
  const bool was_found = found != nullptr;
  const std::string path = found ? found : name;
  free(found);
  if (was_found || !missing_ok)
    load_spec_file(path.c_str(), false, r.from_user_file);
  else if (global_options.verbose_flag)
    notice_to_stream(stderr, "could not find specs file %s\n", name.c_str());
}

// A name of the %rename command: a letter, then anything up to white space.
static std::string rename_word(spec_reader &r, size_t &p) {
  if (!isalpha(static_cast<unsigned char>(r.at(p))))
    malformed("specs %%rename syntax malformed after %ld characters", p);
  size_t start = p;
  while (!r.at_end(p) && !is_blank(r.at(p)) && r.at(p) != '\n')
    p++;
  return r.text.substr(start, p - start);
}

static void rename_spec(spec_reader &r) {
  size_t p = r.pos + strlen("%rename") + 1;
  while (is_blank(r.at(p)))
    p++;
  std::string old_name = rename_word(r, p);
  if (!is_blank(r.at(p)))
    malformed("specs %%rename syntax malformed after %ld characters", p);
  while (is_blank(r.at(p)))
    p++;
  std::string new_name = rename_word(r, p);
  if (!r.at_end(p) && r.at(p) != '\n')
    malformed("specs %%rename syntax malformed after %ld characters", p);
  r.pos = p;

  named_spec *old_spec = lookup_spec(old_name.c_str(), old_name.size());
  if (!old_spec)
    fatal_error(UNKNOWN_LOCATION, "specs %s spec was not found to be renamed", old_name.c_str());
  if (old_name == new_name)
    return;
  if (lookup_spec(new_name.c_str(), new_name.size()))
    fatal_error(UNKNOWN_LOCATION, "%s: attempt to rename spec %qs to already defined spec %qs",
                r.filename, old_name.c_str(), new_name.c_str());
  if (global_options.verbose_flag)
    notice_to_stream(stderr, "rename spec %s to %s\n", old_name.c_str(), new_name.c_str());
  define_spec(new_name.c_str(), *old_spec->slot ? *old_spec->slot : "", r.from_user_file);
  if (old_spec->owned)
    free(const_cast<char *>(*old_spec->slot));
  *old_spec->slot = "";
  old_spec->owned = false;
}

static void read_command(spec_reader &r) {
  auto command_is = [&](const char *word) {
    return r.starts_with(r.pos, word) && is_blank(r.at(r.pos + strlen(word)));
  };
  if (command_is("%include"))
    read_included_file(r, strlen("%include") + 1, false);
  else if (command_is("%include_noerr"))
    read_included_file(r, strlen("%include_noerr") + 1, true);
  else if (command_is("%rename"))
    rename_spec(r);
  else
    malformed("specs unknown %% command after %ld characters", r.pos);
}

// The text of an entry without its escaped line ends and its comments.
static std::string entry_text(const std::string &raw) {
  std::string text;
  for (size_t i = 0; i < raw.size(); i++) {
    if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '\n') {
      i++;
    } else if (raw[i] == '#') {
      while (i + 1 < raw.size() && raw[i + 1] != '\n')
        i++;
    } else {
      text += raw[i];
    }
  }
  return text;
}

static void read_entry(spec_reader &r) {
  size_t name_start = r.pos;
  size_t colon = name_start;
  while (!r.at_end(colon) && r.at(colon) != ':' && r.at(colon) != '\n')
    colon++;
  if (r.at(colon) != ':')
    malformed("specs file malformed after %ld characters", colon);
  size_t name_end = colon;
  while (name_end > name_start && is_blank(r.at(name_end - 1)))
    name_end--;
  std::string name = r.text.substr(name_start, name_end - name_start);

  r.pos = colon + 1;
  skip_space_and_comments(r);
  if (r.text.size() - r.pos < 2)
    malformed("specs file malformed after %ld characters", r.pos);

  // The text ends at the first line feed that a blank line or the end of the
  // file follows.
  size_t end = r.pos;
  while (!r.at_end(end) && !(r.at(end) == '\n' && (r.at_end(end + 1) || r.at(end + 1) == '\n')))
    end++;
  std::string text = entry_text(r.text.substr(r.pos, end - r.pos));
  r.pos = end;

  if (name == "*link_command") {
    set_link_command(text.c_str());
  } else if (name[0] == '*') {
    define_spec(name.c_str() + 1, text.c_str(), r.from_user_file);
  } else {
    add_compiler_row(xstrdup(name.c_str()), xstrdup(text.c_str()));
    if (name.empty())
      set_link_command(text.c_str());
  }
}

namespace {
// Keeps the include depth right however the reading ends.
struct file_depth_guard {
  file_depth_guard() { interpreter.spec_file_depth++; }
  ~file_depth_guard() { interpreter.spec_file_depth--; }
};
} // namespace

void load_spec_file(const char *filename, bool is_main, bool from_user_file) {
  file_depth_guard depth;
  if (interpreter.spec_file_depth > max_spec_file_depth)
    fatal_error(UNKNOWN_LOCATION, "spec file %qs included too deeply", filename);
  if (global_options.verbose_flag)
    notice_to_stream(stderr, "Reading specs from %s\n", filename);

  const std::string text = normalise_line_ends(read_spec_file(filename));
  spec_reader r{filename, from_user_file, text};
  for (;;) {
    skip_space_and_comments(r);
    if (r.at_end(r.pos))
      break;
    if (!is_main && r.at(r.pos) == '%')
      read_command(r);
    else
      read_entry(r);
  }

  if (!link_command_spec)
    fatal_error(UNKNOWN_LOCATION, "spec file has no spec for linking");
}
