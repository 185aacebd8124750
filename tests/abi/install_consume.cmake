# Installs the built tree into a scratch prefix, moves the installed tree
# elsewhere (the package files must not depend on where they were put), and
# builds and runs a small C program against it twice: once through
# find_package(Varnel), once through pkg-config.
#
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DVERSION=...
#       -DGENERATOR=... -DC_COMPILER=... -DPKG_CONFIG=... [-DEXTRA_FLAGS=...]
#       [-DCONFIG=...] -P install_consume.cmake

cmake_minimum_required(VERSION 3.25)

foreach(var BUILD_DIR WORK_DIR CONSUMER_DIR VERSION GENERATOR C_COMPILER PKG_CONFIG)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "install_consume.cmake needs -D${var}=...")
  endif()
endforeach()
separate_arguments(extra_flags UNIX_COMMAND "${EXTRA_FLAGS}")

function(run)
  cmake_parse_arguments(R "" "WORKING_DIRECTORY" "COMMAND" ${ARGN})
  if(NOT R_WORKING_DIRECTORY)
    set(R_WORKING_DIRECTORY "${WORK_DIR}")
  endif()
  string(JOIN " " shown ${R_COMMAND})
  message(STATUS "$ ${shown}")
  execute_process(COMMAND ${R_COMMAND} WORKING_DIRECTORY "${R_WORKING_DIRECTORY}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(out)
    message(STATUS "${out}")
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "command failed (${rc}): ${shown}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(stage "${WORK_DIR}/stage")
set(prefix "${WORK_DIR}/moved prefix")  # a space on purpose

# 1. Install, then move the tree.
set(config_args)
if(CONFIG)
  set(config_args --config "${CONFIG}")
endif()
run(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${stage}" ${config_args})
file(RENAME "${stage}" "${prefix}")

# 2. What was installed: the header, the shared library with its soname
#    links, the CMake package and varnel.pc; no static archive.
file(GLOB_RECURSE installed RELATIVE "${prefix}" LIST_DIRECTORIES false "${prefix}/*")
list(SORT installed)
string(JOIN "\n  " listing ${installed})
message(STATUS "installed:\n  ${listing}")
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
set(libdir "")
set(pythondir "")
foreach(f IN LISTS installed)
  # The Python package carries its own copy of the library beside its modules.
  if(f MATCHES "^(.*)/varnel/__init__\\.py$")
    set(pythondir "${CMAKE_MATCH_1}")
  elseif(NOT f MATCHES "/varnel/libvarnel\\.so$" AND f MATCHES "^(.*)/libvarnel\\.so$")
    set(libdir "${CMAKE_MATCH_1}")
  endif()
  if(f MATCHES "\\.a$" OR f MATCHES "varnel_internal")
    message(FATAL_ERROR "installed a file that belongs to the build only: ${f}")
  endif()
endforeach()
if(NOT libdir)
  message(FATAL_ERROR "libvarnel.so was not installed")
endif()
foreach(f
    "include/varnel.h"
    "${libdir}/libvarnel.so.${VERSION}"
    "${libdir}/libvarnel.so.${major}"
    "${libdir}/libvarnel.so"
    "${libdir}/cmake/Varnel/VarnelConfig.cmake"
    "${libdir}/cmake/Varnel/VarnelConfigVersion.cmake"
    "${libdir}/cmake/Varnel/VarnelTargets.cmake"
    "${libdir}/pkgconfig/varnel.pc")
  if(NOT f IN_LIST installed)
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
if(NOT pythondir)
  message(FATAL_ERROR "the Python package varnel was not installed")
endif()
foreach(f "libvarnel.so" "varnel.h")
  if(NOT "${pythondir}/varnel/${f}" IN_LIST installed)
    message(FATAL_ERROR "the Python package was installed without ${f} beside it")
  endif()
endforeach()
foreach(link "libvarnel.so" "libvarnel.so.${major}")
  if(NOT IS_SYMLINK "${prefix}/${libdir}/${link}")
    message(FATAL_ERROR "${libdir}/${link} should be a symbolic link")
  endif()
endforeach()

# 3. find_package(Varnel) from the moved prefix.
string(JOIN " " flags_string ${extra_flags})
run(COMMAND "${CMAKE_COMMAND}" -S "${CONSUMER_DIR}" -B "${WORK_DIR}/find_package"
  -G "${GENERATOR}"
  "-DCMAKE_C_COMPILER=${C_COMPILER}"
  "-DCMAKE_BUILD_TYPE=Release"
  "-DCMAKE_PREFIX_PATH=${prefix}"
  "-DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF"
  "-DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF"
  "-DCMAKE_C_FLAGS=${flags_string}"
  "-DCMAKE_EXE_LINKER_FLAGS=${flags_string}"
  "-DVARNEL_EXPECTED_VERSION=${VERSION}"
  "-DVARNEL_EXPECTED_PREFIX=${prefix}")
run(COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}/find_package")
run(COMMAND "${WORK_DIR}/find_package/varnel_consumer")

# 4. pkg-config, looking only at the installed varnel.pc.
set(pc_env "${CMAKE_COMMAND}" -E env "PKG_CONFIG_LIBDIR=${prefix}/${libdir}/pkgconfig"
  --unset=PKG_CONFIG_PATH)
run(COMMAND ${pc_env} "${PKG_CONFIG}" --modversion varnel)
string(STRIP "${last_output}" pc_version)
if(NOT pc_version STREQUAL VERSION)
  message(FATAL_ERROR "varnel.pc says version '${pc_version}', the project is ${VERSION}")
endif()
run(COMMAND ${pc_env} "${PKG_CONFIG}" --variable=libdir varnel)
string(STRIP "${last_output}" pc_libdir)
separate_arguments(pc_libdir UNIX_COMMAND "${pc_libdir}")  # undo the escaping
run(COMMAND ${pc_env} "${PKG_CONFIG}" --cflags varnel)
string(STRIP "${last_output}" pc_cflags)
run(COMMAND ${pc_env} "${PKG_CONFIG}" --libs varnel)
string(STRIP "${last_output}" pc_libs)
# pkg-config quotes paths with spaces by backslash-escaping them.
separate_arguments(pc_cflags UNIX_COMMAND "${pc_cflags}")
separate_arguments(pc_libs UNIX_COMMAND "${pc_libs}")
file(REAL_PATH "${pc_libdir}" pc_libdir_real)
file(REAL_PATH "${prefix}/${libdir}" expected_libdir_real)
if(NOT pc_libdir_real STREQUAL expected_libdir_real)
  message(FATAL_ERROR "varnel.pc points at ${pc_libdir}, not at the installed ${prefix}/${libdir}")
endif()
file(MAKE_DIRECTORY "${WORK_DIR}/pkg_config")
run(COMMAND "${C_COMPILER}" -std=c99 -Wall -Wextra -pedantic -Werror ${extra_flags}
  ${pc_cflags} "${CONSUMER_DIR}/consumer.c" -o "${WORK_DIR}/pkg_config/varnel_consumer"
  ${pc_libs} "-Wl,-rpath,${pc_libdir}")
run(COMMAND "${WORK_DIR}/pkg_config/varnel_consumer")

message(STATUS "installed package works through find_package and pkg-config")
