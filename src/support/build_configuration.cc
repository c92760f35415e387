#include "support/build_configuration.h"

#include "quarn-config.h"
#include "diagnostics/intl.h"

void print_build_configuration(FILE *stream) {
  fprintf(stream, _("Target: %s\n"), QUARN_TARGET);
  fprintf(stream, _("Configured with: %s\n"), QUARN_CONFIGURE_ARGS);
  fprintf(stream, _("Thread model: %s\n"), "posix");
  fputs(_("Supported LTO compression algorithms: zlib"), stream);
  fputs("\n", stream);
  fprintf(stream, _("quarn version %s %s\n"), QUARN_VERSION_STRING, QUARN_PKGVERSION);
}
