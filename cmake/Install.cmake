# Installation: `cmake --install <build> [--prefix P]` lays out
#   bin/                      Pellumo, lensbridge_tool, sensorlink_tool
#   lib/<multiarch>/          liblensbridge, libsensorlink, libVexel (soname 1), pkgconfig/
#   include/pellumo/          the public headers at their in-tree paths
#   libexec/pellumo/          helper programs of demo mode (box_simulator)
#   share/pellumo/            label font, recording symbol
#   share/applications, share/icons/hicolor, share/metainfo, share/man/man1
#   lib/udev/rules.d/         access rule for the USB cameras (/lib/udev/rules.d
#                             for the system prefix /usr, as Debian 12 has it)
#   share/doc/pellumo/        README, copyright, changelog
# Every file belongs to one install component, one Debian package each (see
# cmake/Packaging.cmake): liblensbridge1, libsensorlink1, libvexel1 (the
# runtime libraries), dev (headers, .so links, pkg-config files) and pellumo
# (everything else).
# The program finds its data and helpers relative to its own folder, so any
# prefix works. Prefix installs reach their libraries through an
# $ORIGIN-relative run path; an install into /usr (the Debian package) has
# none, the libraries being in the system's search path there.

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME pellumo)
# Multiarch library folder under every prefix (/usr/local/lib/x86_64-linux-gnu
# is in Debian's default search path too). GNUInstallDirs picks it only for
# /usr, and only when no package config included it before with another prefix.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(PELLUMO_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH "Library folder of the installation")
else()
  set(PELLUMO_INSTALL_LIBDIR "${CMAKE_INSTALL_LIBDIR}" CACHE PATH "Library folder of the installation")
endif()

set(PELLUMO_APP_ID "org.pellumo.Pellumo" CACHE INTERNAL "Reverse-DNS application id of the desktop file and metainfo")
set(PELLUMO_PACKAGE_NAME "pellumo")
set(PELLUMO_MAINTAINER "Pellumo Developers <developers@pellumo.example>")
set(PELLUMO_SOVERSION 1)
set(PELLUMO_DATA_DIR "${CMAKE_INSTALL_DATADIR}/${PELLUMO_PACKAGE_NAME}")
set(PELLUMO_HELPER_DIR "${CMAKE_INSTALL_LIBEXECDIR}/${PELLUMO_PACKAGE_NAME}")
set(PELLUMO_INCLUDE_DIR "${CMAKE_INSTALL_INCLUDEDIR}/${PELLUMO_PACKAGE_NAME}")
set(PELLUMO_UDEV_RULES_DIR "lib/udev/rules.d")

# ---- libraries: versions, sonames, run paths ------------------------------
set(pellumo_libraries lensbridge sensorlink Vexel)
set_target_properties(${pellumo_libraries} PROPERTIES
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PELLUMO_SOVERSION}
  INSTALL_RPATH "$ORIGIN")

# Run path from each installed folder to the library folder.
function(pellumo_origin_rpath out from_dir)
  file(RELATIVE_PATH to_lib "/${from_dir}" "/${PELLUMO_INSTALL_LIBDIR}")
  set(${out} "$ORIGIN/${to_lib}" PARENT_SCOPE)
endfunction()
pellumo_origin_rpath(bin_rpath "${CMAKE_INSTALL_BINDIR}")
pellumo_origin_rpath(helper_rpath "${PELLUMO_HELPER_DIR}")

set(pellumo_programs Pellumo)
foreach(tool lensbridge_tool sensorlink_tool)
  if(TARGET ${tool})
    list(APPEND pellumo_programs ${tool})
  endif()
endforeach()
set_target_properties(${pellumo_programs} PROPERTIES INSTALL_RPATH "${bin_rpath}")

install(TARGETS ${pellumo_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Runtime library component of each library: its Debian package, named after
# the soname.
set(pellumo_library_component_lensbridge liblensbridge1)
set(pellumo_library_component_sensorlink libsensorlink1)
set(pellumo_library_component_Vexel libvexel1)
foreach(library ${pellumo_libraries})
  install(TARGETS ${library}
    LIBRARY DESTINATION ${PELLUMO_INSTALL_LIBDIR}
      COMPONENT ${pellumo_library_component_${library}} NAMELINK_COMPONENT dev)
endforeach()

set(pellumo_helpers)
if(TARGET box_simulator)
  set_target_properties(box_simulator PROPERTIES INSTALL_RPATH "${helper_rpath}")
  install(TARGETS box_simulator RUNTIME DESTINATION ${PELLUMO_HELPER_DIR})
  list(APPEND pellumo_helpers "${PELLUMO_HELPER_DIR}/box_simulator")
endif()

# In the system prefix the libraries are found without a run path (and the
# Debian policy forbids one), so the installed copies lose theirs. Each file
# is handled in its own component (a component install has only its own).
set(pellumo_system_prefix_code "
  string(REGEX REPLACE \"(.)/+$\" \"\\\\1\" pellumo_prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(pellumo_system_prefix OFF)
  if(pellumo_prefix STREQUAL \"/usr\")
    set(pellumo_system_prefix ON)
  endif()")
function(pellumo_remove_rpath_in_system_prefix file component)
  install(CODE "${pellumo_system_prefix_code}
    if(pellumo_system_prefix)
      file(RPATH_REMOVE FILE \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${file}\")
    endif()" COMPONENT ${component})
endfunction()
foreach(program ${pellumo_programs})
  pellumo_remove_rpath_in_system_prefix("${CMAKE_INSTALL_BINDIR}/${program}" pellumo)
endforeach()
foreach(library ${pellumo_libraries})
  pellumo_remove_rpath_in_system_prefix(
    "${PELLUMO_INSTALL_LIBDIR}/${CMAKE_SHARED_LIBRARY_PREFIX}${library}${CMAKE_SHARED_LIBRARY_SUFFIX}.${PROJECT_VERSION}"
    ${pellumo_library_component_${library}})
endforeach()
foreach(helper ${pellumo_helpers})
  pellumo_remove_rpath_in_system_prefix("${helper}" pellumo)
endforeach()

# ---- public headers and pkg-config files --------------------------------
install(FILES
  camera/CMCameraBase.h
  camera/CMTypes.h
  camera/CWImage.h
  camera/LensbridgeExport.h
  DESTINATION ${PELLUMO_INCLUDE_DIR}/camera COMPONENT dev)
install(FILES camera/factory/CMFactory.h DESTINATION ${PELLUMO_INCLUDE_DIR}/camera/factory COMPONENT dev)
install(FILES usbsdk/Vexel.h usbsdk/SensorlinkExport.h DESTINATION ${PELLUMO_INCLUDE_DIR}/usbsdk COMPONENT dev)

# The .pc files are written at install time so that they name the prefix
# actually installed to (cpack installs into /usr, a developer elsewhere).
foreach(module lensbridge sensorlink vexel)
  install(CODE "
    set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
    set(libdir \"\\\${prefix}/${PELLUMO_INSTALL_LIBDIR}\")
    set(includedir \"\\\${prefix}/${PELLUMO_INCLUDE_DIR}\")
    set(version \"${PROJECT_VERSION}\")
    set(pc \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${PELLUMO_INSTALL_LIBDIR}/pkgconfig/${module}.pc\")
    message(STATUS \"Installing: \${pc}\")
    configure_file(\"${PROJECT_SOURCE_DIR}/packaging/pkgconfig/${module}.pc.in\" \"\${pc}\" @ONLY)" COMPONENT dev)
endforeach()

# ---- program data --------------------------------------------------------
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/images/recording.png DESTINATION ${PELLUMO_DATA_DIR}/images)
# Into /usr the label font, when it is the system's WenQuanYi Micro Hei, is a
# link to the system's copy (the Debian package depends on the font's
# package); elsewhere it is copied.
set(PELLUMO_SYSTEM_LABEL_FONT /usr/share/fonts/truetype/wqy/wqy-microhei.ttc)
install(CODE "${pellumo_system_prefix_code}
  set(font_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${PELLUMO_DATA_DIR}/fonts\")
  file(MAKE_DIRECTORY \"\${font_dir}\")
  file(REMOVE \"\${font_dir}/fzht.ttf\")
  if(pellumo_system_prefix AND \"${PELLUMO_LABEL_FONT_SOURCE}\" STREQUAL \"${PELLUMO_SYSTEM_LABEL_FONT}\")
    file(RELATIVE_PATH target \"/usr/${PELLUMO_DATA_DIR}/fonts\" \"${PELLUMO_LABEL_FONT_SOURCE}\")
    message(STATUS \"Installing: \${font_dir}/fzht.ttf -> \${target}\")
    file(CREATE_LINK \"\${target}\" \"\${font_dir}/fzht.ttf\" SYMBOLIC)
  else()
    file(INSTALL \"${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/fonts/fzht.ttf\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${PELLUMO_DATA_DIR}/fonts\")
  endif()")

# udev reads rules under /usr and /usr/local; Debian 12's packages keep theirs
# in /lib/udev/rules.d.
install(CODE "${pellumo_system_prefix_code}
  if(pellumo_system_prefix)
    set(rules_dir \"/${PELLUMO_UDEV_RULES_DIR}\")
  else()
    set(rules_dir \"\${CMAKE_INSTALL_PREFIX}/${PELLUMO_UDEV_RULES_DIR}\")
  endif()
  # (file(INSTALL) puts DESTDIR in front by itself.)
  file(INSTALL \"${PROJECT_SOURCE_DIR}/usbsdk/udev/70-pellumo-sensorlink.rules\" DESTINATION \"\${rules_dir}\"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)")

# Desktop file, icons, metainfo, man page, package documents.
include(${PROJECT_SOURCE_DIR}/packaging/DesktopFiles.cmake)
