# What a host developer gets: `cmake --install` rules, the CMake package (find_package(Fennex)),
# the pkg-config file, and the CPack settings behind scripts/package.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(FENNEX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Fennex)
set(FENNEX_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/fennex)

if(WIN32)
  set(FENNEX_LIBRARY_DIR ${CMAKE_INSTALL_BINDIR})
  set(FENNEX_LIBRARY_NAME fennex.dll)
else()
  # Hosts that link record libfennex.so.1; a release that changes the fifteen functions moves it.
  set_target_properties(fennex PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  set(FENNEX_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR})
  set(FENNEX_LIBRARY_NAME libfennex.so.${PROJECT_VERSION_MAJOR})
endif()
target_include_directories(fennex INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# An installed tool looks for the library in this directory relative to its own.
file(RELATIVE_PATH _fennex_tool_libdir /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${FENNEX_LIBRARY_DIR})
if(_fennex_tool_libdir)
  foreach(tool IN LISTS fennex_tools)
    target_compile_definitions(${tool} PRIVATE FENNEX_INSTALLED_LIBDIR="${_fennex_tool_libdir}")
  endforeach()
endif()

install(TARGETS fennex EXPORT FennexTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES include/fennex/fennex.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/fennex)
install(TARGETS ${fennex_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY examples/ DESTINATION ${FENNEX_SHARE_DIR}/examples PATTERN cameras EXCLUDE)
install(DIRECTORY examples/cameras/ DESTINATION ${FENNEX_SHARE_DIR}/cameras)

if(WIN32)
  # The message texts, beside fennex.dll where its search finds them.
  install(TARGETS BcamError RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} EXCLUDE_FROM_ALL)
  # MSVC hosts link fennex.lib; made from the .def file, so that it names the exports exactly.
  # LLVM's dlltool writes the short import records that Microsoft's own tools write; those of
  # GNU dlltool carry no safe-exception-handler mark, and an x86 host linked with /SAFESEH (the
  # default of Visual Studio's x86 projects, and of lld-link) refuses them.
  find_program(FENNEX_LLVM_DLLTOOL NAMES llvm-dlltool REQUIRED)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_fennex_machine i386)
  else()
    set(_fennex_machine i386:x86-64)
  endif()
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/fennex.lib
    COMMAND ${FENNEX_LLVM_DLLTOOL} -m ${_fennex_machine} -d ${PROJECT_SOURCE_DIR}/src/driver/fennex.def
            -D fennex.dll -l fennex.lib
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/src/driver/fennex.def
    COMMENT "Making the MSVC import library fennex.lib"
    VERBATIM)
  add_custom_target(fennex_msvc_lib ALL DEPENDS ${CMAKE_BINARY_DIR}/fennex.lib)
  install(FILES ${CMAKE_BINARY_DIR}/fennex.lib DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(FILES cmake/README-host.txt DESTINATION . RENAME README.txt)
endif()

# find_package(Fennex): the imported target Fennex::fennex, and Fennex_LIBRARY for hosts that
# load the library by name.
install(EXPORT FennexTargets NAMESPACE Fennex:: DESTINATION ${FENNEX_CMAKE_DIR})
configure_package_config_file(cmake/FennexConfig.cmake.in ${CMAKE_BINARY_DIR}/FennexConfig.cmake
  INSTALL_DESTINATION ${FENNEX_CMAKE_DIR}
  PATH_VARS FENNEX_LIBRARY_DIR FENNEX_SHARE_DIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/FennexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/FennexConfig.cmake ${CMAKE_BINARY_DIR}/FennexConfigVersion.cmake
        DESTINATION ${FENNEX_CMAKE_DIR})

# fennex.pc, relocatable: the prefix is found from the file's own place.
file(RELATIVE_PATH _fennex_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" _fennex_pc_to_prefix "${_fennex_pc_to_prefix}")
configure_file(cmake/fennex.pc.in ${CMAKE_BINARY_DIR}/fennex.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/fennex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(NOT WIN32)
  # The copyright file and changelog a Debian package carries; changelogs are compressed with
  # gzip -9n (no name or time stamp: the same file from every build).
  find_program(FENNEX_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/cmake/debian/changelog changelog
    COMMAND ${FENNEX_GZIP} -9nf changelog
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog
    VERBATIM)
  add_custom_target(fennex_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
  install(FILES cmake/debian/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

# ---- packages (scripts/package) ----------------------------------------------------------
set(CPACK_PACKAGE_NAME fennex)
set(CPACK_PACKAGE_VENDOR "Fennex")
set(CPACK_PACKAGE_CONTACT "Fennex developers <fennex@fennex.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Camera-driver plug-in for machine-vision hosts (IIDC 1394 cameras)")
set(CPACK_PACKAGE_DESCRIPTION "A host loads the library by name and drives IIDC 1394 cameras
through fifteen C functions: it lists and opens cameras, grabs frames as 8-bit
grey rows and reads and writes camera properties by name. Without camera
hardware the library simulates cameras described in INI files. With
fennex-grab, a small host, fennex-cameras, the CMake and pkg-config files and
an example host in C.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_SYSTEM_NAME windows-x86)
  else()
    set(CPACK_SYSTEM_NAME windows-x64)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # The library needs the C and C++ runtimes only.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
  # The shlibs file, and the trigger that runs ldconfig, of a package with a shared library.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
endif()
include(CPack)
