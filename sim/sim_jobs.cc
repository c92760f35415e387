// What each stand-in does with its files. The outputs are small texts that name
// their inputs and options, so a test can follow a source file through the
// compiler, the assembler and the link into the final output.
#include "sim.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

void sim_error(const sim_run &run, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  fprintf(stderr, "%s: error: ", run.name);
  vfprintf(stderr, format, ap);
  fputc('\n', stderr);
  va_end(ap);
}

// An option word as the program saw it; `arg` is its separate argument, if any.
struct sim_option {
  const char *word;
  const char *arg;
};

// The command line split into option words and input words ("-" is an input).
struct sim_args {
  std::vector<sim_option> options;
  std::vector<const char *> inputs;
};

static bool in_table(const char *word, const char *const *table) {
  for (; *table; table++)
    if (strcmp(word, *table) == 0) return true;
  return false;
}

// Splits argv[1..]; the words of `separate` (null-terminated) take the next word
// as their argument.
static sim_args split_arguments(const sim_run &run, const char *const *separate) {
  sim_args args;
  for (int i = 1; i < run.argc; i++) {
    const char *word = run.argv[i];
    if (word[0] != '-' || word[1] == '\0') {
      args.inputs.push_back(word);
    } else if (in_table(word, separate) && i + 1 < run.argc) {
      args.options.push_back({word, run.argv[i + 1]});
      i++;
    } else {
      args.options.push_back({word, nullptr});
    }
  }
  return args;
}

// The argument of the last option `word` given with a separate argument.
static const char *separate_value(const sim_args &args, const char *word) {
  const char *value = nullptr;
  for (const sim_option &option : args.options)
    if (option.arg && strcmp(option.word, word) == 0) value = option.arg;
  return value;
}

// The text after `prefix` of the last option word starting with it.
static const char *joined_value(const sim_args &args, const char *prefix) {
  const char *value = nullptr;
  size_t length = strlen(prefix);
  for (const sim_option &option : args.options)
    if (strncmp(option.word, prefix, length) == 0) value = option.word + length;
  return value;
}

static bool has_option(const sim_args &args, const char *word) {
  for (const sim_option &option : args.options)
    if (strcmp(option.word, word) == 0) return true;
  return false;
}

// The output name: "-o NAME" or "-oNAME", the last one given.
static const char *output_name(const sim_args &args) {
  const char *value = nullptr;
  for (const sim_option &option : args.options) {
    if (strcmp(option.word, "-o") == 0 && option.arg)
      value = option.arg;
    else if (strncmp(option.word, "-o", 2) == 0 && option.word[2])
      value = option.word + 2;
  }
  return value;
}

static const char *display_name(const char *path) { return strcmp(path, "-") == 0 ? "<stdin>" : path; }

// Reads all of `fd`; false with errno set on a read error.
static bool read_all(int fd, std::string &text) {
  char buffer[65536];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    text.append(buffer, static_cast<size_t>(got));
  }
  return true;
}

// Whole-file input and output, "-" being standard input or output; failures
// report their own message.
static bool read_input(const sim_run &run, const char *path, std::string &text) {
  if (strcmp(path, "-") == 0) {
    if (read_all(STDIN_FILENO, text)) return true;
    sim_error(run, "cannot read standard input: %s", strerror(errno));
    return false;
  }
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    sim_error(run, "cannot open %s: %s", path, strerror(errno));
    return false;
  }
  bool ok = read_all(fd, text);
  if (!ok) sim_error(run, "cannot read %s: %s", path, strerror(errno));
  close(fd);
  return ok;
}

static bool write_all(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

static bool write_output(const sim_run &run, const char *path, const std::string &text) {
  if (strcmp(path, "-") == 0) {
    if (write_all(STDOUT_FILENO, text)) return true;
    sim_error(run, "cannot write standard output: %s", strerror(errno));
    return false;
  }
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    sim_error(run, "cannot open %s: %s", path, strerror(errno));
    return false;
  }
  bool written = write_all(fd, text);
  int saved = errno;
  if (close(fd) != 0 && written) {
    written = false;
    saved = errno;
  }
  if (!written) sim_error(run, "cannot write %s: %s", path, strerror(saved));
  return written;
}

// Reads every input in order; false after the first that cannot be read.
// Whole-file input and output, "-" being standard input or output; failures
// report their own message.
static bool read_inputs(const sim_run &run, const std::vector<const char *> &inputs,
                        std::vector<std::string> &texts) {
  for (const char *input : inputs) {
    texts.emplace_back();
    if (!read_input(run, input, texts.back())) return false;
  }
  return true;
}

static std::string joined_inputs(const std::vector<const char *> &inputs) {
  std::string out;
  for (const char *input : inputs) {
    if (!out.empty()) out += ' ';
    out += display_name(input);
  }
  return out;
}

// `text` with `prefix` in front of every line and a newline after the last.
static std::string prefixed_lines(const std::string &text, const char *prefix) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out += prefix;
    out.append(text, start, end - start);
    out += '\n';
    start = end + 1;
  }
  return out;
}

// ---- Compilers proper ------------------------------------------------------

// Options of the compilers proper whose argument is the next word.
static const char *const compiler_separate[] = {
    "-o", "-dumpbase", "-dumpbase-ext", "-dumpdir", "-auxbase", "-auxbase-strip",
    "-aux-info", "-MD", "-MMD", "-MF", "-MQ", "-MT", "-I", "-D", "-U", "-A", "-F", "-J",
    "-idirafter", "-imacros", "-imultiarch", "-imultilib", "-include", "-iprefix",
    "-iquote", "-isysroot", "-isystem", "-iwithprefix", "-iwithprefixbefore", "-x",
    "--param", nullptr,
};

// Options that change debug information only; the final-insns dump ignores them
// so that the two runs of a compare-debug compilation agree.
static const char *const debug_only_prefixes[] = {
    "-g", "-fcompare-debug", "-fvar-tracking", "-fdebug-", "-fworking-directory",
    "-fno-var-tracking", "-fno-debug-", "-fno-working-directory", "-feliminate-unused-debug",
    "-fno-eliminate-unused-debug", nullptr,
};

static bool starts_with_any(const char *word, const char *const *prefixes) {
  for (; *prefixes; prefixes++)
    if (strncmp(word, *prefixes, strlen(*prefixes)) == 0) return true;
  return false;
}

// Options that shape the generated code: -O..., -m..., -f... and -g..., but not
// the options naming dump files or seeds, which change from run to run.
static bool is_codegen_option(const sim_option &option) {
  const char *word = option.word;
  if (option.arg) return false;
  if (strncmp(word, "-fdump-", 7) == 0 || strncmp(word, "-frandom-seed", 13) == 0) return false;
  return strncmp(word, "-O", 2) == 0 || strncmp(word, "-m", 2) == 0 ||
         strncmp(word, "-f", 2) == 0 || strncmp(word, "-g", 2) == 0;
}

static std::string option_words(const sim_args &args, bool with_debug) {
  std::string out;
  for (const sim_option &option : args.options) {
    if (!is_codegen_option(option)) continue;
    if (!with_debug && starts_with_any(option.word, debug_only_prefixes)) continue;
    out += ' ';
    out += option.word;
  }
  return out;
}

static std::string sources(const std::vector<std::string> &texts) {
  std::string out;
  for (const std::string &text : texts) out += prefixed_lines(text, "> ");
  return out;
}

static std::string preprocessed(const std::vector<const char *> &inputs,
                                const std::vector<std::string> &texts) {
  std::string out;
  for (size_t i = 0; i < inputs.size(); i++) {
    out += "# 1 \"" + std::string(display_name(inputs[i])) + "\"\n";
    out += texts[i];
    if (!texts[i].empty() && texts[i].back() != '\n') out += '\n';
  }
  return out;
}

static uint32_t fnv1a(const std::string &text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

// The final-insns dump depends on the source and the code-generation options
// only. QUARN_SIM_DUMP_DIFFERS adds the debug options, to make compare-debug
// fail: "length" gives them as words (the dumps differ in length), any other
// value as a fixed-width hash (same length, different bytes).
static std::string final_insns(const sim_run &run, const sim_args &args,
                               const std::vector<std::string> &texts) {
  std::string out = std::string(run.name) + " (quarn stand-in) final insns\n";
  out += "options:" + option_words(args, false) + "\n";
  out += sources(texts);
  if (const char *differs = getenv("QUARN_SIM_DUMP_DIFFERS")) {
    std::string debug;
    for (const sim_option &option : args.options)
      if (is_codegen_option(option) && starts_with_any(option.word, debug_only_prefixes))
        debug += std::string(" ") + option.word;
    if (strcmp(differs, "length") == 0) {
      out += "debug:" + debug + "\n";
    } else {
      char hash[32];
      snprintf(hash, sizeof hash, "debug: %08x\n", fnv1a(debug));
      out += hash;
    }
  }
  return out;
}

// "TARGET: INPUTS" for -MD/-MMD/-MF; the target is -MT/-MQ or the object the
// first input becomes.
static std::string dependencies(const sim_args &args) {
  const char *target = separate_value(args, "-MT");
  if (!target) target = separate_value(args, "-MQ");
  std::string out;
  if (target) {
    out = target;
  } else {
    std::string base = args.inputs.empty() ? "-" : display_name(args.inputs[0]);
    size_t slash = base.rfind('/');
    if (slash != std::string::npos) base.erase(0, slash + 1);
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    out = base + ".o";
  }
  out += ":";
  for (const char *input : args.inputs) out += std::string(" ") + display_name(input);
  return out + "\n";
}

int run_compiler(const sim_run &run) {
  sim_args args = split_arguments(run, compiler_separate);
  if (args.inputs.empty()) args.inputs.push_back("-");
  std::vector<std::string> texts;
  if (!read_inputs(run, args.inputs, texts)) return 1;
  const char *output = output_name(args);
  if (!output) output = "-";

  bool ok;
  if (has_option(args, "-E")) {
    ok = write_output(run, output, preprocessed(args.inputs, texts));
  } else {
    std::string header = std::string(run.name) + " (quarn stand-in) compiled " + joined_inputs(args.inputs);
    std::string body = "options:" + option_words(args, true) + "\n" + sources(texts);
    ok = write_output(run, output, "// " + header + "\n" + prefixed_lines(body, "// "));
    if (const char *pch = joined_value(args, "--output-pch="))
      ok = write_output(run, pch, std::string(run.name) + " (quarn stand-in) precompiled header of " +
                                      joined_inputs(args.inputs) + "\n" + body) && ok;
    if (const char *dump = joined_value(args, "-fdump-final-insns="))
      ok = write_output(run, dump, final_insns(run, args, texts)) && ok;
  }
  const char *deps = separate_value(args, "-MF");
  if (!deps) deps = separate_value(args, "-MD");
  if (!deps) deps = separate_value(args, "-MMD");
  if (deps) ok = write_output(run, deps, dependencies(args)) && ok;
  return ok ? 0 : 1;
}

// ---- Assembler ---------------------------------------------------------------

static const char *const assembler_separate[] = {"-o", "-I", "--debug-prefix-map", nullptr};

static const char object_marker[] = " (quarn stand-in) object from ";

int run_assembler(const sim_run &run) {
  sim_args args = split_arguments(run, assembler_separate);
  if (args.inputs.empty()) args.inputs.push_back("-");
  std::vector<std::string> texts;
  if (!read_inputs(run, args.inputs, texts)) return 1;
  const char *output = output_name(args);
  std::string object = std::string(run.name) + object_marker + joined_inputs(args.inputs) + "\n";
  for (const std::string &text : texts) object += prefixed_lines(text, "");
  return write_output(run, output ? output : "a.out", object) ? 0 : 1;
}

// ---- Linker --------------------------------------------------------------------

static const char *const linker_separate[] = {
    "-plugin", "-rpath", "-rpath-link", "-dynamic-linker", "-L", "-T", "-e",
    "-u", "-z", "-h", "-soname", "-R", "-Tbss", "-Tdata", "-Ttext", "-m", "-defsym",
    "-y", "-Y", nullptr,
};

// The objects of the stand-in assembler are copied into the link output, so it
// shows every source that went into it. Other inputs (libraries, start files,
// files that do not exist) are only named.
static std::string linked_object(const char *path) {
  std::string text;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  bool ok = read_all(fd, text);
  close(fd);
  if (!ok || text.substr(0, text.find('\n')).find(object_marker) == std::string::npos) return "";
  return prefixed_lines(text, "  ");
}

int run_linker(const sim_run &run) {
  std::string out = std::string(run.name) + " (quarn stand-in) linked\n";
  const char *output = "a.out";
  size_t linked = 0;
  for (int i = 1; i < run.argc; i++) {
    const char *word = run.argv[i];
    const char *next = i + 1 < run.argc ? run.argv[i + 1] : nullptr;
    if (word[0] != '-' || word[1] == '\0') {
      out += std::string("input ") + word + "\n" + linked_object(word);
      linked++;
    } else if (strncmp(word, "-l", 2) == 0 && (word[2] || next)) {
      out += std::string("library -l") + (word[2] ? word + 2 : next) + "\n";
      linked++;
      i += !word[2];
    } else if (strcmp(word, "-o") == 0 && next) {
      output = next;
      i++;
    } else if (strncmp(word, "-o", 2) == 0 && word[2]) {
      output = word + 2;
    } else if (in_table(word, linker_separate) && next) {
      i++;
    }
  }
  if (!linked) {
    sim_error(run, "no input files");
    return 1;
  }
  return write_output(run, output, out) ? 0 : 1;
}

// ---- Programs whose run is only recorded --------------------------------------

int run_recorder(const sim_run &run) { return 0; }
