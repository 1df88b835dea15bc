# What `cmake --install build --prefix P` puts where (docs/INSTALL.md says how a host uses it):
#
#   P/lib/libzem_pack.so.<major>.<minor>   the package (SONAME libzem_pack.so.<major>), with its links
#   P/lib/kdm_pub_ptr.so                   the registry library, the driver libraries zem_drv_*.so and the
#                                          link's transport zem_link_grpc.so: loaded at run time by file
#                                          name, so they keep their names
#   P/bin/zem_app_server                   the application server (finds those libraries in P/lib)
#   P/lib/libzem_host.a                    the optional host module (default host functions, form loader)
#   P/include/zem_pack/<folder>/<file>.h   the public headers, in the folders of the source tree
#   P/lib/cmake/ZemPack/                   find_package(ZemPack): ZemPack::zem_pack, ZemPack::zem_host
#   P/lib/pkgconfig/zem_pack.pc            pkg-config
#   P/lib/qt6/plugins/designer/            the Designer plugin
#
# "lib" is GNUInstallDirs' CMAKE_INSTALL_LIBDIR (lib/<multiarch> under /usr). Every installed file is
# found relative to its own place, so the tree can be moved as a whole.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(zem_libdir ${CMAKE_INSTALL_LIBDIR})
set(zem_incdir ${CMAKE_INSTALL_INCLUDEDIR}/zem_pack)
set(zem_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/ZemPack)
set(zem_plugindir ${CMAKE_INSTALL_LIBDIR}/qt6/plugins/designer)

# The package: SONAME from the project version. Installed, it finds the registry and driver libraries
# beside itself even when TARVOK_DLL_PATH is unset (the plain file name is searched along its RUNPATH).
set_target_properties(zem_pack PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                      INSTALL_RPATH "$ORIGIN" EXPORT_NAME zem_pack)
# Hosts include the headers as the package's own sources do ("controls/grid/Mg.h"); the prefix form
# <zem_pack/controls/grid/Mg.h> works as well.
target_include_directories(zem_pack INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                           $<INSTALL_INTERFACE:${zem_incdir}> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(zem_pack INTERFACE cxx_std_17)
set(zem_export_targets zem_pack)
if(ZEM_WIDGETS)
  # The controls' headers are Qt widgets: a host compiles and links against Qt Widgets with them.
  target_link_libraries(zem_pack PUBLIC Qt6::Widgets Qt6::Gui Qt6::Core)
  # The host module calls the framework of the package the host links: installed, that is zem_pack.
  target_link_libraries(zem_host INTERFACE $<INSTALL_INTERFACE:ZemPack::zem_pack>)
  list(APPEND zem_export_targets zem_host)
endif()

install(TARGETS ${zem_export_targets} EXPORT ZemPackTargets
        LIBRARY DESTINATION ${zem_libdir} ARCHIVE DESTINATION ${zem_libdir})
install(TARGETS kdm_pub_ptr zem_drv_sqlite zem_drv_pg zem_link_grpc LIBRARY DESTINATION ${zem_libdir})
install(TARGETS zem_app_server RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(ZEM_WIDGETS)
  # Designer's plugin folder; the plugin reaches the package two folders up the tree (lib/).
  file(RELATIVE_PATH zem_plugin_to_lib /${zem_plugindir} /${zem_libdir})
  set_target_properties(zem_pack_designer PROPERTIES INSTALL_RPATH "$ORIGIN/${zem_plugin_to_lib}")
  install(TARGETS zem_pack_designer LIBRARY DESTINATION ${zem_plugindir})
endif()

# Public headers: every header of the folders a host program reaches, in their folders.
set(zem_header_dirs frame core dict util link)
if(ZEM_WIDGETS)
  list(APPEND zem_header_dirs toolkit controls host)
endif()
foreach(dir ${zem_header_dirs})
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION ${zem_incdir}
          FILES_MATCHING PATTERN "*.h" PATTERN "*.inc")
endforeach()

# find_package(ZemPack)
install(EXPORT ZemPackTargets NAMESPACE ZemPack:: DESTINATION ${zem_cmakedir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ZemPackConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/ZemPackConfig.cmake INSTALL_DESTINATION ${zem_cmakedir}
                              PATH_VARS zem_libdir zem_plugindir)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZemPackConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZemPackConfig.cmake ${CMAKE_BINARY_DIR}/ZemPackConfigVersion.cmake
        DESTINATION ${zem_cmakedir})

# pkg-config, relocatable: the prefix is worked out from the .pc file's own folder.
file(RELATIVE_PATH zem_pc_to_prefix /${zem_libdir}/pkgconfig /)
string(REGEX REPLACE "/$" "" zem_pc_to_prefix "${zem_pc_to_prefix}")
if(ZEM_WIDGETS)
  set(zem_pc_requires "Qt6Widgets Qt6Gui Qt6Core")
else()
  set(zem_pc_requires "")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/zem_pack.pc.in ${CMAKE_BINARY_DIR}/zem_pack.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zem_pack.pc DESTINATION ${zem_libdir}/pkgconfig)
