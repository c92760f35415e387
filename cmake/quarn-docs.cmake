# What packagers install besides the programs: the bash completion, the manual
# pages and the message catalogues; and the message template for translators.

install(FILES "${CMAKE_SOURCE_DIR}/completions/quarn++.bash"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME quarn++)

# One page serves the three archive-tool wrappers; each name gets its copy so
# that "man quarn-nm" finds it without a link.
install(FILES "${CMAKE_SOURCE_DIR}/docs/man/quarn++.1" "${CMAKE_SOURCE_DIR}/docs/man/quarn-ar.1"
  DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
foreach(tool nm ranlib)
  install(FILES "${CMAKE_SOURCE_DIR}/docs/man/quarn-ar.1"
    DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" RENAME "quarn-${tool}.1")
endforeach()

# The catalogues go to the configured catalogue directory, where the driver
# looks for them; inside the configured prefix it is taken relative to the
# install prefix like everything else, so a staged install (DESTDIR) has them.
include("${CMAKE_CURRENT_LIST_DIR}/catalogues.cmake")
string(FIND "${QUARN_LOCALEDIR}" "${QUARN_PREFIX}/" prefix_at)
if(prefix_at EQUAL 0)
  string(LENGTH "${QUARN_PREFIX}/" prefix_length)
  string(SUBSTRING "${QUARN_LOCALEDIR}" ${prefix_length} -1 quarn_catalogue_destination)
else()
  set(quarn_catalogue_destination "${QUARN_LOCALEDIR}")
endif()
quarn_add_catalogues("${CMAKE_SOURCE_DIR}/po" "${QUARN_TEXTDOMAIN}" "${quarn_catalogue_destination}"
  "${CMAKE_BINARY_DIR}/po")

# "cmake --build ... --target pot" refreshes po/quarn.pot from the sources.
find_program(QUARN_XGETTEXT xgettext)
string(REGEX REPLACE "^<(.*)>$" "\\1" quarn_bug_address "${QUARN_BUGURL}")
add_custom_target(pot
  COMMAND sh "${CMAKE_SOURCE_DIR}/po/make-pot.sh" "${CMAKE_SOURCE_DIR}"
          "${CMAKE_SOURCE_DIR}/po/quarn.pot" "${QUARN_VERSION}" "${quarn_bug_address}"
          "$<IF:$<BOOL:${QUARN_XGETTEXT}>,${QUARN_XGETTEXT},xgettext>"
  COMMENT "Extracting the message template po/quarn.pot"
  VERBATIM)

if(QUARN_TESTS)
  # A copy of the driver whose catalogue directory lies in the build tree: the
  # translation tests put their catalogue there. The product keeps its own.
  set(QUARN_L10N_STAGE "${CMAKE_BINARY_DIR}/l10n-stage")
  add_executable(quarn++-l10n
    "${CMAKE_SOURCE_DIR}/src/driver/main.cc"
    "${CMAKE_SOURCE_DIR}/tests/ecosystem/intl_test_catalogue.cc")
  target_compile_definitions(quarn++-l10n PRIVATE
    QUARN_TEST_LOCALEDIR="${QUARN_L10N_STAGE}/share/locale")
  target_link_libraries(quarn++-l10n PRIVATE quarn_driver quarn_alloc)
  target_link_options(quarn++-l10n PRIVATE ${QUARN_PROGRAM_LINK_OPTIONS})
  # Built under its own name and copied into place: an output named quarn++
  # would take over the build tool's "quarn++" alias from the product.
  set_target_properties(quarn++-l10n PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/l10n-build")
  add_custom_command(TARGET quarn++-l10n POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${QUARN_L10N_STAGE}/bin"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:quarn++-l10n>
            "${QUARN_L10N_STAGE}/bin/quarn++"
    VERBATIM)
  file(MAKE_DIRECTORY "${QUARN_L10N_STAGE}/share/locale")
  if(TARGET lit_dependencies)
    add_dependencies(lit_dependencies quarn++-l10n)
  endif()
endif()
