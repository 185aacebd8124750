# Checks of the library's outer boundary:
#   Abi.HeaderC99          varnel.h compiles as strict C99 and links and runs
#   Abi.HeaderCxx          varnel.h from C++ (C linkage, usable types)
#   Abi.ExportedSymbols    the dynamic symbol table is exactly the VARNEL_API set
#   Abi.InstallAndConsume  cmake --install, then find_package and pkg-config users

set(VARNEL_ABI_DIR "${CMAKE_CURRENT_LIST_DIR}")

# Strict C99: no extensions, every warning an error.
add_executable(varnel_abi_c99 "${VARNEL_ABI_DIR}/consumer/consumer.c")
set_target_properties(varnel_abi_c99 PROPERTIES
  C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_options(varnel_abi_c99 PRIVATE -Wall -Wextra -pedantic -Werror)
target_link_libraries(varnel_abi_c99 PRIVATE varnel)
add_test(NAME Abi.HeaderC99 COMMAND varnel_abi_c99)

# C++ users may be on an older standard than the library itself.
add_executable(varnel_abi_cxx "${VARNEL_ABI_DIR}/header_cxx.cpp")
set_target_properties(varnel_abi_cxx PROPERTIES
  CXX_STANDARD 11 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF)
target_compile_options(varnel_abi_cxx PRIVATE -Wall -Wextra -pedantic -Werror)
target_link_libraries(varnel_abi_cxx PRIVATE varnel)
add_test(NAME Abi.HeaderCxx COMMAND varnel_abi_cxx)

# The check uses the standard library only; the system interpreter is
# preferred over whatever python3 comes first on PATH.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME Abi.ExportedSymbols
  COMMAND "${Python3_EXECUTABLE}" "${VARNEL_ABI_DIR}/check_exports.py"
    --header "${PROJECT_SOURCE_DIR}/include/varnel.h"
    --library "$<TARGET_FILE:varnel>"
    --nm "${CMAKE_NM}")

# The consumers are built with the sanitizer flags of this build: an
# instrumented library needs its runtime loaded by the program first.
get_directory_property(_varnel_link_options LINK_OPTIONS)
set(_varnel_consumer_flags)
foreach(opt IN LISTS _varnel_link_options)
  if(opt MATCHES "^-fsanitize")
    list(APPEND _varnel_consumer_flags "${opt}")
  endif()
endforeach()
string(JOIN " " _varnel_consumer_flags ${_varnel_consumer_flags})
find_package(PkgConfig REQUIRED)
add_test(NAME Abi.InstallAndConsume
  COMMAND "${CMAKE_COMMAND}"
    "-DBUILD_DIR=${PROJECT_BINARY_DIR}"
    "-DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/install_consume"
    "-DCONSUMER_DIR=${VARNEL_ABI_DIR}/consumer"
    "-DVERSION=${PROJECT_VERSION}"
    "-DGENERATOR=${CMAKE_GENERATOR}"
    "-DC_COMPILER=${CMAKE_C_COMPILER}"
    "-DPKG_CONFIG=${PKG_CONFIG_EXECUTABLE}"
    "-DEXTRA_FLAGS=${_varnel_consumer_flags}"
    "-DCONFIG=$<CONFIG>"
    -P "${VARNEL_ABI_DIR}/install_consume.cmake")
set_tests_properties(Abi.HeaderC99 Abi.HeaderCxx Abi.ExportedSymbols Abi.InstallAndConsume
  PROPERTIES LABELS abi TIMEOUT 300)
