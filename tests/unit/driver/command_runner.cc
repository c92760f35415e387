#include "command_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "driver/dump_names.h"
#include "driver/lang_driver.h"
#include "driver/process_command.h"
#include "options/opts.h"
#include "support/execute.h"
#include "support/prefix_list.h"

namespace {

const char *const driver_variables[] = {
    "QUARN_EXEC_PREFIX", "COMPILER_PATH", "LIBRARY_PATH", "LPATH", "QUARN_COMPARE_DEBUG",
    "QUARN_ROOT",        "SHALE_ROOT",    "SOURCE_DATE_EPOCH", "QUARN_COLORS", "QUARN_URLS"};

std::string or_unset(const char *text) { return text ? text : "(unset)"; }

void print_switches(FILE *out) {
  for (int i = 0; i < driver.switches.count; i++) {
    const driver_switch &sw = driver.switches.entries[i];
    fprintf(out, "switches -%s", sw.name);
    for (const char *const *arg = sw.args; arg && *arg; arg++)
      fprintf(out, " %s", *arg);
    if (sw.accepted)
      fprintf(out, " (accepted)");
    if (!sw.recognized)
      fprintf(out, " (unrecognized)");
    fprintf(out, "\n");
  }
}

void print_inputs(FILE *out) {
  for (int i = 0; i < driver.inputs.count; i++) {
    const input_entry &input = driver.inputs.entries[i];
    fprintf(out, "inputs %s", input.name);
    if (input.language)
      fprintf(out, " [%s]", input.language);
    fprintf(out, "\n");
  }
}

void print_list(FILE *out, const char *section, const arg_vector &list) {
  for (size_t i = 0; i < list.count; i++)
    fprintf(out, "%s %s\n", section, list.items[i]);
}

void print_prefixes(FILE *out, const char *section, const search_path_list &list) {
  for (const search_path_entry *e = list.first_entry; e; e = e->next)
    fprintf(out, "%s %s p%d s%d o%d\n", section, e->prefix, e->priority, e->suffix_mode,
            e->use_os_dir);
}

void print_state(FILE *out) {
  print_switches(out);
  print_inputs(out);
  print_list(out, "asm", driver.asm_options);
  print_list(out, "cpp", driver.cpp_options);
  print_list(out, "link", driver.link_options);
  print_list(out, "specs", driver.user_spec_files);
  print_prefixes(out, "program", program_prefixes);
  print_prefixes(out, "library", library_prefixes);
  print_prefixes(out, "header", header_prefixes);
  const std::pair<const char *, std::string> values[] = {
      {"exec_root", or_unset(driver.exec_root)},
      {"libexec_root", or_unset(driver.libexec_root)},
      {"install_root", or_unset(install_root)},
      {"compiler_version", or_unset(driver.compiler_version)},
      {"output_name", or_unset(driver.output_name)},
      {"dump_dir", or_unset(driver.dump_dir)},
      {"dump_dir_length", std::to_string(driver.dump_dir_length)},
      {"dump_base", or_unset(driver.dump_base)},
      {"dump_base_ext", or_unset(driver.dump_base_ext)},
      {"out_base", or_unset(driver.out_base)},
      {"out_base_length", std::to_string(driver.out_base_length)},
      {"save_temps_mode", std::to_string(driver.save_temps_mode)},
      {"stop_before_link", std::to_string(driver.stop_before_link)},
      {"current_language", or_unset(driver.current_language)},
      {"driver_added_inputs", std::to_string(driver.driver_added_inputs)},
      {"compare_debug_mode", std::to_string(driver.compare_debug_mode)},
      {"compare_debug_option", or_unset(driver.compare_debug_option)},
      {"undefined_variables_allowed", std::to_string(driver.undefined_variables_allowed)},
      {"offload_targets", or_unset(driver.offload_target_list)},
      {"linker_suffix", or_unset(driver.linker_suffix)},
      {"target_root", or_unset(target_root)},
      {"completion", or_unset(driver.completion)},
      {"subprocess_help", std::to_string(driver.subprocess_help)},
      {"verbose", std::to_string(exec_state.verbose)},
      {"echo_only", std::to_string(exec_state.echo_only)},
      {"wrapper", or_unset(exec_state.wrapper)},
      {"report_times", std::to_string(exec_state.report_times)},
      {"report_bug", std::to_string(exec_state.report_bug)},
      {"exec_print_help", std::to_string(exec_state.print_help)},
      {"pass_exit_codes", std::to_string(driver.pass_exit_codes)},
      {"preprocess_only", std::to_string(driver.preprocess_only)},
      {"wpa_mode", or_unset(driver.wpa_mode)},
      {"compare_debug_second", std::to_string(driver.compare_debug_second)},
      {"time_file", exec_state.time_file ? "open" : "(unset)"},
      {"use_pipes", std::to_string(global_options.use_pipes)},
      {"debug_level", std::to_string(global_options.debug_level)},
      {"print_file_name", or_unset(global_options.print_file_name)},
      {"switch_terminator", driver.switches.entries &&
                                    !driver.switches.entries[driver.switches.count].name
                                ? "yes"
                                : "no"},
      {"input_terminator",
       driver.inputs.entries && !driver.inputs.entries[driver.inputs.count].name ? "yes" : "no"},
      {"source_date_epoch", or_unset(getenv("SOURCE_DATE_EPOCH"))},
      {"exported_exec_prefix", or_unset(getenv("QUARN_EXEC_PREFIX"))},
  };
  for (const auto &[name, value] : values)
    fprintf(out, "values %s=%s\n", name, value.c_str());
  // What the link step will see of the dump names.
  finish_dump_names_for_link();
  fprintf(out, "values link_dump_dir=%s\n", or_unset(driver.dump_dir).c_str());
  fprintf(out, "values link_dump_dir_length=%d\n", driver.dump_dir_length);
}

void print_options(FILE *out, const decoded_option *options, unsigned count) {
  for (unsigned i = 1; i < count; i++) {
    fprintf(out, "options");
    for (size_t w = 0; w < options[i].canonical_word_count; w++)
      fprintf(out, " %s", options[i].canonical_words[w]);
    fprintf(out, "\n");
  }
}

std::string read_all(FILE *file) {
  std::string text;
  rewind(file);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
    text.append(buffer, n);
  fclose(file);
  return text;
}

template <typename body_fn>
command_result run_in_child(std::vector<std::string> args, const env_list &env,
                            const std::string &cwd, body_fn body) {
  if (args.empty())
    args.push_back("/usr/local/pell12/bin/quarn++");
  FILE *out = tmpfile(), *err = tmpfile();
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    for (const char *name : driver_variables)
      unsetenv(name);
    for (const auto &[name, value] : env)
      setenv(name.c_str(), value.c_str(), 1);
    setenv("LC_ALL", "C", 1);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0)
      _exit(99);
    std::vector<const char *> argv;
    for (const std::string &arg : args)
      argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    progname = "quarn++";
    diag_context_init(global_dc);
    init_options_storage();
    decoded_option *decoded = nullptr;
    unsigned count = 0;
    decode_argv_options(args.size(), argv.data(), CL_DRIVER, &decoded, &count);
    body(&decoded, &count);
    fflush(stdout);
    fflush(stderr);
    _exit(0);
  }
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  command_result result;
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
  std::string text = read_all(out);
  result.err = read_all(err);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    size_t space = line.find(' ');
    if (space == std::string::npos)
      result.out += line + "\n";
    else
      result.sections[line.substr(0, space)].push_back(line.substr(space + 1));
  }
  return result;
}

} // namespace

std::string command_result::value(const std::string &name) const {
  auto found = sections.find("values");
  if (found != sections.end())
    for (const std::string &entry : found->second)
      if (entry.compare(0, name.size() + 1, name + "=") == 0)
        return entry.substr(name.size() + 1);
  return "(unset)";
}

command_result run_command(std::vector<std::string> args, const env_list &env,
                           const std::string &cwd) {
  return run_in_child(args, env, cwd, [](decoded_option **decoded, unsigned *count) {
    process_command(count, decoded);
    print_state(stdout);
  });
}

command_result run_lang_driver(std::vector<std::string> args) {
  return run_in_child(args, {}, "", [](decoded_option **decoded, unsigned *count) {
    int added = 0;
    lang_specific_driver(decoded, count, &added);
    print_options(stdout, *decoded, *count);
    printf("values driver_added_inputs=%d\n", added);
  });
}
