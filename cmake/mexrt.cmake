# Helpers shared by every folder: test executables and the export control of deliverables.

# mexrt_add_test(NAME SOURCES... LIBS libs...): one GoogleTest executable, its cases run by CTest.
function(mexrt_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  # The shared test support (array_test_support.h) for every test.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/runtime/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()

# mexrt_export_only(TARGET SYMBOLS...): the shared object exports exactly these symbols.
function(mexrt_export_only target)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map)
  list(JOIN ARGN "; " symbols)
  file(WRITE ${script} "{\n  global: ${symbols};\n  local: *;\n};\n")
  target_link_options(${target} PRIVATE "-Wl,--version-script=${script}")
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()

# mexrt_add_module(NAME SOURCES files... EXPORTS symbols... [TEST_ONLY]): the loadable module
# NAME.mexa64, built into the build tree's mex/ folder (the host's default module path) and
# installed in lib/mex, exporting exactly EXPORTS. Its units are also an object library
# NAME_units, so tests can call the entries directly. A TEST_ONLY module is built into
# testmex/ instead and not installed.
function(mexrt_add_module name)
  cmake_parse_arguments(M "TEST_ONLY" "" "SOURCES;EXPORTS" ${ARGN})
  add_library(${name}_units OBJECT ${M_SOURCES})
  target_link_libraries(${name}_units PUBLIC frame mexrt)
  target_include_directories(${name}_units PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  add_library(${name} MODULE $<TARGET_OBJECTS:${name}_units>)
  target_link_libraries(${name} PRIVATE mexrt)
  if(M_TEST_ONLY)
    set(out_dir ${CMAKE_BINARY_DIR}/testmex)
  else()
    set(out_dir ${MEXRT_MODULE_DIR})
    install(TARGETS ${name} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/mex)
  endif()
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".mexa64"
                        LIBRARY_OUTPUT_DIRECTORY ${out_dir})
  mexrt_export_only(${name} ${M_EXPORTS})
endfunction()

# mexrt_install_library(TARGET): a shared library for application programs, with the
# versioned soname libTARGET.so.MAJOR (and the usual symlinks), installed in lib/ and
# exported to the CMake package as melceps::TARGET.
function(mexrt_install_library target)
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION}
                                             SOVERSION ${PROJECT_VERSION_MAJOR})
  install(TARGETS ${target} EXPORT melcepsTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endfunction()

# mexrt_add_man_page(NAME PROGRAM target-or-file SUMMARY text): the man page NAME.1, made by
# help2man from the program's --help and --version, with packaging/man/NAME.h2m (if there)
# for its examples and cross references; built into man/man1 of the build tree and
# installed gzipped in share/man/man1.
function(mexrt_add_man_page name)
  cmake_parse_arguments(M "" "PROGRAM;SUMMARY" "" ${ARGN})
  find_program(MEXRT_HELP2MAN help2man REQUIRED)
  set(program ${M_PROGRAM})
  if(TARGET ${M_PROGRAM})
    set(program $<TARGET_FILE:${M_PROGRAM}>)
  endif()
  set(extra ${PROJECT_SOURCE_DIR}/packaging/man/${name}.h2m)
  set(include_option)
  set(extra_depends)
  if(EXISTS ${extra})
    set(include_option --include=${extra})
    set(extra_depends ${extra})
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/man1/${name}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/man1
    COMMAND ${MEXRT_HELP2MAN} --no-info --name=${M_SUMMARY} ${include_option}
            --output=${page} ${program}
    COMMAND gzip -9nf ${page}
    DEPENDS ${M_PROGRAM} ${extra_depends}
    COMMENT "Writing the man page ${name}.1"
    VERBATIM)
  add_custom_target(man_${name} ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
