# libcups: pkg-config where a cups.pc exists (newer CUPS), else cups-config
# (Debian 12 ships no cups.pc). Defines the imported target Cups::Cups.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(CUPS QUIET IMPORTED_TARGET cups)
endif()
if(CUPS_FOUND)
  add_library(Cups::Cups ALIAS PkgConfig::CUPS)
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --variable=cups_serverbin cups
                  OUTPUT_VARIABLE CUPS_SERVERBIN OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  find_program(CUPS_CONFIG cups-config REQUIRED)
  execute_process(COMMAND ${CUPS_CONFIG} --cflags
                  OUTPUT_VARIABLE _cups_cflags OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CUPS_CONFIG} --libs
                  OUTPUT_VARIABLE _cups_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CUPS_CONFIG} --serverbin
                  OUTPUT_VARIABLE CUPS_SERVERBIN OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(_cups_cflags UNIX_COMMAND "${_cups_cflags}")
  separate_arguments(_cups_libs UNIX_COMMAND "${_cups_libs}")
  add_library(Cups::Cups INTERFACE IMPORTED)
  set_target_properties(Cups::Cups PROPERTIES
    INTERFACE_COMPILE_OPTIONS "${_cups_cflags}"
    INTERFACE_LINK_LIBRARIES "${_cups_libs}")
endif()
if(NOT CUPS_SERVERBIN)
  set(CUPS_SERVERBIN "${CMAKE_INSTALL_PREFIX}/lib/cups")
endif()
