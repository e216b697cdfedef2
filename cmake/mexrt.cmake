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
