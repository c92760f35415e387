// The driver's translation set-up with the catalogue directory moved into the
// build tree, so a test can give the driver a catalogue without touching the
// configured directory. Everything else is the product's own code.
#include "quarn-config.h"

#undef QUARN_LOCALEDIR
#define QUARN_LOCALEDIR QUARN_TEST_LOCALEDIR

#include "diagnostics/intl.cc"
