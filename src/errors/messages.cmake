# The message texts live in BcamError.mc alone. On Windows windmc and windres turn it into the
# resource-only BcamError.dll; on every build this script also turns it into a C++ table
# (bcam_error_table.inc) that stands in for the DLL where there is none, and that the tests
# hold the DLL's answers against.
#
# Included from the root CMakeLists.txt it sets up the build steps; run with `cmake -P` it does
# one of them:
#   -DACTION=table -DMC=<file.mc> -DOUT=<file.inc>   write the C++ table
#   -DACTION=neutral -DIN=<file.rc> -DOUT=<file.rc>  mark windmc's resource language-neutral

if(CMAKE_SCRIPT_MODE_FILE)
  # ---- script mode ----------------------------------------------------------------------
  cmake_minimum_required(VERSION 3.25)

  # Lines of `path`, with ; [ ] kept out of CMake's list syntax (restored by _mc_restore).
  function(_mc_read_lines path out)
    file(READ "${path}" content)
    string(REPLACE "\r" "" content "${content}")
    string(REPLACE ";" "@MC_SEMICOLON@" content "${content}")
    string(REPLACE "[" "@MC_LBRACKET@" content "${content}")
    string(REPLACE "]" "@MC_RBRACKET@" content "${content}")
    string(REPLACE "\n" ";" lines "${content}")
    set(${out} "${lines}" PARENT_SCOPE)
  endfunction()

  function(_mc_restore text out)
    string(REPLACE "@MC_SEMICOLON@" ";" text "${text}")
    string(REPLACE "@MC_LBRACKET@" "[" text "${text}")
    string(REPLACE "@MC_RBRACKET@" "]" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
  endfunction()

  # Name=value pairs of a SeverityNames / FacilityNames list: "(A=0x1:SYM B=0x2)".
  function(_mc_parse_names prefix text)
    string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*=(0[xX][0-9A-Fa-f]+|[0-9]+)" pairs "${text}")
    foreach(pair IN LISTS pairs)
      string(REGEX REPLACE "=.*" "" name "${pair}")
      string(REGEX REPLACE "^[^=]*=" "" value "${pair}")
      math(EXPR value "${value}")
      set(${prefix}_${name} ${value} PARENT_SCOPE)
    endforeach()
  endfunction()

  function(_mc_fail line_number message)
    message(FATAL_ERROR "${MC}:${line_number}: ${message}")
  endfunction()

  if(ACTION STREQUAL "neutral")
    file(READ "${IN}" rc)
    string(REGEX REPLACE "LANGUAGE 0x[0-9a-fA-F]+, *0x[0-9a-fA-F]+" "LANGUAGE 0x0, 0x0" rc "${rc}")
    file(WRITE "${OUT}" "${rc}")
    return()
  endif()

  if(NOT ACTION STREQUAL "table")
    message(FATAL_ERROR "messages.cmake: unknown ACTION '${ACTION}'")
  endif()

  _mc_read_lines("${MC}" lines)
  set(state header)          # header, names (inside a multi-line name list), text
  set(pending_names "")
  set(pending_key "")
  set(severity "")
  set(facility "")
  set(id "")
  set(text "")
  set(entries "")
  set(seen_codes "")
  set(line_number 0)
  foreach(line IN LISTS lines)
    math(EXPR line_number "${line_number} + 1")
    if(state STREQUAL "text")
      if(line STREQUAL ".")
        if(id STREQUAL "" OR severity STREQUAL "" OR facility STREQUAL "")
          # windmc does not carry Severity and Facility over from the message before.
          _mc_fail(${line_number} "a message needs its own MessageId, Severity and Facility")
        endif()
        math(EXPR code "(${severity} << 30) | (${facility} << 16) | ${id}" OUTPUT_FORMAT HEXADECIMAL)
        string(TOUPPER "${code}" code)
        string(REPLACE "0X" "0x" code "${code}")
        if(code IN_LIST seen_codes)
          _mc_fail(${line_number} "message ${code} is defined twice")
        endif()
        list(APPEND seen_codes ${code})
        _mc_restore("${text}" text)
        if(text MATCHES "[^\t -~]")
          _mc_fail(${line_number} "message ${code} has characters outside printable ASCII")
        endif()
        string(REPLACE "\\" "\\\\" text "${text}")
        string(REPLACE "\"" "\\\"" text "${text}")
        string(REPLACE "\t" "\\t" text "${text}")
        string(REPLACE "@MC_CRLF@" "\\r\\n" text "${text}")
        string(APPEND entries "    {${code}u, \"${text}\"},\n")
        set(state header)
        set(id "")
        set(severity "")
        set(facility "")
        set(text "")
      else()
        # windmc ends every line of a message text with CR LF.
        string(APPEND text "${line}@MC_CRLF@")
      endif()
      continue()
    endif()

    if(state STREQUAL "names")
      string(APPEND pending_names " ${line}")
      if(line MATCHES "\\)")
        _mc_parse_names(${pending_key} "${pending_names}")
        set(state header)
      endif()
      continue()
    endif()

    string(STRIP "${line}" stripped)
    if(stripped STREQUAL "" OR stripped MATCHES "^@MC_SEMICOLON@")
      continue()
    endif()
    if(stripped MATCHES "^(SeverityNames|FacilityNames)[ \t]*=(.*)$")
      set(pending_key ${CMAKE_MATCH_1})
      set(pending_names "${CMAKE_MATCH_2}")
      if(pending_names MATCHES "\\)")
        _mc_parse_names(${pending_key} "${pending_names}")
      else()
        set(state names)
      endif()
    elseif(stripped MATCHES "^MessageId[ \t]*=[ \t]*(0[xX][0-9A-Fa-f]+|[0-9]+)$")
      math(EXPR id "${CMAKE_MATCH_1}")
    elseif(stripped MATCHES "^Severity[ \t]*=[ \t]*([A-Za-z_][A-Za-z0-9_]*)$")
      if(NOT DEFINED SeverityNames_${CMAKE_MATCH_1})
        _mc_fail(${line_number} "unknown severity ${CMAKE_MATCH_1}")
      endif()
      set(severity ${SeverityNames_${CMAKE_MATCH_1}})
    elseif(stripped MATCHES "^Facility[ \t]*=[ \t]*([A-Za-z_][A-Za-z0-9_]*)$")
      if(NOT DEFINED FacilityNames_${CMAKE_MATCH_1})
        _mc_fail(${line_number} "unknown facility ${CMAKE_MATCH_1}")
      endif()
      set(facility ${FacilityNames_${CMAKE_MATCH_1}})
    elseif(stripped MATCHES "^Language[ \t]*=")
      set(state text)
    elseif(stripped MATCHES "^(MessageIdTypedef|SymbolicName|LanguageNames|OutputBase)[ \t]*=")
      # Matter to windmc's header and resource, not to the texts.
    else()
      _mc_fail(${line_number} "cannot read '${stripped}'")
    endif()
  endforeach()
  if(NOT state STREQUAL "header")
    message(FATAL_ERROR "${MC}: the last message text has no closing '.' line")
  endif()

  set(table "// Generated from BcamError.mc by messages.cmake: edit the .mc file instead.\n")
  string(APPEND table "${entries}")
  file(WRITE "${OUT}" "${table}")
  return()
endif()

# ---- included from the build --------------------------------------------------------------

set(_mc_source ${CMAKE_CURRENT_LIST_DIR}/BcamError.mc)
set(_mc_script ${CMAKE_CURRENT_LIST_FILE})
set(_mc_out ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${_mc_out})

add_custom_command(
  OUTPUT ${_mc_out}/bcam_error_table.inc
  COMMAND ${CMAKE_COMMAND} -DACTION=table -DMC=${_mc_source} -DOUT=${_mc_out}/bcam_error_table.inc
          -P ${_mc_script}
  DEPENDS ${_mc_source} ${_mc_script}
  COMMENT "Generating the message table from BcamError.mc"
  VERBATIM)
list(APPEND fennex_generated_sources ${_mc_out}/bcam_error_table.inc)
list(APPEND fennex_generated_dirs ${_mc_out})

if(WIN32)
  enable_language(RC)
  # FENNEX_WINDMC: cmake/toolchain-prefix.cmake finds it from the compiler's target.
  set(_mc_rc_dir ${_mc_out}/BcamError)
  file(MAKE_DIRECTORY ${_mc_rc_dir})
  add_custom_command(
    OUTPUT ${_mc_rc_dir}/BcamError_neutral.rc ${_mc_rc_dir}/MSG00409.bin ${_mc_rc_dir}/BcamError.h
    COMMAND ${FENNEX_WINDMC} -r ${_mc_rc_dir} -h ${_mc_rc_dir} ${_mc_source}
    COMMAND ${CMAKE_COMMAND} -DACTION=neutral -DIN=${_mc_rc_dir}/BcamError.rc
            -DOUT=${_mc_rc_dir}/BcamError_neutral.rc -P ${_mc_script}
    DEPENDS ${_mc_source} ${_mc_script}
    COMMENT "Compiling BcamError.mc"
    VERBATIM)

  # Resource only: no code, no entry point, no runtime.
  add_library(BcamError SHARED ${_mc_rc_dir}/BcamError_neutral.rc)
  set_target_properties(BcamError PROPERTIES PREFIX "" LINKER_LANGUAGE C
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_include_directories(BcamError PRIVATE ${_mc_rc_dir})
  target_link_options(BcamError PRIVATE -nostdlib -Wl,--entry,0)
  # The tests load it by name too; the DLL search starts in the executable's directory.
  add_custom_command(TARGET BcamError POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/tests
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:BcamError> ${CMAKE_BINARY_DIR}/tests/
    VERBATIM)
  # Whoever builds the library or its tests gets the message DLL beside them. The targets are
  # made after this file is read, hence deferred.
  function(_mc_depend_on_bcamerror)
    foreach(target fennex fennex_tests)
      if(TARGET ${target})
        add_dependencies(${target} BcamError)
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER CALL _mc_depend_on_bcamerror)
endif()
