# The project's one version, from project(): MELCEPS_VERSION for CMake code (sonames,
# packages, the Python package), and the header melceps/version.h through the target
# melceps_version for C and C++ code.
set(MELCEPS_VERSION ${PROJECT_VERSION})
set(MELCEPS_GENERATED_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated/include)
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${MELCEPS_GENERATED_INCLUDE_DIR}/melceps/version.h @ONLY)
add_library(melceps_version INTERFACE)
target_include_directories(melceps_version INTERFACE ${MELCEPS_GENERATED_INCLUDE_DIR})
