# The binutils of a MinGW cross compiler (windmc, windres) carry its target prefix,
# e.g. i686-w64-mingw32-windmc. The compiler names its target, so any toolchain file that sets
# the compilers is enough.
if(NOT DEFINED FENNEX_TOOLCHAIN_PREFIX)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine
                  OUTPUT_VARIABLE _fennex_target OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _fennex_result ERROR_QUIET)
  set(_fennex_prefix "")
  if(_fennex_result EQUAL 0 AND _fennex_target)
    set(_fennex_prefix ${_fennex_target}-)
  endif()
  set(FENNEX_TOOLCHAIN_PREFIX "${_fennex_prefix}" CACHE STRING
      "Prefix of the cross binutils (windmc, windres), found from the compiler's target")
endif()
get_filename_component(_fennex_compiler_dir ${CMAKE_C_COMPILER} DIRECTORY)
find_program(FENNEX_WINDMC NAMES ${FENNEX_TOOLCHAIN_PREFIX}windmc windmc
             HINTS ${_fennex_compiler_dir} REQUIRED)
