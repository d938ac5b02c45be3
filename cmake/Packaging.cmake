# The Debian packages: `cpack -G DEB` in a build folder (or `cmake --build
# <build> --target package`) writes one package per install component of
# cmake/Install.cmake, as Debian splits them, into /usr:
#   pellumo          the program, the tools, data, desktop files, udev rule
#   liblensbridge1, libsensorlink1, libvexel1
#                    the runtime libraries, named after their sonames
#   pellumo-dev      headers, .so links and pkg-config files
# Dependencies on system libraries are computed from the binaries by
# dpkg-shlibdeps; those between the packages are exact versions. For a
# distributable build configure with the distribution's hardening flags:
#   eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# before the first `cmake -S . -B build/release ...` (CMake takes CFLAGS,
# CXXFLAGS, CPPFLAGS through CFLAGS/CXXFLAGS and LDFLAGS from the environment).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PELLUMO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Pellumo developers")
set(CPACK_PACKAGE_CONTACT "${PELLUMO_MAINTAINER}")
# No package-wide summary: each package's synopsis is the first line of its
# component description (CPack would put one summary in front of all).

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL pellumo liblensbridge1 libsensorlink1 libvexel1 dev)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_PELLUMO_DEPENDS liblensbridge1 libsensorlink1)
set(CPACK_COMPONENT_LIBLENSBRIDGE1_DEPENDS libsensorlink1)
set(CPACK_COMPONENT_DEV_DEPENDS liblensbridge1 libsensorlink1 libvexel1)

set(CPACK_DEBIAN_PELLUMO_PACKAGE_NAME pellumo)
set(CPACK_DEBIAN_PELLUMO_PACKAGE_SECTION graphics)
set(CPACK_COMPONENT_PELLUMO_DESCRIPTION
  "live camera program for microscopes and inspection cameras
Pellumo shows the live picture of USB 3 microscope cameras, video devices,
a wireless camera box or an RTSP stream; adjusts the camera; saves
snapshots, timed series and MP4 recordings; and measures on the picture in
calibrated units, with CSV export. Six user interface languages.
.
The package also holds the command-line tools lensbridge_tool and
sensorlink_tool and the udev rule that lets the user at the seat use the
USB cameras.")
# What the binaries do not show: Qt's SVG image plugin and the package of the
# label font the program links to. Mesa's drivers give the render view its
# speed, and xdg-utils opens the image folder; the program runs without them.
set(CPACK_DEBIAN_PELLUMO_PACKAGE_DEPENDS "libqt6svg6")
if(PELLUMO_LABEL_FONT_SOURCE STREQUAL PELLUMO_SYSTEM_LABEL_FONT)
  string(APPEND CPACK_DEBIAN_PELLUMO_PACKAGE_DEPENDS ", fonts-wqy-microhei")
endif()
set(CPACK_DEBIAN_PELLUMO_PACKAGE_RECOMMENDS "libgl1-mesa-dri, xdg-utils")
# The maintainer scripts apply the udev rule to cameras already plugged in.
set(CPACK_DEBIAN_PELLUMO_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)

foreach(library lensbridge sensorlink vexel)
  string(TOUPPER "LIB${library}1" component)
  set(CPACK_DEBIAN_${component}_PACKAGE_NAME lib${library}1)
  set(CPACK_DEBIAN_${component}_PACKAGE_SECTION libs)
  # The ldconfig trigger instead of ldconfig calls.
  set(CPACK_DEBIAN_${component}_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
endforeach()
set(CPACK_COMPONENT_LIBLENSBRIDGE1_DESCRIPTION
  "camera access library of Pellumo
lensbridge opens USB 3 cameras, video devices, the wireless camera box and
RTSP streams behind one camera interface and delivers their frames.")
set(CPACK_COMPONENT_LIBSENSORLINK1_DESCRIPTION
  "USB 3 camera SDK of Pellumo
sensorlink finds, opens and streams the USB 3 cameras of the SDK (pictures
up to 4096 x 4096), with a plain C interface.")
set(CPACK_COMPONENT_LIBVEXEL1_DESCRIPTION
  "USB 3 camera SDK of Pellumo for large pictures
Vexel is the sensorlink SDK built for pictures up to 8192 x 8192.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME pellumo-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "development files of Pellumo's camera libraries
Headers, .so links and pkg-config files (lensbridge, sensorlink, vexel) to
build programs with the camera access library lensbridge and the USB 3
camera SDK sensorlink / Vexel.")

set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installs see CMAKE_INSTALL_PREFIX=/usr (the staging folder goes into DESTDIR),
# so the install rules place the package exactly as it will be installed.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PELLUMO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# The programs link the libraries of their sibling packages: dpkg-shlibdeps
# finds them in those packages' staging folders (its working folder is the
# package's own) and leaves their dependencies to the exact ones above.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ../liblensbridge1/usr/${PELLUMO_INSTALL_LIBDIR}
  ../libsensorlink1/usr/${PELLUMO_INSTALL_LIBDIR}
  ../libvexel1/usr/${PELLUMO_INSTALL_LIBDIR})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
