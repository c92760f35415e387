// Set-up both spec fuzz targets share: diagnostics whose finalizer is the target's
// own hook, so a fatal error comes back to the target instead of ending it.
#pragma once

#include "diagnostics/diagnostic.h"

// The finalizer diagnostics came with; a target's hook calls it first.
inline diag_hook original_finalizer;

inline void set_up_diagnostics(diag_hook hook) {
  progname = "quarn++";
  diag_context_init(global_dc);
  original_finalizer = global_dc->finalizer;
  global_dc->finalizer = hook;
}
