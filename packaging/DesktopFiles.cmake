# Desktop integration and documents, built with the program and installed
# with it: the .desktop file and AppStream metainfo (one application id), the
# application icon in the hicolor theme rendered from the skin's artwork, the
# man page made from `Pellumo --help`, and the package's copyright and
# changelog. Included from cmake/Install.cmake.
find_program(PELLUMO_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(PELLUMO_HELP2MAN help2man REQUIRED)
find_program(PELLUMO_GZIP gzip REQUIRED)

set(packaging_src ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_out})

# ---- .desktop file and metainfo ------------------------------------------
install(FILES ${packaging_src}/${PELLUMO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${packaging_src}/${PELLUMO_APP_ID}.metainfo.xml.in ${packaging_out}/${PELLUMO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${packaging_out}/${PELLUMO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# ---- icons ---------------------------------------------------------------
set(app_icon_svg ${PROJECT_SOURCE_DIR}/app/skin/art/ui/logo/app_icon.svg)
set(icon_outputs)
foreach(size 16 24 32 48 64 128 256 512)
  set(png ${packaging_out}/icons/${size}x${size}/${PELLUMO_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/icons/${size}x${size}
    COMMAND ${PELLUMO_RSVG_CONVERT} --width ${size} --height ${size} --output ${png} ${app_icon_svg}
    DEPENDS ${app_icon_svg}
    COMMENT "Application icon ${size}x${size}"
    VERBATIM)
  list(APPEND icon_outputs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${app_icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  RENAME ${PELLUMO_APP_ID}.svg)

# ---- man page ------------------------------------------------------------
# help2man runs the program for --help and --version, which answer before
# X or Qt start; leak checking of a sanitizer build has nothing to say there.
# The page's date is the release's (help2man takes SOURCE_DATE_EPOCH), not the
# build's, so that two builds of one release give the same page.
set(PELLUMO_RELEASE_EPOCH 1522238400) # Wed, 28 Mar 2018 12:00:00 +0000, as in the changelog
set(man_page ${packaging_out}/man/Pellumo.1)
add_custom_command(OUTPUT ${man_page}.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/man
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 SOURCE_DATE_EPOCH=${PELLUMO_RELEASE_EPOCH}
          ${PELLUMO_HELP2MAN} --no-info --section=1 --source=Pellumo
          "--name=live camera program for microscopes and inspection cameras"
          --include=${packaging_src}/man/Pellumo.h2m
          --output=${man_page} $<TARGET_FILE:Pellumo>
  COMMAND ${PELLUMO_GZIP} -9nf ${man_page}
  DEPENDS Pellumo ${packaging_src}/man/Pellumo.h2m
  COMMENT "Man page Pellumo.1"
  VERBATIM)
install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The command-line tools have hand-written pages.
foreach(tool lensbridge_tool sensorlink_tool)
  if(TARGET ${tool})
    set(tool_page ${packaging_out}/man/${tool}.1.gz)
    add_custom_command(OUTPUT ${tool_page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging_out}/man
      COMMAND sh -c "${PELLUMO_GZIP} -9nc '${packaging_src}/man/${tool}.1' > '${tool_page}'"
      DEPENDS ${packaging_src}/man/${tool}.1
      COMMENT "Man page ${tool}.1"
      VERBATIM)
    list(APPEND tool_pages ${tool_page})
    install(FILES ${tool_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

# ---- package documents ---------------------------------------------------
configure_file(${packaging_src}/changelog.in ${packaging_out}/changelog @ONLY)
add_custom_command(OUTPUT ${packaging_out}/changelog.gz
  COMMAND sh -c "${PELLUMO_GZIP} -9nc '${packaging_out}/changelog' > '${packaging_out}/changelog.gz'"
  DEPENDS ${packaging_out}/changelog
  VERBATIM)
install(FILES ${packaging_src}/copyright ${packaging_out}/changelog.gz ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PELLUMO_PACKAGE_NAME})
# Every package carries the copyright file and changelog under its own name.
foreach(component liblensbridge1 libsensorlink1 libvexel1 pellumo-dev)
  set(package_component ${component})
  if(component STREQUAL pellumo-dev)
    set(package_component dev)
  endif()
  install(FILES ${packaging_src}/copyright ${packaging_out}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${package_component})
endforeach()

add_custom_target(pellumo_desktop_files ALL
  DEPENDS ${icon_outputs} ${man_page}.gz ${tool_pages} ${packaging_out}/changelog.gz)
