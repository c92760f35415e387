// Stand-in linker plug-in: only its presence and readability matter.
extern "C" const char *sluice_plugin_name() { return "libsluice.so"; }
