// The stand-in toolchain: one program that plays every sibling the driver runs,
// chosen by the name it was started as.
#pragma once

// One run of the program: its name (last component of argv[0]) and its argv.
struct sim_run {
  const char *name;
  int argc;
  char **argv;
};

// "NAME: error: MESSAGE" on standard error.
void sim_error(const sim_run &run, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Appends the run's JSON line to the file named by QUARN_SIM_LOG, when set.
void append_log_line(const sim_run &run);

// What each program does; every job returns the exit status.
int run_compiler(const sim_run &run);
int run_assembler(const sim_run &run);
int run_linker(const sim_run &run);
int run_recorder(const sim_run &run);
