# Compiled message catalogues: every PO_DIR/<language>.po becomes
# OUTPUT_DIR/<language>/LC_MESSAGES/<domain>.mo, built with the default target
# and installed under DESTINATION/<language>/LC_MESSAGES. No .po file at all is
# fine: then nothing is built or installed.
function(quarn_add_catalogues po_dir domain destination output_dir)
  file(GLOB po_files CONFIGURE_DEPENDS "${po_dir}/*.po")
  if(NOT po_files)
    return()
  endif()
  find_program(QUARN_MSGFMT msgfmt REQUIRED)
  set(mo_files)
  foreach(po IN LISTS po_files)
    get_filename_component(language "${po}" NAME_WE)
    set(mo "${output_dir}/${language}/LC_MESSAGES/${domain}.mo")
    # -c checks the format directives of every translation against its original.
    add_custom_command(
      OUTPUT "${mo}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${output_dir}/${language}/LC_MESSAGES"
      COMMAND "${QUARN_MSGFMT}" -c -o "${mo}" "${po}"
      DEPENDS "${po}"
      COMMENT "Compiling the ${language} message catalogue"
      VERBATIM)
    list(APPEND mo_files "${mo}")
    install(FILES "${mo}" DESTINATION "${destination}/${language}/LC_MESSAGES")
  endforeach()
  add_custom_target(catalogues ALL DEPENDS ${mo_files})
endfunction()
