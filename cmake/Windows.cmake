# 32-bit Windows binaries: static runtime so that only system DLLs are imported, UTF-16 entry
# points, and tests that run under Wine in the build tree's own prefix.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
# {sizeof(x)} is how Win32 structures are started; the rest is zero by the language.
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wextra> $<$<COMPILE_LANGUAGE:CXX>:-Wno-missing-field-initializers>)
add_link_options(-static -static-libgcc -static-libstdc++)

set(KOVIRA_BIN_DIR ${CMAKE_BINARY_DIR}/bin)
set(KOVIRA_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
set(KOVIRA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run;${KOVIRA_WINE_PREFIX})

# GoogleTest from Debian's sources, cross-compiled.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# A Windows test program, run under Wine; its tests are discovered when ctest starts.
function(kovira_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(T_RESOURCE_LOCK)
    set(T_LOCK RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  target_link_options(${name} PRIVATE -municode)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${KOVIRA_TEST_DIR})
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS wine ${T_LOCK})
endfunction()

# Writes <path> defining <PREFIX>_VERSION_COMMAS (a,b,c,d) and <PREFIX>_VERSION_TEXT ("a.b.c.d")
# for a version resource. Every shipped binary takes its version from here, and so from the
# project's VERSION, which scripts/release also names the release after.
function(kovira_version_header path prefix)
  string(JOIN "," commas ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR}
         ${PROJECT_VERSION_PATCH} ${PROJECT_VERSION_TWEAK})
  string(CONCAT text "#pragma once\n"
         "#define ${prefix}_VERSION_COMMAS ${commas}\n"
         "#define ${prefix}_VERSION_TEXT \"${PROJECT_VERSION}\"\n")
  # Written only when the version changes, so resources are not rebuilt on every cmake run.
  file(CONFIGURE OUTPUT ${path} CONTENT "${text}" @ONLY)
endfunction()

# A type library and C++ header from <idl>, written to <out_dir>/<stem>.tlb and <stem>.h, and a
# resource script <out_dir>/<stem>.rc that embeds the library as TYPELIB 1. Sets <stem>_TLB_RC in
# the caller's scope to that script; add it and the header to the module's sources.
function(kovira_widl idl out_dir)
  get_filename_component(stem ${idl} NAME_WE)
  set(widl_args --win32 -I /usr/include/wine/wine/windows -L /usr/lib/i386-linux-gnu/wine/i386-windows)
  add_custom_command(
    OUTPUT ${out_dir}/${stem}.h ${out_dir}/${stem}.tlb
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND i686-w64-mingw32-widl ${widl_args} -h -H ${out_dir}/${stem}.h ${idl}
    COMMAND i686-w64-mingw32-widl ${widl_args} -t -o ${out_dir}/${stem}.tlb ${idl}
    DEPENDS ${idl}
    VERBATIM)
  file(WRITE ${out_dir}/${stem}_tlb.rc "1 TYPELIB \"${out_dir}/${stem}.tlb\"\n")
  set_source_files_properties(${out_dir}/${stem}_tlb.rc PROPERTIES OBJECT_DEPENDS ${out_dir}/${stem}.tlb)
  set(${stem}_TLB_RC ${out_dir}/${stem}_tlb.rc PARENT_SCOPE)
endfunction()

# An in-process COM server DLL named <target>.dll in <out_dir>: its sources, plus DllMain and
# the four standard exports over the ServerClasses() and ServerRegistration() it defines.
function(kovira_com_server_dll target out_dir)
  add_library(${target} MODULE ${ARGN}
    ${CMAKE_SOURCE_DIR}/common/com_server/server_entry_points.cpp
    ${CMAKE_SOURCE_DIR}/common/com_server/server_entry_points.def)
  target_link_libraries(${target} PRIVATE kovira_com_server)
  # The .def names the exports undecorated; this maps them onto the stdcall symbols quietly.
  target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  set_target_properties(${target} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${out_dir})
endfunction()

# An ActiveX control DLL, <Name>.dll in KOVIRA_BIN_DIR, built on the control framework:
#   kovira_control_dll(<Name> IDL <idl> RC <rc> SOURCES <source>... MODULE <source>...
#                      [RESOURCE_DEPENDS <file>...])
# makes three targets (<lower> is <Name> in lower case):
#   <lower>_control  static library of SOURCES, the control itself, so that tests can host it in
#                    their own process; its users see the type library's header (<idl stem>.h)
#   <lower>_res      object library of RC and the type library (TYPELIB 1); RC can include
#                    <lower>_version.h (<NAME>_VERSION_COMMAS, <NAME>_VERSION_TEXT: the project's
#                    version) and files beside it, and is rebuilt when RESOURCE_DEPENDS change
#   <Name>           the DLL: MODULE (its class table and registration rows) over both
function(kovira_control_dll name)
  cmake_parse_arguments(C "" "IDL;RC" "SOURCES;MODULE;RESOURCE_DEPENDS" ${ARGN})
  foreach(required IN ITEMS IDL RC SOURCES MODULE)
    if(NOT C_${required})
      message(FATAL_ERROR "kovira_control_dll(${name}): ${required} is missing")
    endif()
  endforeach()
  string(TOLOWER ${name} lower)
  string(TOUPPER ${name} upper)
  set(gen ${CMAKE_CURRENT_BINARY_DIR}/gen)

  get_filename_component(idl ${C_IDL} ABSOLUTE)
  get_filename_component(stem ${idl} NAME_WE)
  kovira_widl(${idl} ${gen})

  set(version_header ${gen}/${lower}_version.h)
  kovira_version_header(${version_header} ${upper})

  add_library(${lower}_control STATIC ${C_SOURCES} ${gen}/${stem}.h)
  target_include_directories(${lower}_control PUBLIC ${gen})
  # kovira_container: a control may host other controls (a panel's views hold browser controls).
  target_link_libraries(${lower}_control PUBLIC kovira_control kovira_container)

  add_library(${lower}_res OBJECT ${C_RC} ${${stem}_TLB_RC})
  target_include_directories(${lower}_res PRIVATE ${CMAKE_SOURCE_DIR} ${gen})
  set(resource_depends ${version_header})
  foreach(file IN LISTS C_RESOURCE_DEPENDS)
    get_filename_component(file ${file} ABSOLUTE)
    list(APPEND resource_depends ${file})
  endforeach()
  set_source_files_properties(${C_RC} PROPERTIES OBJECT_DEPENDS "${resource_depends}")

  kovira_com_server_dll(${name} ${KOVIRA_BIN_DIR} ${C_MODULE} $<TARGET_OBJECTS:${lower}_res>)
  target_link_libraries(${name} PRIVATE ${lower}_control)
endfunction()
