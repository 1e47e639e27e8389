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
#   share/man/man1, share/bash-completion, share/doc/<package>, share/lintian/overrides
#   lib/python3/dist-packages/vexar/                the Python package (Debian's own folder)
# Every installed binary finds its libraries through an $ORIGIN-relative RUNPATH, so the tree
# can be moved or unpacked anywhere.

# Libraries go in the multiarch folder whatever the prefix, as Debian's own builds put them, so
# that a tree installed or packed anywhere has the layout of the packages.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
endif()
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
# Users include "host/..." from host/include in the build tree; installed, from include/lumivor.
set_property(TARGET LumivorPlugins APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/lumivor>)
# The libraries' headers are C++20 (std::span among them): a project that sets no standard of its
# own gets it from the targets it links.
target_compile_features(LumivorPlugins INTERFACE cxx_std_20)
target_compile_features(vexar_client PUBLIC cxx_std_20)

# The installed binaries carry the same RUNPATH in the build tree: CMake's rewriting at install
# would otherwise pad the shorter build RUNPATH with empty entries, which the loader takes for
# the current directory. The tool's second entry is where its libraries are in the build tree.
set_target_properties(VEXAR_ParamInterp_YORINDImpl PROPERTIES INSTALL_RPATH "$ORIGIN"
                                                              BUILD_WITH_INSTALL_RPATH ON
                                                              EXPORT_NAME plugin)
set_target_properties(vexar-ctl PROPERTIES
  INSTALL_RPATH "$ORIGIN/${VEXAR_LIBDIR_FROM_BINDIR};$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
set_target_properties(vexar_client PROPERTIES INSTALL_RPATH "$ORIGIN" BUILD_WITH_INSTALL_RPATH ON)
if(VEXAR_PYTHON)
  # Debian's interpreters share this folder, whichever their minor version.
  set(VEXAR_PYTHON_DIR lib/python3/dist-packages/vexar)
  file(RELATIVE_PATH vexar_lib_from_python /${VEXAR_PYTHON_DIR} /${CMAKE_INSTALL_LIBDIR})
  file(RELATIVE_PATH vexar_bin_from_python ${VEXAR_PYTHON_BUILD_DIR} ${PROJECT_BINARY_DIR}/bin)
  set_target_properties(vexar_python PROPERTIES
    INSTALL_RPATH "$ORIGIN/${vexar_lib_from_python};$ORIGIN/${vexar_bin_from_python}"
    BUILD_WITH_INSTALL_RPATH ON)
endif()

# What a host compiles against: the plug-in's C header and nothing else.
set_property(TARGET vexar_param_interp_headers APPEND PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(vexar_param_interp_headers PROPERTIES EXPORT_NAME headers)

# Each file belongs to one Debian package, by role (component, package):
#   host     liblumivorplugins0               the host library's runtime (SONAME libLumivorPlugins.so.0)
#   plugin   libvexar-paraminterp-yorindimpl  the plug-in
#   dev      libvexar-paraminterp-dev         headers, development link, CMake and pkg-config files
#   client   libvexar-client0                 the client library's runtime (SONAME libvexar-client.so.0)
#   tool     vexar-ctl                        the host tool, its man page, completion and guide
#   python   python3-vexar                    the Python package
install(TARGETS LumivorPlugins EXPORT VexarTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT host NAMELINK_COMPONENT dev)
install(TARGETS VEXAR_ParamInterp_YORINDImpl EXPORT VexarTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT plugin)
install(TARGETS vexar_client EXPORT VexarTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT client NAMELINK_COMPONENT dev)
install(DIRECTORY client/include/vexar DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(TARGETS vexar-ctl EXPORT VexarTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT tool)
install(TARGETS vexar_param_interp_headers EXPORT VexarTargets COMPONENT dev)
# Man page and changelog go in compressed, as Debian keeps them; -n leaves out the time stamp
# so that the same sources give the same bytes.
function(vexar_gzip source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
if(VEXAR_PYTHON)
  install(TARGETS vexar_python LIBRARY DESTINATION ${VEXAR_PYTHON_DIR} COMPONENT python)
  install(FILES ${VEXAR_PYTHON_SOURCES} DESTINATION ${VEXAR_PYTHON_DIR} COMPONENT python)
  install(PROGRAMS ${VEXAR_STATION_COMMAND} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT python)
  vexar_gzip(${PROJECT_SOURCE_DIR}/python/bin/vexar-station.1
             ${PROJECT_BINARY_DIR}/vexar-station.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/vexar-station.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT python)
endif()
install(FILES interface/include/vexar_param_interp.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT dev)
install(DIRECTORY host/include/host/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lumivor/host
        COMPONENT dev FILES_MATCHING PATTERN "*.h")

vexar_gzip(${PROJECT_SOURCE_DIR}/tools/ctl/vexar-ctl.1 ${PROJECT_BINARY_DIR}/vexar-ctl.1.gz)
vexar_gzip(${PROJECT_SOURCE_DIR}/debian/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/vexar-ctl.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT tool)
install(FILES tools/ctl/vexar-ctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME vexar-ctl COMPONENT tool)
set(VEXAR_DEB_PACKAGES host liblumivorplugins0 client libvexar-client0
                       plugin libvexar-paraminterp-yorindimpl
                       dev libvexar-paraminterp-dev tool vexar-ctl)
if(VEXAR_PYTHON)
  list(APPEND VEXAR_DEB_PACKAGES python python3-vexar)
endif()
# Every package carries the licence and the changelog in its own documentation folder.
set(vexar_pairs ${VEXAR_DEB_PACKAGES})
while(vexar_pairs)
  list(POP_FRONT vexar_pairs component package)
  install(FILES debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endwhile()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vexar-ctl COMPONENT tool)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vexar-ctl COMPONENT tool
        FILES_MATCHING PATTERN "*.md")
install(FILES debian/libvexar-paraminterp-yorindimpl.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME libvexar-paraminterp-yorindimpl COMPONENT plugin)

install(EXPORT VexarTargets NAMESPACE ${VEXAR_PACKAGE_NAME}::
        FILE ${VEXAR_PACKAGE_NAME}Targets.cmake DESTINATION ${VEXAR_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/PackageConfig.cmake.in
  ${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}Config.cmake INSTALL_DESTINATION ${VEXAR_CMAKE_DIR})
# Before 1.0 a minor release may change the interface, so only the same minor version is
# compatible.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}ConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}Config.cmake
              ${PROJECT_BINARY_DIR}/${VEXAR_PACKAGE_NAME}ConfigVersion.cmake
        DESTINATION ${VEXAR_CMAKE_DIR} COMPONENT dev)

set(VEXAR_PLUGIN_FILE
    ${CMAKE_SHARED_LIBRARY_PREFIX}VEXAR_ParamInterp_YORINDImpl${CMAKE_SHARED_LIBRARY_SUFFIX})
configure_file(cmake/vexar_param_interp.pc.in ${PROJECT_BINARY_DIR}/vexar_param_interp.pc @ONLY)
configure_file(cmake/vexar_client.pc.in ${PROJECT_BINARY_DIR}/vexar_client.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vexar_param_interp.pc ${PROJECT_BINARY_DIR}/vexar_client.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Debian packages, one per component. Dependencies on system libraries come from
# dpkg-shlibdeps; those between our packages are exact, since they are built together.
# scripts/debian-packages.sh runs cpack and hands ldconfig to dpkg's trigger.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL host client plugin dev tool)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VEXAR plug-in maintainers <maintainers@vexar.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds the host library in the build tree; the dependency on its package is the
# exact component dependency below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vexar.invalid/paraminterp")
set(CPACK_DEBIAN_HOST_PACKAGE_NAME liblumivorplugins0)
set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME libvexar-client0)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME libvexar-paraminterp-yorindimpl)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvexar-paraminterp-dev)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME vexar-ctl)
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_CLIENT_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "nlohmann-json3-dev")
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
if(VEXAR_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-vexar)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_COMPONENT_PYTHON_DEPENDS host client plugin)
  # The extension is built for one minor version of the interpreter, as Debian's own are.
  math(EXPR vexar_python_next "${VEXAR_PYTHON_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
      "python3 (>= ${VEXAR_PYTHON_VERSION}~), python3 (<< 3.${vexar_python_next})")
  # A line whose stations share a PostgreSQL database needs the driver; SQLite needs nothing.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS python3-psycopg)
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION "Python package for the YORIN_D depth-camera module
The module vexar opens the YORIN_D module on a simulated module, a Linux
I2C adapter or a bus written in Python, and reads and writes its
parameters, system state, profiles, calibration and registers, with the
bus transactions of each call, for test rigs and production lines.
vexar-station sets up, calibrates, verifies and records each module at the
end of a production line, in SQLite or a shared PostgreSQL database.")
endif()
# The host and client libraries have versioned SONAMEs and get shlibs entries; the plug-in,
# opened by its plain name, has none.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_HOST_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/debian/triggers)
set(CPACK_DEBIAN_CLIENT_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/debian/triggers)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/debian/triggers)
set(CPACK_COMPONENT_PLUGIN_DEPENDS host)
set(CPACK_COMPONENT_CLIENT_DEPENDS host plugin)
set(CPACK_COMPONENT_DEV_DEPENDS host client plugin)
set(CPACK_COMPONENT_TOOL_DEPENDS host client plugin)
# CPack indents the lines after the summary itself.
set(CPACK_COMPONENT_HOST_DESCRIPTION "host library of the VEXAR depth-camera plug-ins
The runtime of libLumivorPlugins: message formatting, logging, parameter
range objects and the calibration record container, which the VEXAR
parameter-interpreter plug-ins and their hosts share.")
set(CPACK_COMPONENT_CLIENT_DESCRIPTION "C++ client library of the YORIN_D depth-camera module
libvexar-client loads the parameter-interpreter plug-in as a host does and
offers the module as a typed C++ API: parameters with their ranges, values
read back after each change, system states and profiles, calibration,
registers, bus transactions and frame timing, on a simulated module, a
register image shared between processes, a Linux I2C adapter or a bus of
the program's own.")
set(CPACK_COMPONENT_PLUGIN_DESCRIPTION "parameter-interpreter plug-in for the YORIN_D camera module
A time-of-flight depth-camera SDK loads this plug-in to read and write the
settings of the YORIN_D module (frame rate, integration time, modulation,
illumination, region of interest and more) as bit-fields of the sensor's
registers, to save and restore them as one buffer and to program the
module's calibration. Hosts open it with dlopen by its plain name.")
set(CPACK_COMPONENT_DEV_DESCRIPTION "development files of the YORIN_D parameter-interpreter plug-in
The plug-in's C header with its parameter catalogue and result codes, the
host library's C++ headers and development link, and the CMake package and
pkg-config module for hosts that build against them.")
set(CPACK_COMPONENT_TOOL_DESCRIPTION "command-line host for the YORIN_D depth-camera module
vexar-ctl loads the parameter-interpreter plug-in as a host does and drives
it on a simulated module or, through a Linux I2C adapter, on a real one:
probe, list, get and set parameters, save and load the system state, read
and write the calibration and inspect single registers, with bus traces and
JSON output for scripts. It shows the frame timing as text or SVG, and
serves a control panel for the module in the browser.")
include(CPack)

# Slow, since it installs the project and builds a host against it; label "package" runs it
# alone. A sanitizer build is not for shipping, and its plug-in cannot be loaded by the tests'
# uninstrumented host. The Debian packages are checked by scripts/test.sh on the build
# scripts/package.sh makes.
if(BUILD_TESTING AND NOT VEXAR_SANITIZE AND NOT VEXAR_TSAN)
  add_test(NAME Package.InstallsAndHostsBuildAgainstIt
           COMMAND ${PROJECT_SOURCE_DIR}/tests/package/install-and-consume.sh
                   ${PROJECT_BINARY_DIR} ${CMAKE_COMMAND})
  set_tests_properties(Package.InstallsAndHostsBuildAgainstIt PROPERTIES LABELS package
                                                                           TIMEOUT 600)
endif()
