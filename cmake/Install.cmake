# Install layout, CMake package, pkg-config file and Debian package.
#
# Installed tree (relative to the prefix):
#   bin/vexar-ctl
#   <libdir>/libVEXAR_ParamInterp_YORINDImpl.so     the plug-in, where dlopen finds it by name
#   <libdir>/libLumivorPlugins.so.<version>         the host library, with its SONAME link
#   include/vexar_param_interp.h                     the plug-in's C interface
#   include/lumivor/host/*.h                         the host library's C++ interface
#   <libdir>/cmake/VEXAR_ParamInterp_YORINDImpl/     find_package files
#   <libdir>/pkgconfig/vexar_param_interp.pc
#   share/man/man1, share/bash-completion, share/doc
# Every installed binary finds its libraries through an $ORIGIN-relative RUNPATH, so the tree
# can be moved or unpacked anywhere.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VEXAR_PACKAGE_NAME ${PROJECT_NAME})
set(VEXAR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${VEXAR_PACKAGE_NAME})

# Relative paths between install folders; these only hold if the folders are relative to the
# prefix, which a relocatable package needs anyway.
foreach(dir BINDIR LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    message(FATAL_ERROR "CMAKE_INSTALL_${dir} must be relative to the prefix")
  endif()
endforeach()
file(RELATIVE_PATH VEXAR_LIBDIR_FROM_BINDIR /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
file(RELATIVE_PATH VEXAR_PREFIX_FROM_PKGCONFIG /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VEXAR_PREFIX_FROM_PKGCONFIG "${VEXAR_PREFIX_FROM_PKGCONFIG}")

set_target_properties(LumivorPlugins PROPERTIES VERSION ${PROJECT_VERSION}
                                                SOVERSION ${PROJECT_VERSION_MAJOR})
# Users in the build tree include "host/..." from the source root; installed, from include/lumivor.
set_property(TARGET LumivorPlugins PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/lumivor>)
target_compile_features(LumivorPlugins INTERFACE cxx_std_20)

# The installed binaries carry the same RUNPATH in the build tree: CMake's rewriting at install
# would otherwise pad the shorter build RUNPATH with empty entries, which the loader takes for
# the current directory. The tool's second entry is where its libraries are in the build tree.
set_target_properties(VEXAR_ParamInterp_YORINDImpl PROPERTIES INSTALL_RPATH "$ORIGIN"
                                                              BUILD_WITH_INSTALL_RPATH ON
                                                              EXPORT_NAME plugin)
set_target_properties(vexar-ctl PROPERTIES
  INSTALL_RPATH "$ORIGIN/${VEXAR_LIBDIR_FROM_BINDIR};$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
target_compile_definitions(vexar_loader PRIVATE
  VEXAR_PLUGIN_DIR_FROM_TOOL="${VEXAR_LIBDIR_FROM_BINDIR}")

# What a host compiles against: the plug-in's C header and nothing else.
add_library(vexar_param_interp_headers INTERFACE)
target_include_directories(vexar_param_interp_headers INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/interface>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(vexar_param_interp_headers PROPERTIES EXPORT_NAME headers)

install(TARGETS vexar_param_interp_headers LumivorPlugins VEXAR_ParamInterp_YORINDImpl vexar-ctl
        EXPORT VexarTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES interface/vexar_param_interp.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY host/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lumivor/host
        FILES_MATCHING PATTERN "*.h")
install(FILES tools/ctl/vexar-ctl.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES tools/ctl/vexar-ctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vexar-ctl)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md")

install(EXPORT VexarTargets NAMESPACE ${VEXAR_PACKAGE_NAME}::
        FILE ${VEXAR_PACKAGE_NAME}Targets.cmake DESTINATION ${VEXAR_CMAKE_DIR})
configure_package_config_file(cmake/PackageConfig.cmake.in
  ${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}Config.cmake INSTALL_DESTINATION ${VEXAR_CMAKE_DIR})
# Before 1.0 a minor release may change the interface, so only the same minor version is
# compatible.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}Config.cmake
              ${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}ConfigVersion.cmake
        DESTINATION ${VEXAR_CMAKE_DIR})

set(VEXAR_PLUGIN_FILE
    ${CMAKE_SHARED_LIBRARY_PREFIX}VEXAR_ParamInterp_YORINDImpl${CMAKE_SHARED_LIBRARY_SUFFIX})
configure_file(cmake/vexar_param_interp.pc.in ${PROJECT_BINARY_DIR}/vexar_param_interp.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vexar_param_interp.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# Debian package: everything above in one package, dependencies from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexar-paraminterp-yorind)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Parameter-interpreter plug-in for the YORIN_D depth-camera module")
set(CPACK_PACKAGE_CONTACT "VEXAR plug-in maintainers <maintainers@vexar.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# Slow, since each installs or packages the project and builds a host against it; label
# "package" runs them alone. A sanitizer build is not for shipping, and its plug-in cannot be
# loaded by the tests' uninstrumented host.
if(BUILD_TESTING AND NOT VEXAR_SANITIZE AND NOT VEXAR_TSAN)
  add_test(NAME Package.InstallsAndHostsBuildAgainstIt
           COMMAND ${PROJECT_SOURCE_DIR}/tests/package/install-and-consume.sh
                   ${PROJECT_BINARY_DIR} ${CMAKE_COMMAND})
  add_test(NAME Package.DebianPackageRunsUnpacked
           COMMAND ${PROJECT_SOURCE_DIR}/tests/package/debian-package.sh
                   ${PROJECT_BINARY_DIR} ${PROJECT_VERSION} ${CMAKE_CPACK_COMMAND})
  set_tests_properties(Package.InstallsAndHostsBuildAgainstIt Package.DebianPackageRunsUnpacked
                       PROPERTIES LABELS package TIMEOUT 600)
endif()
