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
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>

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

static const char *const no_separate_options[] = {nullptr};

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

// Reads every input in order; false after the first that cannot be read.
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

// The value of `option` when it is `word`: its separate argument, or the text
// joined after it; null for any other option.
static const char *option_value(const sim_option &option, const char *word) {
  size_t length = strlen(word);
  if (strncmp(option.word, word, length) != 0) return nullptr;
  if (option.word[length]) return option.word + length;
  return option.arg;
}

// Every value of `word` in command-line order.
static std::vector<std::string> option_values(const sim_args &args, const char *word) {
  std::vector<std::string> values;
  for (const sim_option &option : args.options)
    if (const char *value = option_value(option, word)) values.push_back(value);
  return values;
}

static sim_include_dirs include_dirs(const sim_args &args) {
  sim_include_dirs dirs;
  dirs.quote = option_values(args, "-iquote");
  dirs.user = option_values(args, "-I");
  dirs.system = option_values(args, "-isystem");
  for (const std::string &dir : option_values(args, "-idirafter")) dirs.system.push_back(dir);
  return dirs;
}

// The object a source becomes: its last component with ".o" for its suffix.
static std::string default_target(const char *input) {
  std::string base = input;
  size_t slash = base.rfind('/');
  if (slash != std::string::npos) base.erase(0, slash + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.erase(dot);
  return base + ".o";
}

// The make rules of a compilation: the -MT targets as given and the -MQ ones
// quoted, in order, or the object of the first input; the sources and then
// every header once (system headers only when `system_headers`); with -MP an
// empty rule per header.
static std::string dependencies(const sim_args &args, const std::vector<sim_unit> &units,
                                bool system_headers) {
  std::vector<std::string> targets;
  for (const sim_option &option : args.options) {
    if (const char *value = option_value(option, "-MT")) targets.push_back(value);
    if (const char *value = option_value(option, "-MQ")) targets.push_back(make_quoted(value));
  }
  if (targets.empty()) targets.push_back(make_quoted(default_target(args.inputs[0])));
  std::vector<std::string> prerequisites, headers;
  for (const char *input : args.inputs)
    if (strcmp(input, "-") != 0) prerequisites.push_back(make_quoted(input));
  for (const sim_unit &unit : units)
    for (const sim_header &header : unit.headers) {
      std::string name = make_quoted(header.path);
      bool listed = false;
      for (const std::string &seen : headers) listed = listed || seen == name;
      if (!listed && (system_headers || !header.system)) headers.push_back(name);
    }
  prerequisites.insert(prerequisites.end(), headers.begin(), headers.end());
  if (!has_option(args, "-MP")) headers.clear();
  return dependency_rules(targets, prerequisites, headers);
}

// The assembler text at `output`, and the precompiled header and the
// final-insns dump when asked for.
static bool write_compiled(const sim_run &run, const sim_args &args, const std::vector<std::string> &texts,
                           const char *output) {
  std::string inputs = joined_inputs(args.inputs);
  std::string body = "options:" + option_words(args, true) + "\n" + sources(texts);
  bool ok = write_output(run, output, "// " + std::string(run.name) + " (quarn stand-in) compiled " + inputs +
                                          "\n" + prefixed_lines(body, "// "));
  if (const char *pch = joined_value(args, "--output-pch="))
    ok = write_output(run, pch, std::string(run.name) + " (quarn stand-in) precompiled header of " + inputs +
                                    "\n" + body) && ok;
  if (const char *dump = joined_value(args, "-fdump-final-insns="))
    ok = write_output(run, dump, final_insns(run, args, texts)) && ok;
  return ok;
}

int run_compiler(const sim_run &run) {
  sim_args args = split_arguments(run, compiler_separate);
  if (args.inputs.empty()) args.inputs.push_back("-");
  std::vector<std::string> texts;
  if (!read_inputs(run, args.inputs, texts)) return 1;
  const char *output = output_name(args);
  if (!output) output = "-";

  // -M and -MM write the rules in place of the output, -MD and -MMD beside it.
  bool rules_only = has_option(args, "-M") || has_option(args, "-MM");
  const char *beside = separate_value(args, "-MD");
  if (!beside) beside = separate_value(args, "-MMD");
  std::vector<std::string> rules_files = option_values(args, "-MF");
  const char *rules_file = !rules_files.empty() ? rules_files.back().c_str() : rules_only ? output : beside;
  bool preprocess = has_option(args, "-E") || rules_only;

  std::vector<sim_unit> units(args.inputs.size());
  // Preprocessed input has no #include lines left to follow.
  if (preprocess || (beside && !has_option(args, "-fpreprocessed"))) {
    sim_include_dirs dirs = include_dirs(args);
    for (size_t i = 0; i < args.inputs.size(); i++)
      if (!preprocess_unit(run, args.inputs[i], texts[i], dirs, has_option(args, "-MG"), units[i])) return 1;
  }

  bool ok = true;
  if (!preprocess) {
    ok = write_compiled(run, args, texts, output);
  } else if (!rules_only) {
    std::string text;
    for (const sim_unit &unit : units) text += unit.text;
    ok = write_output(run, output, text);
  }
  if (rules_only || beside) {
    bool system_headers = !has_option(args, "-MM") && !has_option(args, "-MMD");
    ok = write_output(run, rules_file, dependencies(args, units, system_headers)) && ok;
  }
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
    "-plugin", "-rpath", "-rpath-link", "-dynamic-linker", "-L", "-T", "-e", "-assert",
    "-u", "-z", "-h", "-soname", "-R", "-Tbss", "-Tdata", "-Ttext", "-m", "-defsym",
    "-y", "-Y", nullptr,
};

// Start and end files: the driver names them bare when it finds none, and the
// stand-in links without them.
static const char *const optional_inputs[] = {
    "crt1.o", "gcrt1.o", "Scrt1.o", "crti.o", "crtn.o", "crtbegin.o", "crtbeginS.o",
    "crtbeginT.o", "crtend.o", "crtendS.o", "crtfastmath.o", "libasan_preinit.o", nullptr,
};

static bool is_optional_input(const char *path) {
  const char *slash = strrchr(path, '/');
  return in_table(slash ? slash + 1 : path, optional_inputs);
}

// The objects of the stand-in assembler are copied into the link output, so it
// shows every source that went into it; other files are only named.
static bool link_input(const sim_run &run, const char *path, std::string &out) {
  out += std::string("input ") + path + "\n";
  struct stat st;
  if (stat(path, &st) != 0) {
    if (is_optional_input(path)) return true;
    sim_error(run, "cannot find %s: %s", path, strerror(errno));
    return false;
  }
  std::string text;
  if (!read_input(run, path, text)) return false;
  if (text.substr(0, text.find('\n')).find(object_marker) != std::string::npos)
    out += prefixed_lines(text, "  ");
  return true;
}

int run_linker(const sim_run &run) {
  std::string out = std::string(run.name) + " (quarn stand-in) linked\n";
  const char *output = "a.out";
  size_t linked = 0;
  bool ok = true;
  for (int i = 1; i < run.argc; i++) {
    const char *word = run.argv[i];
    const char *next = i + 1 < run.argc ? run.argv[i + 1] : nullptr;
    if (word[0] != '-' || word[1] == '\0') {
      ok = link_input(run, word, out) && ok;
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
  if (!ok) return 1;
  return write_output(run, output, out) ? 0 : 1;
}

// ---- Split debug information -----------------------------------------------------

static const char dwo_marker[] = " (quarn stand-in) split debug information of ";
static const char stripped_line[] = "(split debug information removed)\n";

// "--extract-dwo OBJ DWO" copies the object into DWO; "--strip-dwo OBJ" marks
// the object as stripped. Any other use is only recorded.
int run_objcopy(const sim_run &run) {
  sim_args args = split_arguments(run, no_separate_options);
  bool extract = has_option(args, "--extract-dwo"), strip = has_option(args, "--strip-dwo");
  if (!extract && !strip) return 0;
  if (args.inputs.size() < (extract ? 2u : 1u)) {
    sim_error(run, "missing file operand");
    return 1;
  }
  const char *object = args.inputs[0];
  std::string text;
  if (!read_input(run, object, text)) return 1;
  if (extract && !write_output(run, args.inputs[1], std::string(run.name) + dwo_marker + object + "\n" +
                                                        prefixed_lines(text, "  ")))
    return 1;
  bool marked = text.size() >= strlen(stripped_line) &&
                text.compare(text.size() - strlen(stripped_line), std::string::npos, stripped_line) == 0;
  if (strip && !marked && !write_output(run, object, prefixed_lines(text, "") + stripped_line)) return 1;
  return 0;
}

// ---- Programs whose run is only recorded --------------------------------------

int run_recorder(const sim_run &) { return 0; }
