# Installation of the shared library, its header, a CMake package and a
# pkg-config file. Only the shared library is installed; the static archive
# built from the same objects exists for the tests and benchmarks alone.
#
#   cmake --install <build> [--prefix <dir>]
#
# installs
#   <includedir>/varnel.h
#   <libdir>/libvarnel.so.<version>, libvarnel.so.<major>, libvarnel.so
#   <libdir>/cmake/Varnel/{VarnelConfig,VarnelConfigVersion,VarnelTargets*}.cmake
#   <libdir>/pkgconfig/varnel.pc
#
# Every installed file locates its neighbours relative to itself, so the
# tree may be installed with --prefix and moved afterwards.

include(CMakePackageConfigHelpers)

set(VARNEL_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/Varnel"
    CACHE STRING "Where the CMake package files are installed, relative to the prefix")
set(VARNEL_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig"
    CACHE STRING "Where varnel.pc is installed, relative to the prefix")
mark_as_advanced(VARNEL_INSTALL_CMAKEDIR VARNEL_INSTALL_PKGCONFIGDIR)

install(TARGETS varnel
  EXPORT VarnelTargets
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}"
    COMPONENT Runtime
    NAMELINK_COMPONENT Development
  RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT Runtime
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT Development)
# The include directory reaches users through the target's
# $<INSTALL_INTERFACE:...> include path (src/CMakeLists.txt).

install(FILES "${PROJECT_SOURCE_DIR}/include/varnel.h"
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}"
  COMPONENT Development)

install(EXPORT VarnelTargets
  NAMESPACE Varnel::
  FILE VarnelTargets.cmake
  DESTINATION "${VARNEL_INSTALL_CMAKEDIR}"
  COMPONENT Development)

configure_package_config_file(
  "${PROJECT_SOURCE_DIR}/cmake/VarnelConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/VarnelConfig.cmake"
  INSTALL_DESTINATION "${VARNEL_INSTALL_CMAKEDIR}")
# The soname carries the major version, so a package of another major
# version is not a substitute.
write_basic_package_version_file(
  "${PROJECT_BINARY_DIR}/VarnelConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}"
  COMPATIBILITY SameMajorVersion)
install(FILES
  "${PROJECT_BINARY_DIR}/VarnelConfig.cmake"
  "${PROJECT_BINARY_DIR}/VarnelConfigVersion.cmake"
  DESTINATION "${VARNEL_INSTALL_CMAKEDIR}"
  COMPONENT Development)

# pkg-config: the prefix is found from the file's own place (${pcfiledir}),
# which pkg-config and pkgconf both understand.
function(_varnel_pc_dir out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
if(IS_ABSOLUTE "${VARNEL_INSTALL_PKGCONFIGDIR}")
  set(VARNEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _varnel_pc_up
    "/__prefix__/${VARNEL_INSTALL_PKGCONFIGDIR}" "/__prefix__")
  string(REGEX REPLACE "/$" "" _varnel_pc_up "${_varnel_pc_up}")
  set(VARNEL_PC_PREFIX "\${pcfiledir}/${_varnel_pc_up}")
endif()
_varnel_pc_dir(VARNEL_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
_varnel_pc_dir(VARNEL_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
configure_file("${PROJECT_SOURCE_DIR}/cmake/varnel.pc.in"
  "${PROJECT_BINARY_DIR}/varnel.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/varnel.pc"
  DESTINATION "${VARNEL_INSTALL_PKGCONFIGDIR}"
  COMPONENT Development)

# The Python package, with a copy of the library (and of the header) beside its modules: the
# package loads that neighbour before looking anywhere else, so an installed
# package never picks up a stray build. Debian's interpreter searches
# lib/python3/dist-packages under /usr; for /usr/local pass
# -DVARNEL_INSTALL_PYTHONDIR=lib/python3.11/dist-packages (or your version).
set(VARNEL_INSTALL_PYTHONDIR "lib/python3/dist-packages"
    CACHE STRING "Where the Python package varnel is installed, relative to the prefix")
mark_as_advanced(VARNEL_INSTALL_PYTHONDIR)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/python/varnel" DESTINATION "${VARNEL_INSTALL_PYTHONDIR}"
  COMPONENT Python FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
install(FILES "$<TARGET_FILE:varnel>" DESTINATION "${VARNEL_INSTALL_PYTHONDIR}/varnel"
  RENAME libvarnel.so COMPONENT Python)
# The package binds the exports that the header declares.
install(FILES "${PROJECT_SOURCE_DIR}/include/varnel.h" DESTINATION "${VARNEL_INSTALL_PYTHONDIR}/varnel"
  COMPONENT Python)
