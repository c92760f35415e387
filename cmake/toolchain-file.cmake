# The CMake toolchain file with the target name filled in: copied into the
# staged tree beside bin/, where it finds quarn++ relative to itself, and
# installed at the same place.
configure_file("${CMAKE_SOURCE_DIR}/share/quarn/toolchain.cmake"
               "${QUARN_STAGE}/share/quarn/toolchain.cmake" @ONLY)
install(FILES "${QUARN_STAGE}/share/quarn/toolchain.cmake" DESTINATION "share/quarn")
