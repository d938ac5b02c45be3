# The Debian package: `cpack -G DEB` in a build folder (or `cmake --build
# <build> --target package`) writes pellumo_<version>_amd64.deb from the
# install rules of cmake/Install.cmake, into /usr. Its dependencies are
# computed from the binaries by dpkg-shlibdeps; the libraries get a shlibs
# file and the ldconfig trigger.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PELLUMO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pellumo developers")
set(CPACK_PACKAGE_CONTACT "${PELLUMO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live camera program for microscopes and inspection cameras")
set(CPACK_PACKAGE_DESCRIPTION
  "Pellumo shows the live picture of USB 3 microscope cameras, video devices,
a wireless camera box or an RTSP stream; adjusts the camera; saves
snapshots, timed series and MP4 recordings; and measures on the picture in
calibrated units, with CSV export. Six user interface languages.

The package also holds the camera access library lensbridge and the USB
camera SDK sensorlink (with its Vexel build), their headers and pkg-config
files, the command-line tools lensbridge_tool and sensorlink_tool, and the
udev rule that lets the user at the seat use the USB cameras.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installs see CMAKE_INSTALL_PREFIX=/usr (the staging folder goes into DESTDIR),
# so the install rules place the package exactly as it will be installed.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME ${PELLUMO_PACKAGE_NAME})
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELLUMO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# What the binaries do not show: Qt's SVG image plugin, Mesa's drivers for the
# render view, and the package of the label font the program links to.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libgl1-mesa-dri")
if(PELLUMO_LABEL_FONT_SOURCE STREQUAL PELLUMO_SYSTEM_LABEL_FONT)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", fonts-wqy-microhei")
endif()
# The ldconfig trigger instead of ldconfig calls; the maintainer scripts
# apply the udev rule to cameras already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/triggers
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
