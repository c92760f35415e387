// The built-in spec texts: the named specs with their program-wide slots, the
// extra "asm_cpu_spec" entry, the link command and the self specs set-up
// applies. The texts themselves are data in builtin-specs.def.
#include "quarn-config.h"
#include "specs/spec_store.h"
#include "support/multilib.h"

#define BUILTIN_SPEC(id, name, text) text,
const char *builtin_spec_slots[BUILTIN_SPEC_COUNT] = {
#include "specs/builtin-specs.def"
};
const char *const builtin_spec_texts[BUILTIN_SPEC_COUNT] = {
#include "specs/builtin-specs.def"
};
#undef BUILTIN_SPEC
#define BUILTIN_SPEC(id, name, text) name,
const char *const builtin_spec_names[BUILTIN_SPEC_COUNT] = {
#include "specs/builtin-specs.def"
};
#undef BUILTIN_SPEC

// Turns -mcpu=CPU+ext into the assembler's -march= spelling.
const char *const asm_cpu_spec_text = " %{mcpu=*:-march=%:rewrite_mcpu(%{mcpu=*:%*})}";

// Replaced by a spec-file entry *link_command.
const char *const builtin_link_command_text =
    "%{!fsyntax-only:%{!c:%{!M:%{!MM:%{!E:%{!S:    %(linker) %{!fno-use-linker-plugin:%{!fno-lto:  "
    "   -plugin %(linker_plugin_file)     -plugin-opt=%(cairn)     -plugin-opt=-fresolution=%u.res "
    "        %{flinker-output=*:-plugin-opt=-linker-output-known}     "
    "%{!nostdlib:%{!nodefaultlibs:%:pass-through-libs(%(link_quarn_c_sequence))}}     "
    "}}%{flto|flto=*:%<fcompare-debug*}     %{flto} %{fno-lto} %{flto=*} %l "
    "%{static|shared|r:;pie:-pie} %{fuse-ld=*:-fuse-ld=%*}  "
    "%{gz|gz=zlib:--compress-debug-sections=zlib} %{gz=none:--compress-debug-sections=none} "
    "%{gz=zlib-brask:--compress-debug-sections=zlib-brask} %X %{o*} %{e*} %{N} %{n} %{r}    %{s} "
    "%{t} %{u*} %{z} %{Z} %{!nostdlib:%{!r:%{!nostartfiles:%S}}}     %{static|no-pie|static-pie:} "
    "%@{L*} %(mfwrap) %(link_libquarn) %{fvtable-verify=none:} %{fvtable-verify=std:   "
    "%e-fvtable-verify=std is not supported in this configuration} %{fvtable-verify=preinit:   "
    "%e-fvtable-verify=preinit is not supported in this configuration} "
    "%{!nostdlib:%{!r:%{!nodefaultlibs:%{%:sanitize(address):%{!shared:libasan_preinit%O%s} "
    "%{static-libasan:%{!shared:-Bstatic --whole-archive -lasan --no-whole-archive "
    "-Bdynamic}}%{!static-libasan:-lasan -lpthread}}     %{%:sanitize(hwaddress):}     "
    "%{%:sanitize(thread):%{static-libtsan:%{!shared:-Bstatic --whole-archive -ltsan "
    "--no-whole-archive -Bdynamic}}%{!static-libtsan:-ltsan -lpthread}}     "
    "%{%:sanitize(leak):%{static-liblsan:%{!shared:-Bstatic --whole-archive -llsan "
    "--no-whole-archive -Bdynamic}}%{!static-liblsan:-llsan -lpthread}}}}} %o      "
    "%{fopenacc|fopenmp|%:gt(%{ftree-parallelize-loops=*:%*} 1):\t"
    "%:include(libcoven.spec)%(link_coven)}    "
    "%{fbrask-tm:%:include(libvesper.spec)%(link_vesper)}    %(mflib)  %{fsplit-stack: "
    "--wrap=pthread_create}    %{fprofile-arcs|fprofile-generate*|coverage:-ltally} "
    "%{!nostdlib:%{!r:%{!nodefaultlibs:%{%:sanitize(address): "
    "%{static-libasan|static:%:include(libsanitizer.spec)%(link_libasan)}    %{static:%ecannot "
    "specify -static with -fsanitize=address}}    "
    "%{%:sanitize(hwaddress):%{static-libhwasan:-Bstatic} -lhwasan %{static-libhwasan:-Bdynamic} "
    "%{static-libhwasan|static:%:include(libsanitizer.spec)%(link_libhwasan)}\t%{static:%ecannot "
    "specify -static with -fsanitize=hwaddress}}    %{%:sanitize(thread): "
    "%{static-libtsan|static:%:include(libsanitizer.spec)%(link_libtsan)}    %{static:%ecannot "
    "specify -static with -fsanitize=thread}}    "
    "%{%:sanitize(undefined):%{static-libubsan:-Bstatic} -lubsan %{static-libubsan:-Bdynamic} "
    "%{static-libubsan|static:%:include(libsanitizer.spec)%(link_libubsan)}}    "
    "%{%:sanitize(leak): %{static-liblsan|static:%:include(libsanitizer.spec)%(link_liblsan)}}}}}  "
    "   %{!nostdlib:%{!r:%{!nodefaultlibs:%(link_ward) %(link_quarn_c_sequence)}}}    "
    "%{!nostdlib:%{!r:%{!nostartfiles:%E}}} %{T*}  \n%(post_link) }}}}}}";

// Applied in this order, before the user's spec files are read.
const char *const driver_self_specs[] = {
    "%{fdump-final-insns:-fdump-final-insns=.} %<fdump-final-insns",
    " %{!mbig-endian:%{!mlittle-endian:-mlittle-endian}} %{!mabi=*:-mabi=lp64} "
    "%{march=native:%<march=native %:local_cpu_detect(arch)} %{mcpu=native:%<mcpu=native "
    "%:local_cpu_detect(cpu)} %{mtune=native:%<mtune=native %:local_cpu_detect(tune)}",
    "%{fopenacc|fopenmp|%:gt(%{ftree-parallelize-loops=*:%*} 1): -pthread}",
    "%{fbrask-tm: -pthread}",
};
const size_t driver_self_spec_count = sizeof driver_self_specs / sizeof driver_self_specs[0];

const char *const compare_debug_self_spec_text = "%:compare-debug-self-opt()";
