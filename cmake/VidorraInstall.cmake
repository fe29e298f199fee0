# What `cmake --install` puts where: the program in bin/, its data in share/vidorra/, and what a
# Linux desktop needs to list it (desktop entry, icons, AppStream metainfo, manual page).
include(GNUInstallDirs)

# The version the program shows (--version, the manual, the metainfo and the package).
set(VIDORRA_VERSION "2.3d")
set(VIDORRA_RELEASE_DATE "2026-12-07")
# Base name of the desktop entry and of the metainfo; the program gives it to Qt as well.
set(VIDORRA_DESKTOP_ID "fr.orvale.Vidorra")
set(VIDORRA_DATADIR "${CMAKE_INSTALL_DATADIR}/vidorra")

target_compile_definitions(vidorra_app PRIVATE VIDORRA_VERSION="${VIDORRA_VERSION}")

install(TARGETS vidorra RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The demo machine is found at ../share/vidorra/demo-machine from the executable. Installed,
# that is the installed file; in the build tree (executable in src/) a link to the sources.
set(demo_machine ${PROJECT_SOURCE_DIR}/resources/demo-machine)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/share/vidorra)
file(CREATE_LINK ${demo_machine} ${PROJECT_BINARY_DIR}/share/vidorra/demo-machine SYMBOLIC)
# Installed when present; adding or removing a file in resources/ configures again.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources)
if(EXISTS ${demo_machine})
  install(FILES ${demo_machine} DESTINATION ${VIDORRA_DATADIR})
  # The real devices' descriptions it replays, beside it.
  file(GLOB device_samples ${PROJECT_SOURCE_DIR}/resources/v4l2-samples/*.txt)
  install(FILES ${device_samples} DESTINATION ${VIDORRA_DATADIR}/v4l2-samples)
endif()

set(desktop_dir ${PROJECT_SOURCE_DIR}/resources/desktop)
install(FILES ${desktop_dir}/${VIDORRA_DESKTOP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${desktop_dir}/${VIDORRA_DESKTOP_ID}.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/desktop/${VIDORRA_DESKTOP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/desktop/${VIDORRA_DESKTOP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual page, compressed as Debian wants it (-n: no time stamp, so builds are reproducible).
configure_file(${PROJECT_SOURCE_DIR}/resources/vidorra.1.in ${PROJECT_BINARY_DIR}/man/vidorra.1
  @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/man1/vidorra.1.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory man1
  COMMAND ${CMAKE_COMMAND} -E copy man/vidorra.1 man1/vidorra.1
  COMMAND gzip -9nf man1/vidorra.1
  DEPENDS ${PROJECT_BINARY_DIR}/man/vidorra.1
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR} VERBATIM)
add_custom_target(vidorra_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/man1/vidorra.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/man1/vidorra.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Icon theme: the drawing itself, and PNG sizes rendered from it.
set(VIDORRA_ICON_SIZES 16 22 24 32 48 64 128 256)
set(icon_svg ${PROJECT_SOURCE_DIR}/resources/icons/vidorra.svg)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  set(icon_pngs)
  foreach(size IN LISTS VIDORRA_ICON_SIZES)
    set(png_dir ${PROJECT_BINARY_DIR}/icons/${size}x${size})
    set(png ${png_dir}/vidorra.png)
    # Ninja makes the folders of a rule's outputs, other generators (Unix Makefiles) do not.
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${png_dir}
      COMMAND ${RSVG_CONVERT} --width=${size} --height=${size} --output=${png} ${icon_svg}
      DEPENDS ${icon_svg} VERBATIM)
    list(APPEND icon_pngs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(vidorra_icons ALL DEPENDS ${icon_pngs})
else()
  message(WARNING "rsvg-convert (Debian package librsvg2-bin) not found: only the scalable "
    "icon is installed")
endif()

# Installing into a temporary prefix and building the Debian package, checked (see the script).
add_test(NAME desktop_install
  COMMAND ${PROJECT_SOURCE_DIR}/tests/app/desktop_install_check.sh ${PROJECT_BINARY_DIR}
    ${PROJECT_SOURCE_DIR} ${VIDORRA_VERSION})
set_tests_properties(desktop_install PROPERTIES LABELS program TIMEOUT 600)
