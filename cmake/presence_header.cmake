# q8_presence.h, the presence helper for the game's developers, generated from
# the launcher's own naming code (launcher/presence/naming.h, the text between
# its marks) and the template launcher/presence/q8_presence.h.in, with the
# version from resources/version.h.
#
# Included by a project: q8_presence_header(TARGET DIR) adds a target that
# writes DIR/q8_presence.h whenever one of its sources changes.
# Run as a script: cmake -DQ8_ROOT=... -DOUTPUT=... -P cmake/presence_header.cmake
# writes it; without OUTPUT, it prints the version.

if(CMAKE_SCRIPT_MODE_FILE)
  file(READ "${Q8_ROOT}/resources/version.h" version)
  foreach(part MAJOR MINOR PATCH BUILD)
    if(NOT version MATCHES "#define Q8_VERSION_${part} ([0-9]+)")
      message(FATAL_ERROR "resources/version.h defines no Q8_VERSION_${part}")
    endif()
    list(APPEND numbers ${CMAKE_MATCH_1})
  endforeach()
  list(JOIN numbers "." Q8_VERSION)
  if(NOT OUTPUT)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${Q8_VERSION}")
    return()
  endif()

  file(READ "${Q8_ROOT}/launcher/presence/naming.h" naming)
  set(begin "// q8_presence.h: naming rule begins\n")
  set(end "// q8_presence.h: naming rule ends\n")
  string(FIND "${naming}" "${begin}" from)
  string(FIND "${naming}" "${end}" to)
  if(from EQUAL -1 OR to EQUAL -1 OR to LESS from)
    message(FATAL_ERROR "naming.h: the marks around the naming rule are missing")
  endif()
  string(LENGTH "${begin}" skip)
  math(EXPR from "${from} + ${skip}")
  math(EXPR length "${to} - ${from}")
  string(SUBSTRING "${naming}" ${from} ${length} Q8_NAMING_RULE)
  configure_file("${Q8_ROOT}/launcher/presence/q8_presence.h.in" "${OUTPUT}" @ONLY)
  return()
endif()

function(q8_presence_header target dir)
  set(root "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/..")
  add_custom_command(
    OUTPUT ${dir}/q8_presence.h
    COMMAND ${CMAKE_COMMAND} -DQ8_ROOT=${root} -DOUTPUT=${dir}/q8_presence.h -P
            ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
    DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_FILE} ${root}/launcher/presence/naming.h
            ${root}/launcher/presence/q8_presence.h.in ${root}/resources/version.h
    COMMENT "Generating q8_presence.h"
    VERBATIM)
  add_custom_target(${target} DEPENDS ${dir}/q8_presence.h)
endfunction()
