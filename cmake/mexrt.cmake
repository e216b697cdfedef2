# Helpers shared by every folder: test executables and the export control of deliverables.

# mexrt_add_test(NAME SOURCES... LIBS libs...): one GoogleTest executable, its cases run by CTest.
function(mexrt_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
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
