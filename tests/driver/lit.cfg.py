# Whole-program tests: each .test file runs the staged programs and matches what
# they print with FileCheck.
import os

import lit.formats

config.name = "quarn"
config.test_format = lit.formats.ShTest(execute_external=False)
config.suffixes = [".test"]
config.excludes = ["Inputs", "tools"]
config.test_source_root = os.path.dirname(__file__)
config.test_exec_root = os.path.join(config.quarn_build_dir, "tests", "driver")

# A fixed environment: the C locale, no colors, none of the variables the
# driver or the stand-in toolchain read unless a test sets them.
env = {
    "PATH": os.pathsep.join([os.path.join(os.path.dirname(__file__), "tools"),
                          config.llvm_tools_dir, "/usr/bin", "/bin"]),
    "LC_ALL": "C",
    "HOME": os.environ.get("HOME", "/tmp"),
    "TMPDIR": os.environ.get("TMPDIR", "/tmp"),
}
# Sanitizer settings of the asan preset reach the programs under test.
for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
    if name in os.environ:
        env[name] = os.environ[name]
config.environment = env

stage = config.quarn_stage
libexec = os.path.join(stage, "libexec", "quarn", config.quarn_target, config.quarn_version)
tooldir = os.path.join(stage, config.quarn_target, "bin")

# Longer names first: lit replaces in list order.
config.substitutions.append(("%quarn_ranlib", os.path.join(stage, "bin", "quarn-ranlib")))
config.substitutions.append(("%quarn_ar", os.path.join(stage, "bin", "quarn-ar")))
config.substitutions.append(("%quarn_nm", os.path.join(stage, "bin", "quarn-nm")))
config.substitutions.append(("%quarnxx", os.path.join(stage, "bin", "quarn++")))
config.substitutions.append(("%libexec", libexec))
config.substitutions.append(("%tooldir", tooldir))
config.substitutions.append(("%stage", stage))
config.substitutions.append(("%simlog", "%t.simlog"))
config.substitutions.append(("%target", config.quarn_target))
config.substitutions.append(("%version", config.quarn_version))
