// The one way the driver reads its configuration variables and writes the
// environment of its children, so that -v shows every assignment it makes.
#pragma once

struct env_manager {
  // The variable's value, or none.
  const char *getenv(const char *name) const;
  // Puts "NAME=value" into the process environment, replacing any earlier
  // NAME; with -v the assignment is first echoed on standard error. The text
  // is copied and stays in the environment until the process ends.
  void xput(const char *assignment);
};

extern env_manager driver_env;
