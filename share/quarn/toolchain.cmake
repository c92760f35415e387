# CMake toolchain file for quarn++, the cross compiler driver of the suite for
# @QUARN_TARGET@:
#   cmake -DCMAKE_TOOLCHAIN_FILE=<prefix>/share/quarn/toolchain.cmake ...
# Everything is found from this file's own place, so a relocated installation
# works as well as the configured one.

set(CMAKE_SYSTEM_NAME FreeBSD)
set(CMAKE_SYSTEM_VERSION 13.4)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

# <prefix>/share/quarn/ -> <prefix>/
get_filename_component(_quarn_prefix "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(CMAKE_CXX_COMPILER "${_quarn_prefix}/bin/quarn++")
# The archivers that load the link-time-optimization plug-in.
set(CMAKE_AR "${_quarn_prefix}/bin/quarn-ar" CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB "${_quarn_prefix}/bin/quarn-ranlib" CACHE FILEPATH "Archive indexer")

# The driver writes make-style dependency files itself. CMake gives these
# flags only to compilers it identifies; without them a header change would
# rebuild nothing. No compiler identity is claimed here: what CMake detects,
# it reports as it is.
set(CMAKE_DEPFILE_FLAGS_CXX "-MD -MT <DEP_TARGET> -MF <DEP_FILE>")
set(CMAKE_CXX_DEPFILE_FORMAT gcc)
set(CMAKE_CXX_DEPENDS_USE_COMPILER TRUE)

# Target files come from the installation's target directory, never from
# the host; programs run during the build are the host's.
set(CMAKE_FIND_ROOT_PATH "${_quarn_prefix}/@QUARN_TARGET@")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
unset(_quarn_prefix)
